#include "FileManager.h"

#include "DispatchQueue.h"
#include "ExtendedAttributes.h"
#include "ItemCopier.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace fs = std::filesystem;

namespace {

fs::path native(const QString& path) {
    return fs::path(QFile::encodeName(path).toStdString());
}

bool fail(Error* error, int errnoValue, const QString& context) {
    if (error) {
        *error = Error::posix(errnoValue, context);
    }
    return false;
}

bool fail(Error* error, const std::error_code& code, const QString& context) {
    return fail(error, code.value() ? code.value() : EIO, context);
}

// Giving a file's cached pages back to the system takes it some 3 ms per
// 10 MiB, all of it in the call that drops the file's last name (or its
// last descriptor). `discardItem` empties files from this size on, on a
// background queue, holding at most so many of them open meanwhile.
constexpr std::uintmax_t kReleasedLaterBytes = 8 * 1024 * 1024;
constexpr std::size_t kMostReleasedLater = 64;

// Large regular files at or below `path` (links are not followed), opened
// for writing; files that cannot be opened so are left to the removal.
std::vector<int> openLargeFiles(const fs::path& path) {
    std::vector<int> files;
    const auto hold = [&files](const fs::path& file) {
        if (files.size() >= kMostReleasedLater) {
            return;
        }
        const int fd = ::open(file.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat status {};
        if (fd < 0) {
            return;
        }
        if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
            static_cast<std::uintmax_t>(status.st_size) >= kReleasedLaterBytes) {
            files.push_back(fd);
        } else {
            ::close(fd);
        }
    };
    std::error_code code;
    const fs::file_status status = fs::symlink_status(path, code);
    if (fs::is_regular_file(status)) {
        hold(path);
    } else if (fs::is_directory(status)) {
        for (fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, code),
             end;
             !code && it != end; it.increment(code)) {
            std::error_code sizeCode;
            if (it->is_regular_file(sizeCode) && !it->is_symlink(sizeCode) &&
                it->file_size(sizeCode) >= kReleasedLaterBytes) {
                hold(it->path());
            }
        }
    }
    return files;
}

// Empties and closes the files once their names are gone. A file that
// still has a name (another hard link, or a removal that failed) keeps its
// contents and is only closed.
void releaseLater(std::vector<int> files) {
    if (files.empty()) {
        return;
    }
    DispatchQueue::global(QualityOfService::Background)->async([files = std::move(files)] {
        for (const int fd : files) {
            struct stat status {};
            if (::fstat(fd, &status) == 0 && status.st_nlink == 0) {
                (void)::ftruncate(fd, 0);
            }
            ::close(fd);
        }
    });
}

bool lexists(const QString& path) {
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

} // namespace

bool FileManager::fileExists(const QString& path) {
    return lexists(path);
}

bool FileManager::isDirectory(const QString& path) {
    std::error_code code;
    return fs::is_directory(fs::symlink_status(native(path), code));
}

bool FileManager::createDirectory(const QString& path, bool withIntermediateDirectories, Error* error) {
    std::error_code code;
    const bool made = withIntermediateDirectories ? fs::create_directories(native(path), code)
                                                  : fs::create_directory(native(path), code);
    if (code) {
        return fail(error, code, QStringLiteral("Could not create the folder \"%1\"").arg(path));
    }
    // A link to a folder is a folder to work in, as the system's own
    // folders often are ("~/Applications" linked elsewhere).
    if (!made && !fs::is_directory(fs::status(native(path), code))) {
        return fail(error, EEXIST, QStringLiteral("Could not create the folder \"%1\"").arg(path));
    }
    return true;
}

bool FileManager::copyItem(const QString& source, const QString& destination, Error* error) {
    return copyItem(source, destination, CopyOptions{}, error);
}

bool FileManager::copyItem(const QString& source, const QString& destination, const CopyOptions& options,
                           Error* error) {
    const QString context = QStringLiteral("Could not copy \"%1\" to \"%2\"").arg(source, destination);
    if (!lexists(source)) {
        return fail(error, ENOENT, context);
    }
    if (lexists(destination)) {
        return fail(error, EEXIST, context);
    }
    ItemCopier copier(options);
    if (!copier.copy(QFile::encodeName(source), QFile::encodeName(destination))) {
        // What the copy made before failing must not pass for the item; an
        // item another process put there since the check above is not ours.
        const int failure = copier.failure();
        if (copier.madeDestination()) {
            removeItem(destination);
        }
        return fail(error, failure, context);
    }
    return true;
}

bool FileManager::moveItem(const QString& source, const QString& destination, Error* error) {
    const QString context = QStringLiteral("Could not move \"%1\" to \"%2\"").arg(source, destination);
    if (!lexists(source)) {
        return fail(error, ENOENT, context);
    }
    if (lexists(destination)) {
        return fail(error, EEXIST, context);
    }
    // Never over an item another process put there since the check above.
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(destination);
    int renamed = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (renamed != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // File systems that cannot promise it.
        renamed = ::rename(from.constData(), to.constData());
    }
    if (renamed == 0) {
        return true;
    }
    if (errno != EXDEV) {
        return fail(error, errno, context);
    }
    if (!copyItem(source, destination, error)) {
        return false;
    }
    removeItem(source);
    return true;
}

bool FileManager::writeDataAtomically(const QString& path, const QByteArray& data, Error* error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit()) {
        return true;
    }
    if (error) {
        *error =
            Error::posix(EIO, QStringLiteral("Could not write \"%1\": %2").arg(path, file.errorString()));
    }
    return false;
}

bool FileManager::removeItem(const QString& path, Error* error) {
    std::error_code code;
    if (fs::remove_all(native(path), code) == 0 && !code) {
        return fail(error, ENOENT, QStringLiteral("Could not remove \"%1\"").arg(path));
    }
    if (code) {
        return fail(error, code, QStringLiteral("Could not remove \"%1\"").arg(path));
    }
    return true;
}

bool FileManager::discardItem(const QString& path, Error* error) {
    std::vector<int> largeFiles = openLargeFiles(native(path));
    const bool removed = removeItem(path, error);
    releaseLater(std::move(largeFiles));
    return removed;
}

std::optional<QStringList> FileManager::contentsOfDirectory(const QString& path, Error* error) {
    QDir folder(path);
    if (!isDirectory(path)) {
        fail(error, lexists(path) ? ENOTDIR : ENOENT,
             QStringLiteral("Could not list the folder \"%1\"").arg(path));
        return std::nullopt;
    }
    if (!folder.isReadable()) {
        fail(error, EACCES, QStringLiteral("Could not list the folder \"%1\"").arg(path));
        return std::nullopt;
    }
    QStringList items;
    const QStringList names =
        folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        items.append(folder.filePath(name));
    }
    return items;
}

const QString FileManager::HiddenAttributeName = QStringLiteral("kestrel.hidden");

bool FileManager::isHidden(const QString& path) {
    const QString name = QDir::cleanPath(path).section(QLatin1Char('/'), -1);
    return name.startsWith(QLatin1Char('.')) ||
           ExtendedAttributes::get(path, HiddenAttributeName).has_value();
}

bool FileManager::setHidden(const QString& path, bool hidden, Error* error) {
    return hidden ? ExtendedAttributes::set(path, HiddenAttributeName, QByteArrayLiteral("1"), error)
                  : ExtendedAttributes::remove(path, HiddenAttributeName, error);
}

} // namespace platform
