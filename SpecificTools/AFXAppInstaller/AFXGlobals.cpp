#include "AFXGlobals.h"

#include "platform/FileManager.h"
#include "platform/Paths.h"

#include <QFile>
#include <QUuid>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder only this user can change: the temporary directory is shared by
// every user of the machine, and a folder someone else made (or a link in
// its place) would let them swap what we keep there, backups of apps
// included.
bool isPrivateFolder(const QString& path) {
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::geteuid() && (status.st_mode & 022) == 0;
}

std::optional<QString> privateFolder(const QString& path, platform::Error* error) {
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST) {
        if (error) {
            *error =
                platform::Error::posix(errno, QStringLiteral("Could not create the folder \"%1\"").arg(path));
        }
        return std::nullopt;
    }
    if (!isPrivateFolder(path)) {
        if (error) {
            *error = platform::Error::posix(
                EPERM, QStringLiteral("\"%1\" is not a folder of this user's own").arg(path));
        }
        return std::nullopt;
    }
    return path;
}

} // namespace

std::optional<QString> AFXGlobals::makeTemporaryDirectory(platform::Error* error) {
    const QString temporary = platform::Paths::temporaryDirectory();
    if (!platform::FileManager::createDirectory(temporary, true, error)) {
        return std::nullopt;
    }
    const QString shared = temporary + QStringLiteral("/com.kestrel.DesktopClient");
    // Taken by somebody else: a name of this user's own instead.
    std::optional<QString> parent = privateFolder(shared, nullptr);
    if (!parent) {
        parent = privateFolder(shared + QStringLiteral("-%1").arg(::geteuid()), error);
    }
    if (!parent) {
        return std::nullopt;
    }
    return privateFolder(
        *parent + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), error);
}
