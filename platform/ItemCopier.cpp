#include "ItemCopier.h"

#include "ExtendedAttributes.h"

#include <QScopeGuard>

#include <cerrno>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Closes a descriptor when it goes out of scope.
class OwnedDescriptor {
public:
    explicit OwnedDescriptor(int descriptor) : descriptor_(descriptor) {}
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
    ~OwnedDescriptor() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }
    int get() const { return descriptor_; }
    bool isValid() const { return descriptor_ >= 0; }

private:
    int descriptor_;
};

// What `copy_file_range` answers when these two files cannot be copied in
// the kernel (other file systems, or one that does not offer it).
bool needsUserSpaceCopy(int errnoValue) {
    return errnoValue == EXDEV || errnoValue == ENOSYS || errnoValue == EINVAL || errnoValue == EOPNOTSUPP;
}

constexpr unsigned char typeOfMode(mode_t mode) {
    return S_ISREG(mode) ? DT_REG : S_ISDIR(mode) ? DT_DIR : S_ISLNK(mode) ? DT_LNK : DT_UNKNOWN;
}

} // namespace

bool ItemCopier::copy(const QByteArray& source, const QByteArray& destination) {
    failure_ = 0;
    madeDestination_ = false;
    return copyEntry(AT_FDCWD, source.constData(), DT_UNKNOWN, AT_FDCWD, destination.constData());
}

void ItemCopier::made(int toFolder) {
    madeDestination_ = madeDestination_ || toFolder == AT_FDCWD;
}

bool ItemCopier::fail(int errnoValue) {
    failure_ = errnoValue ? errnoValue : EIO;
    return false;
}

mode_t ItemCopier::permissionsFor(mode_t sourceMode) const {
    const mode_t permissions = sourceMode & 07777;
    return options_.permissions ? options_.permissions(permissions) & 07777 : permissions;
}

bool ItemCopier::copyEntry(int fromFolder, const char* fromName, unsigned char type, int toFolder,
                           const char* toName) {
    if (type == DT_UNKNOWN) {
        struct stat status {};
        if (::fstatat(fromFolder, fromName, &status, AT_SYMLINK_NOFOLLOW) != 0) {
            return fail(errno);
        }
        type = typeOfMode(status.st_mode);
    }
    switch (type) {
    case DT_REG:
        return copyFile(fromFolder, fromName, toFolder, toName);
    case DT_DIR:
        return copyFolder(fromFolder, fromName, toFolder, toName);
    case DT_LNK:
        return copyLink(fromFolder, fromName, toFolder, toName);
    default:
        return fail(ENOTSUP);
    }
}

bool ItemCopier::copyFile(int fromFolder, const char* fromName, int toFolder, const char* toName) {
    // Not blocking: an item that turned into a pipe since it was listed
    // must not hang the copy; it is refused below.
    const OwnedDescriptor from(
        ::openat(fromFolder, fromName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!from.isValid() || ::fstat(from.get(), &status) != 0) {
        return fail(errno);
    }
    if (!S_ISREG(status.st_mode)) {
        return fail(ENOTSUP);
    }
    const OwnedDescriptor to(
        ::openat(toFolder, toName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (!to.isValid()) {
        return fail(errno);
    }
    made(toFolder);
    if (!copyData(from.get(), to.get())) {
        return false;
    }
    ExtendedAttributes::copyAll(from.get(), to.get(), options_.attributesLeftBehind);
    // Last, so that a read-only mode cannot stand in the way of the steps above.
    if (::fchmod(to.get(), permissionsFor(status.st_mode)) != 0) {
        return fail(errno);
    }
    return true;
}

bool ItemCopier::copyData(int from, int to) {
    constexpr size_t kChunk = size_t{1} << 30;
    for (;;) {
        const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, kChunk, 0);
        if (copied > 0) {
            continue;
        }
        if (copied == 0) {
            return true;
        }
        if (!needsUserSpaceCopy(errno)) {
            return fail(errno);
        }
        break;
    }
    // Both offsets moved with what was already copied, so this goes on from there.
    std::vector<char> buffer(size_t{256} << 10);
    for (;;) {
        const ssize_t read = ::read(from, buffer.data(), buffer.size());
        if (read == 0) {
            return true;
        }
        if (read < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(errno);
        }
        for (ssize_t written = 0; written < read;) {
            const ssize_t step = ::write(to, buffer.data() + written, static_cast<size_t>(read - written));
            if (step < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return fail(errno);
            }
            written += step;
        }
    }
}

bool ItemCopier::copyFolder(int fromFolder, const char* fromName, int toFolder, const char* toName) {
    const int listed = ::openat(fromFolder, fromName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (listed < 0) {
        return fail(errno);
    }
    DIR* const listing = ::fdopendir(listed);
    if (!listing) {
        const int error = errno;
        ::close(listed);
        return fail(error);
    }
    const auto closeListing = qScopeGuard([listing] { ::closedir(listing); });
    struct stat status {};
    if (::fstat(listed, &status) != 0) {
        return fail(errno);
    }
    // Open to us while it fills; its own bits come at the end.
    if (::mkdirat(toFolder, toName, S_IRWXU) != 0) {
        return fail(errno);
    }
    made(toFolder);
    const OwnedDescriptor to(::openat(toFolder, toName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!to.isValid()) {
        return fail(errno);
    }
    ExtendedAttributes::copyAll(listed, to.get(), options_.attributesLeftBehind);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(listing);
        if (!entry) {
            if (errno != 0) {
                return fail(errno);
            }
            break;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            continue;
        }
        if (!copyEntry(listed, name, entry->d_type, to.get(), name)) {
            return false;
        }
    }
    if (::fchmod(to.get(), permissionsFor(status.st_mode)) != 0) {
        return fail(errno);
    }
    return true;
}

bool ItemCopier::copyLink(int fromFolder, const char* fromName, int toFolder, const char* toName) {
    std::vector<char> target(256);
    for (;;) {
        const ssize_t length = ::readlinkat(fromFolder, fromName, target.data(), target.size());
        if (length < 0) {
            return fail(errno);
        }
        if (static_cast<size_t>(length) < target.size()) {
            target[static_cast<size_t>(length)] = '\0';
            break;
        }
        target.resize(target.size() * 2);
    }
    if (::symlinkat(target.data(), toFolder, toName) != 0) {
        return fail(errno);
    }
    made(toFolder);
    return true;
}

} // namespace platform
