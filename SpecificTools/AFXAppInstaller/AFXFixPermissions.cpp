#include "AFXFixPermissions.h"

#include <QFile>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

bool fixPermissionsAtPath(const QByteArray& path, platform::Error* error) {
    struct stat status {};
    if (::lstat(path.constData(), &status) != 0) {
        if (error) {
            *error = platform::Error::posix(
                errno,
                QStringLiteral("Could not read the attributes of \"%1\"").arg(QFile::decodeName(path)));
        }
        return false;
    }
    if (S_ISLNK(status.st_mode)) {
        return true;
    }
    const mode_t permissions = status.st_mode & 07777;
    const mode_t fixed = AFXFixedPermissions(permissions);
    if (fixed != permissions && ::chmod(path.constData(), fixed) != 0) {
        if (error) {
            *error = platform::Error::posix(
                errno,
                QStringLiteral("Could not change the permissions of \"%1\"").arg(QFile::decodeName(path)));
        }
        return false;
    }
    return true;
}

enum class Walk { GoOn, StoppedAfterFix, StoppedAfterWalkError };

// Depth first, each folder before its contents.
Walk fixBelow(const fs::path& folder, const AFXFixPermissionsErrorHandler& handler) {
    std::error_code code;
    fs::directory_iterator it(folder, code);
    for (; !code && it != fs::directory_iterator(); it.increment(code)) {
        const fs::path item = it->path();
        platform::Error error(QString(), 0);
        if (!fixPermissionsAtPath(QByteArray::fromStdString(item.string()), &error) && handler &&
            !handler(error)) {
            return Walk::StoppedAfterFix;
        }
        std::error_code typeCode;
        if (it->is_directory(typeCode) && !it->is_symlink(typeCode)) {
            if (const Walk walk = fixBelow(item, handler); walk != Walk::GoOn) {
                return walk;
            }
        }
    }
    if (code && handler &&
        !handler(platform::Error::posix(
            code.value(),
            QStringLiteral("Could not list \"%1\"").arg(QFile::decodeName(folder.string().c_str()))))) {
        return Walk::StoppedAfterWalkError;
    }
    return Walk::GoOn;
}

} // namespace

mode_t AFXFixedPermissions(mode_t permissions) {
    const mode_t owner = permissions & 0700;
    return permissions | (owner >> 3) | (owner >> 6);
}

bool AFXFixPermissions(const QUrl& itemURL, platform::Error* error) {
    return fixPermissionsAtPath(QFile::encodeName(itemURL.toLocalFile()), error);
}

bool AFXFixPermissionsRecursive(const QUrl& rootURL, const AFXFixPermissionsErrorHandler& errorHandler) {
    const QByteArray root = QFile::encodeName(rootURL.toLocalFile());
    platform::Error error(QString(), 0);
    if (!fixPermissionsAtPath(root, &error) && errorHandler && !errorHandler(error)) {
        return false;
    }
    struct stat status {};
    if (::lstat(root.constData(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return true;
    }
    return fixBelow(fs::path(root.toStdString()), errorHandler) != Walk::StoppedAfterFix;
}
