#include "BRUnarchiver.h"

#include "BRDispatch.h"
#include "BRFollowingUnarchiver.h"
#include "BRToolRun.h"
#include "BRZIPExtraction.h"
#include "platform/FileManager.h"
#include "platform/Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUuid>

#include <fcntl.h>
#include <unistd.h>

const QString BRUnarchiverErrorDomain = QStringLiteral("com.brindle.UnarchiverErrorDomain");

using platform::Error;
using platform::FileManager;

namespace {

constexpr qint64 ZIPChunkSize = 262144;
constexpr qint64 DMGTrailerOffset = 512;

QString newUUIDString() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString newStagingPath() {
    return platform::Paths::temporaryDirectory() + QLatin1Char('/') + newUUIDString();
}

} // namespace

class BRUnarchiver::ProgressTotal {
public:
    explicit ProgressTotal(const ProgressHandler& handler) : handler_(handler) {}
    void step(double amount) {
        total_ += amount;
        if (handler_) {
            handler_(total_);
        }
    }

private:
    const ProgressHandler& handler_;
    double total_ = 0.0;
};

void BRUnarchiver::unpackArchiveAtURL(const QUrl& archiveURL, const std::optional<QUrl>& destinationFolder,
                                      bool async, ProgressHandler progressHandler,
                                      CompletionHandler completionHandler,
                                      std::shared_ptr<BRFollowingUnarchiver> follower) {
    auto queue = BRBuildInternalDispatchQueue(QStringLiteral("unarchiver"));
    auto work = [archiveURL, destinationFolder, progressHandler = std::move(progressHandler),
                 completionHandler = std::move(completionHandler), follower = std::move(follower)] {
        ProgressTotal progress(progressHandler);
        Error error(QString(), 0);
        // A following unpacking that was not taken is gone before anyone
        // hears of a failure.
        const auto endFollowing = [&follower] {
            if (follower) {
                follower->cancel();
            }
        };
        if (!_checkDestinationFolder(destinationFolder, &error)) {
            endFollowing();
            completionHandler(std::nullopt, error);
            return;
        }
        progress.step(0.1);

        double previous = 0.0;
        const ProgressHandler unarchiveProgress = [&](double p) {
            progress.step((p - previous) * 0.8);
            previous = p;
        };
        const std::optional<QUrl> staging =
            _unarchiveURL(archiveURL, unarchiveProgress, follower.get(), &error);
        if (!staging) {
            endFollowing();
            completionHandler(std::nullopt, error);
            return;
        }

        QUrl result = *staging;
        if (destinationFolder) {
            std::optional<Error> moveError;
            const bool moved = _moveContentAtURL(*staging, *destinationFolder, &moveError);
            // What stays in the staging folder (ignored items, or everything
            // after a failed move) is of no further use.
            FileManager::removeItem(staging->toLocalFile());
            if (!moved) {
                completionHandler(std::nullopt, moveError);
                return;
            }
            result = *destinationFolder;
        }
        progress.step(0.1);
        completionHandler(result, std::nullopt);
    };
    if (async) {
        queue->async(std::move(work));
    } else {
        queue->sync(work);
    }
}

bool BRUnarchiver::_checkDestinationFolder(const std::optional<QUrl>& folder, Error* error) {
    if (!folder) {
        return true;
    }
    const QString path = folder->toLocalFile();
    if (FileManager::isDirectory(path)) {
        return true;
    }
    return FileManager::createDirectory(path, true, error);
}

std::shared_ptr<BRFollowingUnarchiver> BRUnarchiver::followArchiveBeingWritten(const QUrl& archiveURL,
                                                                               const QString& path) {
    if (_archiveTypeByExtensionAtURL(archiveURL) != BRArchiveTypeZIP) {
        return nullptr;
    }
    const int file = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (file < 0) {
        return nullptr;
    }
    std::optional<BRZIPExtraction> extraction = BRZIPExtraction::start(newStagingPath(), nullptr);
    if (!extraction) {
        ::close(file);
        return nullptr;
    }
    return std::shared_ptr<BRFollowingUnarchiver>(new BRFollowingUnarchiver(file, std::move(*extraction)));
}

