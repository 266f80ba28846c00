#include "FileReference.h"

#include <QFile>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

struct FileReference::Descriptor {
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor() { ::close(fd); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    const int fd;
};

FileReference::FileReference(std::shared_ptr<const Descriptor> descriptor)
    : descriptor_(std::move(descriptor)) {}

std::optional<FileReference> FileReference::make(const QString& path) {
    if (path.isEmpty()) {
        return std::nullopt;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    return FileReference(std::make_shared<const Descriptor>(fd));
}

std::optional<FileReference> FileReference::makeWithURL(const QUrl& url) {
    return url.isLocalFile() ? make(url.toLocalFile()) : std::nullopt;
}

QString FileReference::path() const {
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(descriptor_->fd);
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(link.constData(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer || buffer[0] != '/') {
        return {};
    }
    const QByteArray target(buffer, static_cast<qsizetype>(length));
    // A deleted item reads as "<old path> (deleted)"; the path counts only
    // while it still names the referenced item, which also keeps an item
    // that is really called "… (deleted)".
    struct stat atPath {};
    if (::stat(target.constData(), &atPath) != 0) {
        return {};
    }
    const Identity item = identity();
    if (item !=
        Identity{static_cast<std::uint64_t>(atPath.st_dev), static_cast<std::uint64_t>(atPath.st_ino)}) {
        return {};
    }
    return QFile::decodeName(target);
}

QUrl FileReference::filePathURL() const {
    const QString present = path();
    return present.isEmpty() ? QUrl() : QUrl::fromLocalFile(present);
}

FileReference::Identity FileReference::identity() const {
    struct stat item {};
    if (::fstat(descriptor_->fd, &item) != 0) {
        return {};
    }
    return {static_cast<std::uint64_t>(item.st_dev), static_cast<std::uint64_t>(item.st_ino)};
}

int FileReference::descriptor() const {
    return descriptor_->fd;
}

} // namespace platform
