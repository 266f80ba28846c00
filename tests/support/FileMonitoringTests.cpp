// File monitors and the monitoring manager on real files and folders:
// what observers are told on renames, moves of enclosing folders and
// deletions, and that removed observers hear nothing more.

#include "support/BRFileMonitor.h"
#include "support/BRFileMonitoringManager.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <condition_variable>
#include <mutex>

using testing_support::testRoot;

namespace {

struct Event {
    QString kind;
    QString path = {};
    QString otherPath = {};
};

// Remembers every call as a line, and the flags of `didChangeWithFlags`.
class RecordingObserver : public BRFileObserver {
public:
    void didChangeWithFlags(unsigned long flags, const BRFileReferenceURL&) override {
        std::lock_guard lock(mutex_);
        flags_ |= flags;
        changed_.notify_all();
    }
    void didInvalidateObservationOfFileAtURL(const BRFileReferenceURL&) override { add({"invalidate"}); }
    void didDeleteFileAtURL(const BRFileReferenceURL&, const QUrl& oldFilePathURL) override {
        add({"delete", oldFilePathURL.toLocalFile()});
    }
    void didWriteToFileAtURL(const BRFileReferenceURL&) override { add({"write"}); }
    void didMoveFileAtURL(const BRFileReferenceURL&, const QUrl& from, const QUrl& to) override {
        add({"move", from.toLocalFile(), to.toLocalFile()});
    }

    bool waitForFlags(unsigned long flags) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return (flags_ & flags) == flags; });
    }
    // The first event of a kind, once it came.
    std::optional<Event> waitFor(const QString& kind) {
        std::unique_lock lock(mutex_);
        std::optional<Event> found;
        changed_.wait_for(lock, std::chrono::seconds(10), [&] {
            for (const Event& event : events_) {
                if (event.kind == kind) {
                    found = event;
                    return true;
                }
            }
            return false;
        });
        return found;
    }
    int count(const QString& kind) {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count_if(events_.begin(), events_.end(),
                                              [&](const Event& event) { return event.kind == kind; }));
    }
    unsigned long flags() {
        std::lock_guard lock(mutex_);
        return flags_;
    }

private:
    void add(Event event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
    unsigned long flags_ = 0;
};

void append(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QUrl url(const QString& path) {
    return QUrl::fromLocalFile(path);
}

} // namespace

TEST(FileMonitor, RenameMovesThePathAndLaterEventsStillArrive) {
    EXPECT_FALSE(BRFileMonitor::makeWithURL(url(testRoot() + QStringLiteral("/absent"))));

    const QString path = testRoot() + QStringLiteral("/notes.txt");
    ASSERT_TRUE(testing_support::writeFile(path, "x"));
    const auto monitor = BRFileMonitor::makeWithURL(url(path));
    ASSERT_TRUE(monitor);
    const auto observer = std::make_shared<RecordingObserver>();
    monitor->addObserver(observer);
    monitor->internalQueue()->sync([] {});

    const QString renamed = testRoot() + QStringLiteral("/renamed.txt");
    ASSERT_TRUE(QFile::rename(path, renamed));
    const auto move = observer->waitFor(QStringLiteral("move"));
    ASSERT_TRUE(move);
    EXPECT_EQ(move->path, path);
    EXPECT_EQ(move->otherPath, renamed);
    EXPECT_TRUE(observer->flags() & BRFileEventRename);
    QUrl present;
    monitor->internalQueue()->sync([&] { present = monitor->filePathURL(); });
    EXPECT_EQ(present, url(renamed));

    append(renamed, "y");
    EXPECT_TRUE(observer->waitFor(QStringLiteral("write")));
}

TEST(FileMonitor, DeletionEndsTheSourceAndInvalidatesTheObservers) {
    const QString path = testRoot() + QStringLiteral("/doomed");
    ASSERT_TRUE(testing_support::writeFile(path, "x"));
    const auto monitor = BRFileMonitor::makeWithURL(url(path));
    ASSERT_TRUE(monitor);
    const auto observer = std::make_shared<RecordingObserver>();
    monitor->addObserver(observer);
    monitor->internalQueue()->sync([] {});

    ASSERT_TRUE(QFile::remove(path));
    const auto deletion = observer->waitFor(QStringLiteral("delete"));
    ASSERT_TRUE(deletion);
    EXPECT_EQ(deletion->path, path);
    EXPECT_TRUE(observer->waitFor(QStringLiteral("invalidate")));
    bool watching = true;
    monitor->internalQueue()->sync([&] { watching = monitor->isWatching(); });
    EXPECT_FALSE(watching);
}

