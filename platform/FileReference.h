#pragma once

#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

// The identity of a file or folder that follows it when it is renamed or
// moved, as a file reference URL does: an O_PATH descriptor on the item. Its
// present path is read back from "/proc/self/fd"; once the item is deleted
// the reference no longer resolves. Copies share the descriptor, which is
// closed when the last copy goes.
class FileReference {
public:
    // Which item on which device, as `stat` reports them.
    struct Identity {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        bool operator==(const Identity&) const = default;
    };

    // A reference to the item at `path`, or nothing when there is none.
    static std::optional<FileReference> make(const QString& path);
    // The same for a file URL; nothing for other URLs.
    static std::optional<FileReference> makeWithURL(const QUrl& url);

    // The item's present absolute path, or an empty string when it no longer resolves.
    QString path() const;
    // The present path as a file URL, or an empty URL when it no longer resolves.
    QUrl filePathURL() const;
    bool resolves() const { return !path().isEmpty(); }
    // The referenced item's device and inode (also known after it is deleted).
    Identity identity() const;
    // The descriptor held by every copy.
    int descriptor() const;

private:
    struct Descriptor;
    explicit FileReference(std::shared_ptr<const Descriptor> descriptor);

    std::shared_ptr<const Descriptor> descriptor_;
};

} // namespace platform
