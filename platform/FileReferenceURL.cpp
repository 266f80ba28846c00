#include "FileReferenceURL.h"

#include "Value.h"

namespace platform {

PLATFORM_DEFINE_CLASS(FileReferenceURL, Object, nullptr)

std::shared_ptr<FileReferenceURL> FileReferenceURL::makeWithReference(FileReference reference) {
    return std::shared_ptr<FileReferenceURL>(new FileReferenceURL(std::move(reference)));
}

std::shared_ptr<FileReferenceURL> FileReferenceURL::makeWithFilePathURL(const QUrl& url) {
    auto reference = FileReference::makeWithURL(url);
    return reference ? makeWithReference(std::move(*reference)) : nullptr;
}

bool FileReferenceURL::isEqual(const Object& other) const {
    const auto* url = dynamic_cast<const FileReferenceURL*>(&other);
    if (!url) {
        return false;
    }
    const QString mine = path();
    const QString theirs = url->path();
    if (!mine.isEmpty() || !theirs.isEmpty()) {
        return mine == theirs;
    }
    return reference_.identity() == url->reference_.identity();
}

std::uint64_t FileReferenceURL::hash() const {
    // Equal references resolve to the same path or to none.
    return Value(filePathURL()).hash();
}

QString FileReferenceURL::description() const {
    const QUrl url = filePathURL();
    return url.isEmpty() ? QStringLiteral("(unresolved file reference)") : url.toString();
}

} // namespace platform
