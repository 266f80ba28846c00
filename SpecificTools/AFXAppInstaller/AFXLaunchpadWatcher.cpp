#include "AFXLaunchpadWatcher.h"

#include "platform/Paths.h"
#include "support/BRAssertions.h"
#include "support/BRDispatch.h"
#include "support/BRSQLite.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

#include <chrono>

namespace {

// Tells the watcher of database writes without the monitors (which hold
// their observers) keeping the watcher alive.
class DatabaseWriteForwarder : public BRFileObserver {
public:
    explicit DatabaseWriteForwarder(std::weak_ptr<AFXLaunchpadWatcher> watcher)
        : watcher_(std::move(watcher)) {}
    void didWriteToFileAtURL(const BRFileReferenceURL& url) override {
        if (auto watcher = watcher_.lock()) {
            watcher->didWriteToFileAtURL(url);
        }
    }

private:
    const std::weak_ptr<AFXLaunchpadWatcher> watcher_;
};

// Values go into the query text as SQL string literals.
QString quoted(QString text) {
    return text.replace(QLatin1Char('\''), QStringLiteral("''"));
}

bool tablePasses(const QString& table, const QString& sql) {
    if (table == QLatin1String("items")) {
        return sql.contains(QLatin1String("rowid integer primary key")) &&
               sql.contains(QLatin1String("parent_id integer"));
    }
    if (table == QLatin1String("apps")) {
        return sql.contains(QLatin1String("item_id integer primary key")) &&
               (sql.contains(QLatin1String("bundleid varchar")) ||
                sql.contains(QLatin1String("bundleid text")));
    }
    if (table == QLatin1String("groups")) {
        return sql.contains(QLatin1String("item_id integer primary key")) &&
               (sql.contains(QLatin1String("title varchar")) || sql.contains(QLatin1String("title text")));
    }
    return false;
}

std::optional<std::int64_t> firstItemID(sqlite3* database, const QString& sql, const QString& column) {
    const QList<BRSQLiteRow> rows = BRSQLiteExecuteQuery(database, sql);
    if (rows.isEmpty()) {
        return std::nullopt;
    }
    return rows.first().value(column).toInteger();
}

} // namespace

std::shared_ptr<AFXLaunchpadWatcher> AFXLaunchpadWatcher::make() {
    return std::shared_ptr<AFXLaunchpadWatcher>(new AFXLaunchpadWatcher);
}

AFXLaunchpadWatcher::AFXLaunchpadWatcher()
    : internalQueue_(BRBuildInternalDispatchQueue(QStringLiteral("launchpad-watcher-queue"))) {}

AFXLaunchpadWatcher::~AFXLaunchpadWatcher() {
    // Nothing else can reach the watcher any more, so its queue is not needed.
    if (checkTimer_) {
        checkTimer_->cancel();
    }
}

QString AFXLaunchpadWatcher::launchpadDatabaseSearchFolder() {
    if (!platform::Paths::root().isEmpty()) {
        return QFileInfo(platform::Paths::temporaryDirectory()).path();
    }
    return platform::Paths::runtimeDirectory();
}

QString AFXLaunchpadWatcher::launchpadDatabasePathSuffix() {
    return QStringLiteral("com.apple.dock.launchpad/db/db");
}

