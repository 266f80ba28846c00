#include "LaunchpadIndexer.h"

#include "platform/Bundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

#include <sqlite3.h>

namespace {

constexpr unsigned long kWatchedEvents = platform::VnodeWrite | platform::VnodeDelete |
                                         platform::VnodeRename | platform::VnodeLink | platform::VnodeRevoke;

// Item kinds of the items table.
constexpr int kRootItem = 1;
constexpr int kGroupItem = 2;
constexpr int kAppItem = 4;

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS items (rowid INTEGER PRIMARY KEY ASC, type INTEGER NOT NULL, "
    "parent_id INTEGER NOT NULL, ordering INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS apps (item_id INTEGER PRIMARY KEY, title VARCHAR, bundleid VARCHAR)",
    "CREATE TABLE IF NOT EXISTS groups (item_id INTEGER PRIMARY KEY, title VARCHAR)",
};

} // namespace

std::shared_ptr<LaunchpadIndexer> LaunchpadIndexer::make(QStringList folders, QString databasePath) {
    return std::shared_ptr<LaunchpadIndexer>(
        new LaunchpadIndexer(std::move(folders), std::move(databasePath)));
}

LaunchpadIndexer::LaunchpadIndexer(QStringList folders, QString databasePath)
    : folders_(std::move(folders)), databasePath_(std::move(databasePath)),
      queue_(platform::DispatchQueue::make(QStringLiteral("launchpad-indexer"))) {}

LaunchpadIndexer::~LaunchpadIndexer() {
    if (database_) {
        sqlite3_close(database_);
    }
}

bool LaunchpadIndexer::start() {
    bool started = false;
    queue_->sync([&] {
        QDir().mkpath(QFileInfo(databasePath_).path());
        for (const QString& folder : folders_) {
            QDir().mkpath(folder);
        }
        if (sqlite3_open(QFile::encodeName(databasePath_).constData(), &database_) != SQLITE_OK) {
            std::fprintf(stderr, "launchpad: cannot open %s: %s\n", qPrintable(databasePath_),
                         sqlite3_errmsg(database_));
            return;
        }
        sqlite3_busy_timeout(database_, 5000);
        started = execute(QStringLiteral("PRAGMA journal_mode=WAL"));
        for (const char* statement : kSchema) {
            started = started && execute(QString::fromLatin1(statement));
        }
        if (started) {
            scan();
        }
    });
    return started;
}

void LaunchpadIndexer::stop() {
    queue_->sync([&] {
        sources_.clear();
        if (database_) {
            sqlite3_close(database_);
            database_ = nullptr;
        }
    });
}

bool LaunchpadIndexer::execute(const QString& sql) {
    char* message = nullptr;
    if (sqlite3_exec(database_, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "launchpad: %s: %s\n", qPrintable(sql), message ? message : "failed");
        sqlite3_free(message);
        return false;
    }
    return true;
}

void LaunchpadIndexer::scheduleScan() {
    if (scanPending_) {
        return;
    }
    scanPending_ = true;
    queue_->async([weakSelf = weak_from_this()] {
        if (auto self = weakSelf.lock()) {
            self->scanPending_ = false;
            self->scan();
        }
    });
}

void LaunchpadIndexer::scan() {
    if (!database_) {
        return;
    }
    QList<App> apps;
    QStringList watched;
    for (const QString& folder : folders_) {
        visit(folder, QString(), apps, watched);
    }
    sources_.clear();
    for (const QString& path : watched) {
        auto source = platform::DispatchSource::makeVnode(path, kWatchedEvents, queue_);
        if (!source) {
            continue;
        }
        source->setEventHandler([weakSelf = weak_from_this()] {
            if (auto self = weakSelf.lock()) {
                self->scheduleScan();
            }
        });
        source->resume();
        sources_ << source;
    }
    // What changed between the walk and the watching went unseen: walk
    // again, and once more later if that differs.
    QList<App> watchedApps;
    QStringList rewatched;
    for (const QString& folder : folders_) {
        visit(folder, QString(), watchedApps, rewatched);
    }
    if (watchedApps != apps || rewatched != watched) {
        scheduleScan();
    }
    std::sort(watchedApps.begin(), watchedApps.end(), [](const App& a, const App& b) {
        return std::tie(a.group, a.title, a.bundleID) < std::tie(b.group, b.title, b.bundleID);
    });
    if ((!written_ || watchedApps != indexed_) && write(watchedApps)) {
        indexed_ = watchedApps;
        written_ = true;
    }
}

