#pragma once

#include "AFXLaunchpadWatchParamsHolder.h"
#include "platform/DispatchQueue.h"
#include "platform/DispatchSource.h"
#include "support/BRFileMonitor.h"
#include "support/BRFileObserver.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

// Waits until Launchpad files an app into a group: it polls Launchpad's
// database every second and whenever the database or its write-ahead log is
// written, until the app's item hangs below the group's item.
//
// The list of awaited apps, the database work, the timer and the file
// monitors live on the internal queue; waiting runs on the global utility
// queue, where the completion handler is called.
class AFXLaunchpadWatcher : public BRFileObserver, public std::enable_shared_from_this<AFXLaunchpadWatcher> {
public:
    enum Result : long {
        ResultAppeared = 0,
        ResultTimedOut = 1,
        ResultCannotWatch = 2,
    };

    static std::shared_ptr<AFXLaunchpadWatcher> make();
    ~AFXLaunchpadWatcher() override;

    // The database file, found once per process; empty when there is none.
    static QUrl launchpadDatabaseURL();
    // The per-user folder searched for the database: the one that holds the
    // temporary directory (inside a root), else the runtime folder.
    static QString launchpadDatabaseSearchFolder();
    // How the database's path ends; it lies somewhere below the search folder.
    static QString launchpadDatabasePathSuffix();
    // Whether the database has the tables and columns this watcher reads; decided once per process.
    static bool canWatchLaunchpadDatabase();
    // The group an app placed at `appURL` would be filed into: the subfolder
    // of "/Applications" that holds it; none for an app directly in it.
    static std::optional<QString> launchpadGroupThatCanBeCreatedForAppURL(const QUrl& appURL);

    void watchForAppAppearance(const QUrl& appURL, const QString& groupTitle, double seconds,
                               std::function<void(long result)> completionHandler);
    // Both schedule one check on the internal queue.
    void checkAppearanceInGroup();
    void didWriteToFileAtURL(const BRFileReferenceURL& url) override;

private:
    AFXLaunchpadWatcher();
    void startWatchingLocked();
    void stopWatchingLocked();
    void checkLocked();
    void assertOnInternalQueue() const;

    const std::shared_ptr<platform::DispatchQueue> internalQueue_;
    // On the internal queue.
    std::shared_ptr<platform::DispatchSource> checkTimer_;
    QList<std::shared_ptr<BRFileMonitor>> fileMonitors_;
    QList<std::shared_ptr<AFXLaunchpadWatchParamsHolder>> paramsHolders_;
};