std::optional<QUrl> BRUnarchiver::_unarchiveURL(const QUrl& archiveURL,
                                                const ProgressHandler& progressHandler,
                                                BRFollowingUnarchiver* follower, Error* error) {
    BRArchiveType type = _archiveTypeByExtensionAtURL(archiveURL);
    if (type == BRArchiveTypeUnknown) {
        type = _archiveTypeByHeaderAtURL(archiveURL);
    }
    switch (type) {
    case BRArchiveTypeZIP:
        if (follower) {
            if (std::optional<QUrl> staging = follower->finishWithArchiveAtPath(archiveURL.toLocalFile())) {
                if (progressHandler) {
                    progressHandler(1.0);
                }
                return staging;
            }
        }
        return _unarchiveZIP(archiveURL, progressHandler, error);
    case BRArchiveTypeDMG:
        return _unarchiveDMG(archiveURL, progressHandler, error);
    case BRArchiveTypeUnknown:
        break;
    }
    if (error) {
        *error = Error(BRUnarchiverErrorDomain, -1,
                       {{platform::NSLocalizedDescriptionKey, QStringLiteral("Unknown archive type.")}});
    }
    return std::nullopt;
}

BRArchiveType BRUnarchiver::_archiveTypeByExtensionAtURL(const QUrl& archiveURL) {
    const QString extension = QFileInfo(archiveURL.path()).suffix().toUpper();
    if (extension == QLatin1String("ZIP")) {
        return BRArchiveTypeZIP;
    }
    if (extension == QLatin1String("DMG")) {
        return BRArchiveTypeDMG;
    }
    return BRArchiveTypeUnknown;
}

BRArchiveType BRUnarchiver::_archiveTypeByHeaderAtURL(const QUrl& archiveURL) {
    QFile archive(archiveURL.toLocalFile());
    if (!archive.open(QIODevice::ReadOnly)) {
        return BRArchiveTypeUnknown;
    }
    if (_archiveHasZIPHeader(archive)) {
        return BRArchiveTypeZIP;
    }
    if (_archiveHasDMGHeader(archive)) {
        return BRArchiveTypeDMG;
    }
    return BRArchiveTypeUnknown;
}

bool BRUnarchiver::_archiveHasZIPHeader(QFile& archive) {
    return archive.seek(0) && archive.read(4) == QByteArrayLiteral("\x50\x4B\x03\x04");
}

bool BRUnarchiver::_archiveHasDMGHeader(QFile& archive) {
    const qint64 size = archive.size();
    return size >= DMGTrailerOffset && archive.seek(size - DMGTrailerOffset) &&
           archive.read(4) == QByteArrayLiteral("koly");
}

std::optional<QUrl> BRUnarchiver::_unarchiveZIP(const QUrl& archiveURL,
                                                const ProgressHandler& progressHandler, Error* error) {
    QFile archive(archiveURL.toLocalFile());
    if (!archive.exists()) {
        if (error) {
            *error = Error::posix(
                ENOENT, QStringLiteral("Could not read the size of \"%1\"").arg(archive.fileName()));
        }
        return std::nullopt;
    }
    const qint64 fileSize = archive.size();
    const QString stagingPath = newStagingPath();
    std::optional<BRZIPExtraction> ditto = BRZIPExtraction::start(stagingPath, error);
    if (!ditto) {
        return std::nullopt;
    }
    if (archive.open(QIODevice::ReadOnly)) {
        qint64 bytesWritten = 0;
        do {
            const qint64 chunk = ditto->feed(archive.handle(), bytesWritten, ZIPChunkSize);
            // A tool that stopped reading has failed; its exit says why.
            if (chunk <= 0) {
                break;
            }
            bytesWritten += chunk;
            if (progressHandler) {
                progressHandler(static_cast<double>(bytesWritten) / static_cast<double>(fileSize));
            }
        } while (fileSize > bytesWritten);
    }
    return ditto->finish(error);
}