void LaunchpadIndexer::visit(const QString& folder, const QString& group, QList<App>& apps,
                             QStringList& watched) {
    watched << folder;
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (entry.suffix() != QLatin1String("app")) {
            visit(entry.filePath(), group.isEmpty() ? entry.fileName() : group, apps, watched);
            continue;
        }
        const auto bundle = platform::Bundle::bundleWithPath(entry.filePath());
        const QString bundleID = bundle ? bundle->bundleIdentifier() : QString();
        if (!bundleID.isEmpty()) {
            apps << App{entry.completeBaseName(), bundleID, group};
            continue;
        }
        // A bundle still being copied gets its information later.
        const QString contents = entry.filePath() + QStringLiteral("/Contents");
        watched << entry.filePath() << contents << contents + QStringLiteral("/Info.plist");
    }
}

bool LaunchpadIndexer::write(const QList<App>& apps) {
    if (!execute(QStringLiteral("BEGIN IMMEDIATE"))) {
        return false;
    }
    bool written =
        execute(QStringLiteral("DELETE FROM apps")) && execute(QStringLiteral("DELETE FROM groups")) &&
        execute(QStringLiteral("DELETE FROM items")) &&
        execute(
            QStringLiteral("INSERT INTO items (rowid, type, parent_id) VALUES (1, %1, 0)").arg(kRootItem));
    QMap<QString, sqlite3_int64> groupItems;
    sqlite3_stmt* insertItem = nullptr;
    sqlite3_stmt* insertApp = nullptr;
    sqlite3_stmt* insertGroup = nullptr;
    sqlite3_prepare_v2(database_, "INSERT INTO items (type, parent_id, ordering) VALUES (?, ?, ?)", -1,
                       &insertItem, nullptr);
    sqlite3_prepare_v2(database_, "INSERT INTO apps (item_id, title, bundleid) VALUES (?, ?, ?)", -1,
                       &insertApp, nullptr);
    sqlite3_prepare_v2(database_, "INSERT INTO groups (item_id, title) VALUES (?, ?)", -1, &insertGroup,
                       nullptr);
    const auto addItem = [&](int type, sqlite3_int64 parent, int ordering) -> sqlite3_int64 {
        sqlite3_reset(insertItem);
        sqlite3_bind_int(insertItem, 1, type);
        sqlite3_bind_int64(insertItem, 2, parent);
        sqlite3_bind_int(insertItem, 3, ordering);
        return sqlite3_step(insertItem) == SQLITE_DONE ? sqlite3_last_insert_rowid(database_) : 0;
    };
    const auto bindText = [](sqlite3_stmt* statement, int index, const QString& text) {
        sqlite3_bind_text(statement, index, text.toUtf8().constData(), -1, SQLITE_TRANSIENT);
    };
    written = written && insertItem && insertApp && insertGroup;
    int ordering = 0;
    for (const App& app : apps) {
        if (!written) {
            break;
        }
        sqlite3_int64 parent = 1;
        if (!app.group.isEmpty()) {
            if (!groupItems.contains(app.group)) {
                const sqlite3_int64 groupItem = addItem(kGroupItem, 1, static_cast<int>(groupItems.size()));
                sqlite3_reset(insertGroup);
                sqlite3_bind_int64(insertGroup, 1, groupItem);
                bindText(insertGroup, 2, app.group);
                written = groupItem != 0 && sqlite3_step(insertGroup) == SQLITE_DONE;
                groupItems.insert(app.group, groupItem);
            }
            parent = groupItems.value(app.group);
        }
        const sqlite3_int64 appItem = addItem(kAppItem, parent, ordering++);
        sqlite3_reset(insertApp);
        sqlite3_bind_int64(insertApp, 1, appItem);
        bindText(insertApp, 2, app.title);
        bindText(insertApp, 3, app.bundleID);
        written = written && appItem != 0 && sqlite3_step(insertApp) == SQLITE_DONE;
    }
    sqlite3_finalize(insertItem);
    sqlite3_finalize(insertApp);
    sqlite3_finalize(insertGroup);
    if (!written) {
        std::fprintf(stderr, "launchpad: cannot write the database: %s\n", sqlite3_errmsg(database_));
        execute(QStringLiteral("ROLLBACK"));
        return false;
    }
    return execute(QStringLiteral("COMMIT"));
}
