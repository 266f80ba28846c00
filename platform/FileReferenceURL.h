#pragma once

#include "FileReference.h"
#include "Object.h"

#include <QUrl>

#include <memory>

namespace platform {

// A file reference URL as a value: the object that stands in a Value where
// the system keeps a file reference URL. It never travels itself: records
// turn it into its file path URL before archiving (see the framework's
// AFXFileReferenceURLToFilePathURLValueTransformer). Immutable; two are
// equal when they resolve to the same present path, or, once they no longer
// resolve, when they refer to the same item.
class FileReferenceURL : public Object {
    PLATFORM_DECLARE_CLASS()

public:
    static std::shared_ptr<FileReferenceURL> makeWithReference(FileReference reference);
    // A reference URL for the item a file URL names now, or null when there is none.
    static std::shared_ptr<FileReferenceURL> makeWithFilePathURL(const QUrl& url);

    const FileReference& reference() const { return reference_; }
    // The present path as a file URL; empty once the item no longer resolves.
    QUrl filePathURL() const { return reference_.filePathURL(); }
    QString path() const { return reference_.path(); }

    bool isEqual(const Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;

private:
    explicit FileReferenceURL(FileReference reference) : reference_(std::move(reference)) {}

    const FileReference reference_;
};

} // namespace platform
