// The Launchpad watcher against the real indexer program and against
// databases made by hand. The database's place and its schema check are
// decided once per process, so cases that need another database run in a
// process of their own (an exit test whose status is the watch's result).

#include "SpecificTools/AFXAppInstaller/AFXLaunchpadWatcher.h"
#include "platform/DispatchSemaphore.h"
#include "platform/Paths.h"
#include "platform/Tools.h"
#include "support/BRSQLite.h"
#include "testing/AppBundleMaker.h"
#include "testing/LaunchpadIndexerProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QUuid>

#include <unistd.h>

using testing_support::appInfo;
using testing_support::makeAppBundle;

namespace {

// Watches and waits (bounded) for the completion handler's result.
long watchResult(const std::shared_ptr<AFXLaunchpadWatcher>& watcher, const QString& appPath,
                 const QString& group, double seconds) {
    auto done = platform::DispatchSemaphore::make(0);
    auto result = std::make_shared<std::atomic<long>>(-1);
    watcher->watchForAppAppearance(QUrl::fromLocalFile(appPath), group, seconds, [result, done](long answer) {
        *result = answer;
        done->signal();
    });
    EXPECT_TRUE(done->wait(std::chrono::milliseconds(static_cast<int>(seconds * 1000) + 10000)));
    return *result;
}

QString applications() {
    return platform::Paths::resolve(QStringLiteral("/Applications"));
}

QString stagingFolder(const QString& group) {
    return applications() + QLatin1Char('/') + group + QStringLiteral("/_tmp_") +
           QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// Makes a database at the place the watcher looks, with the given tables.
bool makeDatabase(const QStringList& statements) {
    const QString path = AFXLaunchpadWatcher::launchpadDatabaseSearchFolder() + QStringLiteral("/0/") +
                         AFXLaunchpadWatcher::launchpadDatabasePathSuffix();
    if (!testing_support::writeFile(path, {})) {
        return false;
    }
    sqlite3* database = BRSQLiteOpenDatabase(QUrl::fromLocalFile(path));
    bool made = database != nullptr;
    for (const QString& statement : statements) {
        platform::Error error(QString(), 0);
        BRSQLiteExecuteQuery(database, statement, &error);
        made = made && error.domain().isEmpty();
    }
    return BRSQLiteCloseDatabase(database) && made;
}

} // namespace

TEST(LaunchpadWatcher, TheIndexerFilesStagedAppsIntoTheirGroups) {
    EXPECT_EQ(AFXLaunchpadWatcher::launchpadGroupThatCanBeCreatedForAppURL(
                  QUrl::fromLocalFile(applications() + QStringLiteral("/Work/Notes.app"))),
              QStringLiteral("Work"));
    EXPECT_EQ(AFXLaunchpadWatcher::launchpadGroupThatCanBeCreatedForAppURL(
                  QUrl::fromLocalFile(applications() + QStringLiteral("/Notes.app"))),
              std::nullopt);

    testing_support::LaunchpadIndexerProcess indexer;
    const QString database = indexer.start();
    ASSERT_FALSE(database.isEmpty());
    EXPECT_EQ(AFXLaunchpadWatcher::launchpadDatabaseURL(), QUrl::fromLocalFile(database));
    ASSERT_TRUE(AFXLaunchpadWatcher::canWatchLaunchpadDatabase());

    // Outside the group the app never shows up in it: the wait ends by its time.
    const auto watcher = AFXLaunchpadWatcher::make();
    const QString loose = applications() + QStringLiteral("/Notes.app");
    ASSERT_TRUE(makeAppBundle(loose, appInfo(QStringLiteral("com.example.notes"))));
    EXPECT_EQ(watchResult(watcher, loose, QStringLiteral("Work"), 1), AFXLaunchpadWatcher::ResultTimedOut);

    // Staged in the group it appears. The same watcher checks the first app
    // again on every pass, so a group left twice would stop the process here.
    const QString staged = stagingFolder(QStringLiteral("Work")) + QStringLiteral("/Notes.app");
    ASSERT_TRUE(makeAppBundle(staged, appInfo(QStringLiteral("com.example.notes"))));
    EXPECT_EQ(watchResult(watcher, staged, QStringLiteral("Work"), 10), AFXLaunchpadWatcher::ResultAppeared);

    // A group is named after the first subfolder, however deep the app lies.
    const QString deep = stagingFolder(QStringLiteral("Games/Arcade")) + QStringLiteral("/Pong.app");
    ASSERT_TRUE(makeAppBundle(deep, appInfo(QStringLiteral("com.example.pong"))));
    EXPECT_EQ(watchResult(watcher, deep, QStringLiteral("Games"), 10), AFXLaunchpadWatcher::ResultAppeared);

    EXPECT_TRUE(indexer.stop());
}

TEST(LaunchpadWatcher, AnAppBelowAGroupsPageCountsAndTitlesMatchBySubstring) {
    EXPECT_EXIT(
        {
            const bool made = makeDatabase({
                QStringLiteral("CREATE TABLE items (rowid INTEGER PRIMARY KEY, parent_id INTEGER)"),
                QStringLiteral("CREATE TABLE apps (item_id INTEGER PRIMARY KEY, bundleid TEXT)"),
                QStringLiteral("CREATE TABLE groups (item_id INTEGER PRIMARY KEY, title TEXT)"),
                QStringLiteral("INSERT INTO items VALUES (1, 0), (10, 1), (11, 10), (12, 11)"),
                QStringLiteral("INSERT INTO groups VALUES (10, 'Shared Work')"),
                QStringLiteral("INSERT INTO apps VALUES (12, 'com.example.o''clock')"),
            });
            const QString app = applications() + QStringLiteral("/Work/OClock.app");
            if (!made || !makeAppBundle(app, appInfo(QStringLiteral("com.example.o'clock")))) {
                _exit(100);
            }
            _exit(
                static_cast<int>(watchResult(AFXLaunchpadWatcher::make(), app, QStringLiteral("Work"), 10)));
        },
        testing::ExitedWithCode(AFXLaunchpadWatcher::ResultAppeared), "");
}

TEST(LaunchpadWatcher, ADatabaseOfAnotherSchemaIsRefused) {
    EXPECT_EXIT(
        {
            const bool made = makeDatabase({
                QStringLiteral("CREATE TABLE items (rowid INTEGER PRIMARY KEY, parent_id INTEGER)"),
                QStringLiteral("CREATE TABLE apps (item_id INTEGER PRIMARY KEY, bundle BLOB)"),
                QStringLiteral("CREATE TABLE groups (item_id INTEGER PRIMARY KEY, title TEXT)"),
            });
            const QString app = applications() + QStringLiteral("/Work/Notes.app");
            if (!made || !makeAppBundle(app, appInfo(QStringLiteral("com.example.notes")))) {
                _exit(100);
            }
            _exit(
                static_cast<int>(watchResult(AFXLaunchpadWatcher::make(), app, QStringLiteral("Work"), 10)));
        },
        testing::ExitedWithCode(AFXLaunchpadWatcher::ResultCannotWatch), "");
}
