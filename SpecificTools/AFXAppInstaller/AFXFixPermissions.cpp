#include "AFXFixPermissions.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

platform::Error failure(int code, const QString& what, const QByteArray& path) {
    return platform::Error::posix(code, what.arg(QFile::decodeName(path)));
}

// The item `name` in the folder open as `folder` (AT_FDCWD: `name` is a
// path), never through a link: an item swapped for one since it was looked
// at must not open up whatever the link points at. `path` names it in errors.
bool fixPermissionsAt(int folder, const char* name, const QByteArray& path, struct stat* status,
                      platform::Error* error) {
    if (::fstatat(folder, name, status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (error) {
            *error = failure(errno, QStringLiteral("Could not read the attributes of \"%1\""), path);
        }
        return false;
    }
    if (S_ISLNK(status->st_mode)) {
        return true;
    }
    const mode_t permissions = status->st_mode & 07777;
    const mode_t fixed = AFXFixedPermissions(permissions);
    if (fixed != permissions && ::fchmodat(folder, name, fixed, AT_SYMLINK_NOFOLLOW) != 0) {
        if (error) {
            *error = failure(errno, QStringLiteral("Could not change the permissions of \"%1\""), path);
        }
        return false;
    }
    return true;
}

enum class Walk { GoOn, StoppedAfterFix, StoppedAfterWalkError };

// Depth first, each folder before its contents. Every folder is opened
// relative to its parent without following a link, so the walk never
// leaves the tree it started in.
Walk fixBelow(int parent, const char* name, const QByteArray& path,
              const AFXFixPermissionsErrorHandler& handler) {
    const int descriptor = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* listing = descriptor >= 0 ? ::fdopendir(descriptor) : nullptr;
    if (!listing) {
        const int code = errno;
        if (descriptor >= 0) {
            ::close(descriptor);
        }
        return handler && !handler(failure(code, QStringLiteral("Could not list \"%1\""), path))
                   ? Walk::StoppedAfterWalkError
                   : Walk::GoOn;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closing(listing, ::closedir);
    const int folder = ::dirfd(listing);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(listing);
        if (!entry) {
            if (errno != 0 && handler &&
                !handler(failure(errno, QStringLiteral("Could not list \"%1\""), path))) {
                return Walk::StoppedAfterWalkError;
            }
            return Walk::GoOn;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        const QByteArray itemPath = path + '/' + entry->d_name;
        struct stat status {};
        platform::Error error(QString(), 0);
        const bool fixed = fixPermissionsAt(folder, entry->d_name, itemPath, &status, &error);
        if (!fixed && handler && !handler(error)) {
            return Walk::StoppedAfterFix;
        }
        if (S_ISDIR(status.st_mode)) {
            if (const Walk walk = fixBelow(folder, entry->d_name, itemPath, handler); walk != Walk::GoOn) {
                return walk;
            }
        }
    }
}

} // namespace

mode_t AFXFixedPermissions(mode_t permissions) {
    const mode_t owner = permissions & 0700;
    return permissions | (owner >> 3) | (owner >> 6);
}

bool AFXFixPermissions(const QUrl& itemURL, platform::Error* error) {
    const QByteArray path = QFile::encodeName(itemURL.toLocalFile());
    struct stat status {};
    return fixPermissionsAt(AT_FDCWD, path.constData(), path, &status, error);
}

bool AFXFixPermissionsRecursive(const QUrl& rootURL, const AFXFixPermissionsErrorHandler& errorHandler) {
    const QByteArray root = QFile::encodeName(rootURL.toLocalFile());
    struct stat status {};
    platform::Error error(QString(), 0);
    const bool fixed = fixPermissionsAt(AT_FDCWD, root.constData(), root, &status, &error);
    if (!fixed && errorHandler && !errorHandler(error)) {
        return false;
    }
    // A folder whose own bits could not be fixed is still walked.
    if (!S_ISDIR(status.st_mode)) {
        return true;
    }
    return fixBelow(AT_FDCWD, root.constData(), root, errorHandler) != Walk::StoppedAfterFix;
}