QUrl AFXLaunchpadWatcher::launchpadDatabaseURL() {
    static const QUrl url = [] {
        // Unreadable folders are skipped and the walk goes on.
        QDirIterator entries(launchpadDatabaseSearchFolder(),
                             QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
        while (entries.hasNext()) {
            const QFileInfo entry = entries.nextFileInfo();
            if (entry.filePath().endsWith(launchpadDatabasePathSuffix()) && entry.isReadable()) {
                return QUrl::fromLocalFile(entry.filePath());
            }
        }
        return QUrl();
    }();
    return url;
}

bool AFXLaunchpadWatcher::canWatchLaunchpadDatabase() {
    static const bool canWatch = [] {
        sqlite3* database = BRSQLiteOpenDatabase(launchpadDatabaseURL());
        if (!database) {
            return false;
        }
        bool items = false;
        bool apps = false;
        bool groups = false;
        for (const BRSQLiteRow& row : BRSQLiteExecuteQuery(
                 database, QStringLiteral("SELECT tbl_name, sql FROM sqlite_master WHERE type IS 'table'"))) {
            const QString table = row.value(QStringLiteral("tbl_name")).toString();
            const bool passes = tablePasses(table, row.value(QStringLiteral("sql")).toString().toLower());
            items = items || (table == QLatin1String("items") && passes);
            apps = apps || (table == QLatin1String("apps") && passes);
            groups = groups || (table == QLatin1String("groups") && passes);
        }
        BRSQLiteCloseDatabase(database);
        return items && apps && groups;
    }();
    return canWatch;
}

std::optional<QString> AFXLaunchpadWatcher::launchpadGroupThatCanBeCreatedForAppURL(const QUrl& appURL) {
    const QString applications = QDir::cleanPath(platform::Paths::resolve(QStringLiteral("/Applications")));
    const QString parent = QFileInfo(QDir::cleanPath(appURL.toLocalFile())).path();
    if (!parent.startsWith(applications + QLatin1Char('/'))) {
        return std::nullopt;
    }
    const QString group = parent.mid(applications.size() + 1).section(QLatin1Char('/'), 0, 0);
    return group.isEmpty() ? std::nullopt : std::optional<QString>(group);
}

void AFXLaunchpadWatcher::watchForAppAppearance(const QUrl& appURL, const QString& groupTitle, double seconds,
                                                std::function<void(long result)> completionHandler) {
    if (!canWatchLaunchpadDatabase()) {
        completionHandler(ResultCannotWatch);
        return;
    }
    platform::DispatchQueue::global(platform::QualityOfService::Utility)
        ->async([self = shared_from_this(), appURL, groupTitle, seconds, completionHandler] {
            auto group = platform::DispatchGroup::make();
            group->enter();
            auto holder = AFXLaunchpadWatchParamsHolder::make(appURL, groupTitle, group);
            self->internalQueue_->async([self, holder] {
                self->paramsHolders_.append(holder);
                self->startWatchingLocked();
                self->checkLocked();
            });
            const bool appeared = group->wait(
                std::chrono::milliseconds(static_cast<std::int64_t>(std::max(0.0, seconds) * 1000)));
            completionHandler(appeared ? ResultAppeared : ResultTimedOut);
            self->internalQueue_->async([self, holder] {
                if (self->paramsHolders_.removeOne(holder)) {
                    holder->watchGroup()->leave();
                }
            });
        });
}

void AFXLaunchpadWatcher::checkAppearanceInGroup() {
    internalQueue_->async([weakSelf = weak_from_this()] {
        if (auto self = weakSelf.lock()) {
            self->checkLocked();
        }
    });
}

void AFXLaunchpadWatcher::didWriteToFileAtURL(const BRFileReferenceURL&) {
    checkAppearanceInGroup();
}

void AFXLaunchpadWatcher::assertOnInternalQueue() const {
    if (!internalQueue_->isCurrent()) {
        BRHandleAssertionFailure(QStringLiteral("The Launchpad watcher works on its internal queue"));
    }
}

void AFXLaunchpadWatcher::startWatchingLocked() {
    assertOnInternalQueue();
    if (checkTimer_) {
        return;
    }
    const QUrl database = launchpadDatabaseURL();
    const auto forwarder = std::make_shared<DatabaseWriteForwarder>(weak_from_this());
    for (const QUrl& url : {database, QUrl::fromLocalFile(database.toLocalFile() + QStringLiteral("-wal"))}) {
        if (auto monitor = BRFileMonitor::makeWithURL(url)) {
            monitor->addObserver(forwarder);
            fileMonitors_.append(monitor);
        }
    }
    checkTimer_ = platform::DispatchSource::makeTimer(internalQueue_);
    checkTimer_->setTimer(platform::DispatchSource::MonotonicClock::now(), std::chrono::seconds(1),
                          std::chrono::milliseconds(100));
    checkTimer_->setEventHandler([weakSelf = weak_from_this()] {
        if (auto self = weakSelf.lock()) {
            self->checkAppearanceInGroup();
        }
    });
    checkTimer_->resume();
}

void AFXLaunchpadWatcher::stopWatchingLocked() {
    assertOnInternalQueue();
    fileMonitors_.clear();
    if (checkTimer_) {
        checkTimer_->cancel();
        checkTimer_.reset();
    }
}

void AFXLaunchpadWatcher::checkLocked() {
    assertOnInternalQueue();
    if (paramsHolders_.isEmpty()) {
        stopWatchingLocked();
        return;
    }
    sqlite3* database = BRSQLiteOpenDatabase(launchpadDatabaseURL());
    if (!database) {
        return;
    }
    for (const auto& holder : QList(paramsHolders_)) {
        const auto group = firstItemID(database,
                                       QStringLiteral("SELECT item_id FROM groups WHERE instr(title, '%1')")
                                           .arg(quoted(holder->groupName())),
                                       QStringLiteral("item_id"));
        if (!group) {
            continue;
        }
        auto item = firstItemID(
            database,
            QStringLiteral("SELECT item_id FROM apps WHERE bundleid IS '%1' ORDER BY item_id DESC")
                .arg(quoted(holder->appBundleID().value_or(QStringLiteral("????")))),
            QStringLiteral("item_id"));
        if (!item) {
            continue;
        }
        std::int64_t current = *item;
        // A damaged parent chain that loops ends the walk.
        QSet<std::int64_t> visited;
        while (current != *group && current != 0 && !visited.contains(current)) {
            visited.insert(current);
            current =
                firstItemID(database,
                            QStringLiteral("SELECT parent_id FROM items WHERE rowid IS %1").arg(current),
                            QStringLiteral("parent_id"))
                    .value_or(0);
        }
        if (current == *group) {
            paramsHolders_.removeOne(holder);
            holder->watchGroup()->leave();
        }
    }
    BRSQLiteCloseDatabase(database);
}
