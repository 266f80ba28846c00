#include "AFXAppPlacement.h"

#include "AFXAttributesStorage.h"
#include "AFXFixPermissions.h"
#include "AFXGlobals.h"
#include "AFXLaunchpadWatcher.h"
#include "AFXRemoveFromQuarantine.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "platform/DispatchSemaphore.h"
#include "platform/FileManager.h"
#include "platform/LaunchServices.h"
#include "platform/Task.h"
#include "platform/Tools.h"
#include "support/BRLog.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <chrono>
#include <functional>
#include <vector>

namespace {

constexpr std::chrono::seconds kLaunchpadWaitInterval{10};

const QString kQuarantineAttribute = QStringLiteral("com.apple.quarantine");

// Actions that undo or tidy up after a placement, whatever its outcome. They
// run once, newest first, so a restore runs before the folder holding the
// backup is removed.
class CleanupChain {
public:
    void add(std::function<void()> action) { actions_.push_back(std::move(action)); }
    void run() {
        for (auto it = actions_.rbegin(); it != actions_.rend(); ++it) {
            (*it)();
        }
        actions_.clear();
    }

private:
    std::vector<std::function<void()>> actions_;
};

// A copy opens up each item's permissions and leaves its quarantine behind
// as it goes, so a copied bundle needs no walk of its own afterwards; a
// moved one is walked once placed.
bool putItem(const QString& source, const QString& destination, bool move, platform::Error* error = nullptr) {
    if (move) {
        return platform::FileManager::moveItem(source, destination, error);
    }
    platform::FileManager::CopyOptions options;
    options.permissions = AFXFixedPermissions;
    options.attributesLeftBehind = {kQuarantineAttribute};
    return platform::FileManager::copyItem(source, destination, options, error);
}

struct LaunchpadStaging {
    QString folder;
    QString appPath;
};

// Puts the app in a hidden folder beside its destination and waits (at most
// `waitInterval`) until Launchpad has filed it into the group named after
// the destination's subfolder, so that it stays in that group once moved to
// its destination. Answers nothing when there is no group or the app could
// not be staged.
std::optional<LaunchpadStaging> AFXAddAppToLaunchpadGroup(const QString& source, const QString& destination,
                                                          bool move, std::chrono::seconds waitInterval) {
    const auto group =
        AFXLaunchpadWatcher::launchpadGroupThatCanBeCreatedForAppURL(QUrl::fromLocalFile(destination));
    if (!group) {
        return std::nullopt;
    }
    const QFileInfo destinationInfo(destination);
    const QString folder = destinationInfo.path() + QStringLiteral("/_tmp_") +
                           QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString staged = folder + QLatin1Char('/') + destinationInfo.fileName();
    platform::FileManager::createDirectory(folder, true);
    platform::FileManager::setHidden(folder, true);
    if (!putItem(source, staged, move)) {
        platform::FileManager::removeItem(folder);
        return std::nullopt;
    }
    const QString name = destinationInfo.fileName();
    const auto answered = platform::DispatchSemaphore::make();
    AFXLaunchpadWatcher::make()->watchForAppAppearance(
        QUrl::fromLocalFile(staged), *group, static_cast<double>(waitInterval.count()),
        [answered, name](long result) {
            if (result == AFXLaunchpadWatcher::ResultAppeared) {
                BRLogInfo("Launchpad: %@ appeared in group", name);
            } else if (result == AFXLaunchpadWatcher::ResultTimedOut) {
                BRLogInfo("Launchpad: time is out for %@", name);
            } else {
                BRLogInfo("Launchpad: database is not compatible");
            }
            answered->signal();
        });
    // The watcher answers within the wait interval; it has no other bound.
    answered->wait();
    return LaunchpadStaging{folder, staged};
}

// `copied`: the bundle was made by `putItem`'s copy, which already did the
// per-item work.
void AFXPerformPostPutActions(const QUrl& placedURL, const std::optional<AFXAttributesStorage>& snapshot,
                              bool copied) {
    const QString placedPath = placedURL.toLocalFile();
    if (!copied) {
        std::optional<platform::Error> permissionError;
        AFXFixPermissionsRecursive(placedURL, [&](const platform::Error& error) {
            permissionError = error;
            return true;
        });
        if (permissionError) {
            BRLogError("Did fail to fix permissions for app %@ with error %@", placedURL, *permissionError);
        }
        AFXRemoveFromQuarantine(placedPath);
    }
    if (snapshot) {
        // The old copy's marks carry over, but not a quarantine it still
        // had: the new copy was just cleared of it.
        auto attributes = snapshot->attributesByName();
        attributes.remove(kQuarantineAttribute);
        AFXAttributesStorage::makeWithAttributesByName(attributes).setAttributesForURL(placedURL);
    }
    platform::Error registrationError(QString(), 0);
    if (!platform::LaunchServices::registerURL(placedURL, &registrationError)) {
        BRLogWarn("Could not register app %@: %@", placedURL, registrationError);
    }
    // Indexing takes its time and nothing depends on it.
    auto indexer = platform::Task::make();
    indexer->setLaunchPath(platform::Tools::path(QStringLiteral("/usr/bin/mdimport")));
    indexer->setArguments({placedPath});
    indexer->setStandardInput(platform::Task::Stream::NullDevice);
    indexer->setStandardOutput(platform::Task::Stream::NullDevice);
    indexer->setStandardError(platform::Task::Stream::NullDevice);
    indexer->launch();
}

std::optional<QUrl> AFXPutApp(const QUrl& sourceURL, const QUrl& destinationURL, bool move,
                              bool addToLaunchpadGroup, std::chrono::seconds waitInterval,
                              platform::Error* error) {
    CleanupChain cleanup;
    std::optional<platform::Error> failure;
    bool placed = false;
    const QString destination =
        destinationURL.isLocalFile() ? QDir::cleanPath(destinationURL.toLocalFile()) : QString();
    const QString parent = QFileInfo(destination).path();
    if (destination.isEmpty() || destination == QLatin1String("/")) {
        failure = afx_makeErrorOfMissingObjectOfKind(QStringLiteral("destination url for installation"));
    } else {
        platform::FileManager::createDirectory(parent, true);
        std::optional<AFXAttributesStorage> snapshot;
        if (QFileInfo::exists(destination)) {
            snapshot = AFXAttributesStorage::storageForURL(QUrl::fromLocalFile(destination));
        }
        QString source = sourceURL.toLocalFile();
        // Whether the bundle that ends up at the destination was made by a
        // copy: a copied bundle stays one when moved on from staging.
        const bool copied = !move;
        if (addToLaunchpadGroup && platform::FileManager::fileExists(source)) {
            if (const auto staging = AFXAddAppToLaunchpadGroup(source, destination, move, waitInterval)) {
                cleanup.add([staging = *staging, original = source, movedAway = move, &placed] {
                    // A source that was moved in is the caller's only copy:
                    // it goes back before its folder is removed.
                    if (movedAway && !placed && platform::FileManager::fileExists(staging.appPath) &&
                        !platform::FileManager::moveItem(staging.appPath, original)) {
                        BRLogError("Kept the app at %@, as it could not be moved back", staging.appPath);
                        return;
                    }
                    platform::FileManager::removeItem(staging.folder);
                });
                source = staging->appPath;
                move = true;
            }
        }

        QString backup;
        if (platform::FileManager::fileExists(destination)) {
            if (const auto backupFolder = AFXGlobals::makeTemporaryDirectory()) {
                backup = *backupFolder + QLatin1Char('/') + QFileInfo(destination).fileName();
                if (!platform::FileManager::moveItem(destination, backup)) {
                    backup.clear();
                }
                cleanup.add([folder = *backupFolder, backup, &placed] {
                    // A backup that could not be put back is the only old
                    // copy left: it stays where it is.
                    if (!placed && !backup.isEmpty() && platform::FileManager::fileExists(backup)) {
                        BRLogError("Kept the backup of the previous app at %@", backup);
                        return;
                    }
                    platform::FileManager::removeItem(folder);
                });
            }
        }

        platform::Error putError(QString(), 0);
        if (!platform::FileManager::fileExists(source)) {
            failure =
                afx_makeErrorOfMissingObjectOfKind(QStringLiteral("source url for putting app in place"));
        } else if (putItem(source, destination, move, &putError)) {
            placed = true;
        } else {
            failure = putError;
        }

        if (placed) {
            AFXPerformPostPutActions(QUrl::fromLocalFile(destination), snapshot, copied);
        } else if (!backup.isEmpty()) {
            cleanup.add([destination, backup] {
                platform::FileManager::removeItem(destination);
                platform::Error restoreError(QString(), 0);
                if (!platform::FileManager::moveItem(backup, destination, &restoreError)) {
                    BRLogError("Could not restore the previous app at %@: %@", destination, restoreError);
                }
            });
        }
    }
    cleanup.run();
    if (failure) {
        BRLogError("Error while installing app at url %@: %@", destinationURL, *failure);
        if (error) {
            *error = *failure;
        }
        return std::nullopt;
    }
    return QUrl::fromLocalFile(destination);
}

} // namespace

std::optional<QUrl> AFXCopyApp(const QUrl& sourceURL, const QUrl& destinationURL, bool addToLaunchpadGroup,
                               platform::Error* error) {
    return AFXPutApp(sourceURL, destinationURL, false, addToLaunchpadGroup, kLaunchpadWaitInterval, error);
}

std::optional<QUrl> AFXMoveApp(const QUrl& sourceURL, const QUrl& destinationURL, bool addToLaunchpadGroup,
                               platform::Error* error) {
    return AFXPutApp(sourceURL, destinationURL, true, addToLaunchpadGroup, kLaunchpadWaitInterval, error);
}