std::optional<QUrl> BRUnarchiver::_unarchiveDMG(const QUrl& archiveURL,
                                                const ProgressHandler& progressHandler, Error* error) {
    double progress = 0.0;
    auto step = [&](double amount) {
        progress += amount;
        if (progressHandler) {
            progressHandler(progress);
        }
    };

    const QString volumes = platform::Paths::resolve(QStringLiteral("/Volumes"));
    QString mountPoint;
    do {
        mountPoint = volumes + QLatin1Char('/') + newUUIDString();
    } while (FileManager::fileExists(mountPoint));

    std::optional<BRToolRun> attach =
        BRToolRun::launch(QStringLiteral("/usr/bin/hdiutil"),
                          {QStringLiteral("attach"), archiveURL.toLocalFile(), QStringLiteral("-mountpoint"),
                           mountPoint, QStringLiteral("-nobrowse"), QStringLiteral("-noautoopen")},
                          nullptr, error);
    const bool attached = attach && attach->finish(error);
    step(0.2);
    if (!attached) {
        return std::nullopt;
    }

    auto detach = [&] {
        Error ignored(QString(), 0);
        if (std::optional<BRToolRun> run = BRToolRun::launch(
                QStringLiteral("/usr/bin/hdiutil"),
                {QStringLiteral("detach"), mountPoint, QStringLiteral("-force")}, nullptr, &ignored)) {
            run->finish(&ignored);
        }
        step(0.2);
    };

    const std::optional<QStringList> items = FileManager::contentsOfDirectory(mountPoint, error);
    if (!items) {
        detach();
        return std::nullopt;
    }

    const QString stagingPath = newStagingPath();
    if (!FileManager::createDirectory(stagingPath, true, error)) {
        detach();
        return std::nullopt;
    }

    for (const QString& item : *items) {
        const QUrl itemURL = QUrl::fromLocalFile(item);
        if (!_shouldIgnoreItemAtURL(itemURL) &&
            !FileManager::copyItem(item, stagingPath + QLatin1Char('/') + QFileInfo(item).fileName(),
                                   error)) {
            detach();
            FileManager::removeItem(stagingPath);
            return std::nullopt;
        }
        step(0.6 / static_cast<double>(items->size()));
    }

    detach();
    return QUrl::fromLocalFile(stagingPath);
}

bool BRUnarchiver::_shouldIgnoreItemAtURL(const QUrl& itemURL) {
    // Never destroyed: an unpacking still running on a worker thread while
    // the process exits must not find it gone.
    static const auto* ignoredNames =
        new QSet<QString>{QStringLiteral(".DS_STORE"), QStringLiteral(".TRASHES")};
    return ignoredNames->contains(QFileInfo(itemURL.path()).fileName().toUpper());
}

bool BRUnarchiver::_moveContentAtURL(const QUrl& sourceURL, const QUrl& destinationURL,
                                     std::optional<Error>* error) {
    const QString source = sourceURL.toLocalFile();
    if (!FileManager::fileExists(source)) {
        return false;
    }
    const QStringList items = FileManager::isDirectory(source)
                                  ? FileManager::contentsOfDirectory(source).value_or(QStringList{})
                                  : QStringList{source};

    bool moved = false;
    for (const QString& item : items) {
        if (_shouldIgnoreItemAtURL(QUrl::fromLocalFile(item))) {
            continue;
        }
        const QString name = QFileInfo(item).fileName();
        const QString target = destinationURL.toLocalFile() + QLatin1Char('/') + name;
        // What the item replaces stays beside it until the item is in place:
        // a move that fails (a copy across file systems that runs out of
        // room, say) then loses nothing.
        QString aside;
        if (const QFileInfo replaced(target); replaced.exists() || replaced.isSymLink()) {
            aside = destinationURL.toLocalFile() + QStringLiteral("/.") + name + QLatin1Char('.') +
                    newUUIDString();
            if (!FileManager::moveItem(target, aside)) {
                // Out of the way by other means, as before.
                aside.clear();
                FileManager::removeItem(target);
            }
        }
        Error moveError(QString(), 0);
        moved = FileManager::moveItem(item, target, &moveError);
        if (!moved) {
            if (!aside.isEmpty()) {
                FileManager::moveItem(aside, target);
            }
            *error = moveError;
            return false;
        }
        if (!aside.isEmpty()) {
            FileManager::removeItem(aside);
        }
    }
    return moved;
}