TEST(FileMonitoringManager, RecursiveObserversFollowMovesOfEnclosingFolders) {
    const QString tools = testRoot() + QStringLiteral("/home/Tools");
    const QString app = tools + QStringLiteral("/Foo.app");
    ASSERT_TRUE(QDir().mkpath(app + QStringLiteral("/Contents")));
    const auto manager = BRFileMonitoringManager::defaultMonitor();
    const auto observer = std::make_shared<RecordingObserver>();
    manager->addObserver(observer, url(app), true);
    // A block observer for writes only is not called for the move.
    std::atomic<int> writeBlockCalls{0};
    const auto token = manager->addObserverOfURL(url(tools), false, BRFileEventWrite,
                                                 [&](unsigned long) { ++writeBlockCalls; });
    manager->internalQueue()->sync([] {});

    const QString apps = testRoot() + QStringLiteral("/home/Apps");
    ASSERT_TRUE(QDir().rename(tools, apps));
    const auto move = observer->waitFor(QStringLiteral("move"));
    ASSERT_TRUE(move);
    EXPECT_EQ(move->path, app);
    EXPECT_EQ(move->otherPath, apps + QStringLiteral("/Foo.app"));

    // A write into the folder reaches the folder's block but not the app's observers.
    ASSERT_TRUE(testing_support::writeFile(apps + QStringLiteral("/other"), "x"));
    ASSERT_TRUE(testing_support::waitUntil([&] { return writeBlockCalls > 0; }));
    EXPECT_EQ(observer->count(QStringLiteral("write")), 0);
    manager->removeObserver(token);

    // Deleting the enclosing folder reaches the app's observers too.
    ASSERT_TRUE(QDir(apps).removeRecursively());
    EXPECT_TRUE(observer->waitFor(QStringLiteral("delete")));
}

TEST(FileMonitoringManager, MissingItemsRegisterNothingAndRemovedObserversHearNothingMore) {
    const auto manager = BRFileMonitoringManager::defaultMonitor();
    const auto absent = std::make_shared<RecordingObserver>();
    manager->addObserver(absent, url(testRoot() + QStringLiteral("/absent")), false);

    const QString path = testRoot() + QStringLiteral("/busy");
    ASSERT_TRUE(testing_support::writeFile(path, "x"));
    std::vector<std::shared_ptr<RecordingObserver>> leaving(8);
    for (auto& observer : leaving) {
        observer = std::make_shared<RecordingObserver>();
        manager->addObserver(observer, url(path), false);
    }
    const auto staying = std::make_shared<RecordingObserver>();
    manager->addObserver(staying, url(path), false);
    manager->internalQueue()->sync([] {});

    // Observers leave one by one while writes keep coming.
    for (const auto& observer : leaving) {
        append(path, "y");
        manager->removeObserver(observer, url(path), false);
    }
    ASSERT_TRUE(staying->waitForFlags(BRFileEventWrite));
    // A move after every removal reaches only the observer that stayed.
    // Removals take effect on the manager's queue; a source's handler
    // already waiting there takes up later events of its item too, so the
    // move is made only once the removals have run.
    manager->internalQueue()->sync([] {});
    const QString renamed = testRoot() + QStringLiteral("/renamed");
    ASSERT_TRUE(QFile::rename(path, renamed));
    ASSERT_TRUE(staying->waitFor(QStringLiteral("move")));
    for (const auto& observer : leaving) {
        EXPECT_EQ(observer->count(QStringLiteral("move")), 0);
    }
    // Registering again after everyone left still delivers.
    const auto returning = std::make_shared<RecordingObserver>();
    manager->removeObserver(staying, url(renamed), false);
    manager->addObserver(returning, url(renamed), false);
    manager->internalQueue()->sync([] {});
    append(renamed, "z");
    EXPECT_TRUE(returning->waitFor(QStringLiteral("write")));
    EXPECT_EQ(absent->flags(), 0u);
    manager->removeObserver(returning, url(renamed), false);
}

TEST(FileMonitoringManager, EnclosingFoldersStayWatchedOnlyForRecursiveObservers) {
    const QString tools = testRoot() + QStringLiteral("/home/Tools");
    const QString foo = tools + QStringLiteral("/Foo.app");
    const QString bar = tools + QStringLiteral("/Bar.app");
    ASSERT_TRUE(QDir().mkpath(foo) && QDir().mkpath(bar));
    const auto manager = BRFileMonitoringManager::defaultMonitor();
    const auto leaving = std::make_shared<RecordingObserver>();
    const auto itemOnly = std::make_shared<RecordingObserver>();
    const auto sentinel = std::make_shared<RecordingObserver>();
    manager->addObserver(leaving, url(foo), true);
    manager->addObserver(itemOnly, url(foo), false);
    manager->addObserver(sentinel, url(bar), true);
    manager->removeObserver(leaving, url(foo), true);
    manager->internalQueue()->sync([] {});

    // Once the last recursive observer of Foo.app has left, a move of its
    // folder is no news for an observer of the item alone.
    ASSERT_TRUE(QDir().rename(tools, testRoot() + QStringLiteral("/home/Apps")));
    ASSERT_TRUE(sentinel->waitFor(QStringLiteral("move")));
    EXPECT_FALSE(testing_support::waitUntil([&] { return itemOnly->count(QStringLiteral("move")) > 0; },
                                            std::chrono::seconds(1)));
    EXPECT_EQ(leaving->count(QStringLiteral("move")), 0);
    manager->removeObserver(itemOnly, url(testRoot() + QStringLiteral("/home/Apps/Foo.app")), false);
    manager->removeObserver(sentinel, url(testRoot() + QStringLiteral("/home/Apps/Bar.app")), true);
}
