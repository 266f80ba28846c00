#include "LaunchServices.h"

#include "Bundle.h"
#include "DesktopEntry.h"
#include "DistributedNotificationCenter.h"
#include "Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>

#include <sqlite3.h>

namespace platform {

const QString LaunchServices::ApplicationRegisteredNotification =
    QStringLiteral("com.apple.LaunchServices.applicationRegistered");

namespace {

// A program may register a bundle and exit at once; its announcement must
// have left by then, but a stuck bus must not hold the registration up long.
constexpr std::chrono::seconds kAnnouncementTimeout{2};

// Installers, clients and trackers of several processes write the registry
// at once; a writer holds the lock for a single short statement.
constexpr int kWriterBusyTimeoutMilliseconds = 10000;
// Lookups must answer at once even while another process writes. Readers of
// a write-ahead log do not wait for writers; what still finds the registry
// busy (a writer holding it exclusively, a log being reset) gives up after
// this long and answers from the scan alone.
constexpr int kLookupBusyTimeoutMilliseconds = 100;

constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS applications ("
                                " sequence INTEGER PRIMARY KEY AUTOINCREMENT,"
                                " path TEXT NOT NULL UNIQUE,"
                                " bundle_identifier TEXT NOT NULL);"
                                "CREATE INDEX IF NOT EXISTS applications_by_identifier"
                                " ON applications (bundle_identifier, sequence);";

Error databaseError(sqlite3* db, const QString& context) {
    const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
    return Error(QStringLiteral("NSSQLiteErrorDomain"), db ? sqlite3_extended_errcode(db) : SQLITE_NOMEM,
                 {{NSLocalizedDescriptionKey, QStringLiteral("%1: %2").arg(context, message)}});
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool isValid() const { return statement_ != nullptr; }
    void bind(int index, const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(statement_, index, utf8.constData(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
    }
    // SQLITE_ROW, SQLITE_DONE or a failure.
    int step() { return sqlite3_step(statement_); }
    void reset() { sqlite3_reset(statement_); }
    QString text(int column) const {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement_, column)),
                                 sqlite3_column_bytes(statement_, column));
    }
    sqlite3_int64 number(int column) const { return sqlite3_column_int64(statement_, column); }

private:
    sqlite3_stmt* statement_ = nullptr;
};

// One connection per call: the functions are static, so there is no object
// whose queue could own a longer-lived one, and opening is cheap next to the
// file-system work around it.
class Registry {
public:
    // A connection to an existing registry, for looking (read-only) or for
    // forgetting vanished copies, that gives up quickly when busy.
    static std::unique_ptr<Registry> openExisting(bool readOnly) {
        return connect(readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE,
                       kLookupBusyTimeoutMilliseconds, nullptr);
    }

    // A connection for registering, making the registry when there is none.
    static std::unique_ptr<Registry> openForWriting(Error* error) {
        const QString path = LaunchServices::registryPath();
        if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
            if (error) {
                *error =
                    Error::posix(EACCES, QStringLiteral("Could not make the folder of \"%1\"").arg(path));
            }
            return nullptr;
        }
        auto registry =
            connect(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, kWriterBusyTimeoutMilliseconds, error);
        if (!registry) {
            return nullptr;
        }
        sqlite3* db = registry->handle();
        // Readers never wait for writers with a write-ahead log. The mode
        // stays with the file, so only its first opener switches; one that
        // loses that race to another process finds it switched already.
        sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        if (sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
            if (error) {
                *error = databaseError(db, QStringLiteral("Could not set up \"%1\"").arg(path));
            }
            return nullptr;
        }
        return registry;
    }

    ~Registry() { sqlite3_close_v2(db_); }
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    sqlite3* handle() const { return db_; }

    bool execute(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

private:
    explicit Registry(sqlite3* db) : db_(db) {}

    static std::unique_ptr<Registry> connect(int flags, int busyTimeoutMilliseconds, Error* error) {
        const QString path = LaunchServices::registryPath();
        sqlite3* db = nullptr;
        const int opened =
            sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
        std::unique_ptr<Registry> registry(new Registry(db));
        if (opened != SQLITE_OK) {
            if (error) {
                *error = databaseError(db, QStringLiteral("Could not open \"%1\"").arg(path));
            }
            return nullptr;
        }
        sqlite3_busy_timeout(db, busyTimeoutMilliseconds);
        return registry;
    }

    sqlite3* db_;
};

QString cleanAbsolutePath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool isBundleOf(const QString& path, const QString& bundleID) {
    const auto bundle = Bundle::bundleWithPath(path);
    return bundle && bundle->bundleIdentifier() == bundleID;
}

bool isApplicationName(const QString& name) {
    return name.endsWith(QLatin1String(".app"), Qt::CaseInsensitive);
}

QStringList scannedBundles() {
    QStringList bundles;
    const QDir::Filters filters = QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden;
    for (const QString& systemFolder : {QStringLiteral("/Applications"), QStringLiteral("~/Applications")}) {
        const QDir folder(Paths::resolve(systemFolder));
        for (const QString& entry : folder.entryList(filters, QDir::Name)) {
            const QString path = folder.filePath(entry);
            if (isApplicationName(entry)) {
                bundles << path;
                continue;
            }
            const QDir subfolder(path);
            for (const QString& inner : subfolder.entryList(filters, QDir::Name)) {
                if (isApplicationName(inner)) {
                    bundles << subfolder.filePath(inner);
                }
            }
        }
    }
    return bundles;
}

// The registered paths of the identifier, in registration order; null when
// the registry could not be read (busy, damaged).
std::optional<QStringList> registeredPathsOf(Registry& registry, const QString& bundleID) {
    Statement select(registry.handle(), "SELECT path FROM applications"
                                        " WHERE bundle_identifier = ?1 ORDER BY sequence");
    if (!select.isValid()) {
        return std::nullopt;
    }
    select.bind(1, bundleID);
    QStringList paths;
    int stepped;
    while ((stepped = select.step()) == SQLITE_ROW) {
        paths << select.text(0);
    }
    if (stepped != SQLITE_DONE) {
        return std::nullopt;
    }
    return paths;
}

enum class Forgetting { Always, OnlyWhileGone };

// Forgets the registrations of these paths and drops the desktop entry of
// every identifier left without a registered copy, so the desktop no longer
// lists an app that is gone. With `OnlyWhileGone`, each path is looked at
// again once the write lock is held, so a bundle put back and registered
// by another process in the meantime keeps its registration. Forgetting is
// no reason to wait: when another writer holds the registry, nothing is
// forgotten (a later lookup tidies what vanished).
void forget(const QStringList& paths, Forgetting forgetting) {
    if (paths.isEmpty()) {
        return;
    }
    const auto writable = Registry::openExisting(false);
    if (!writable || !writable->execute("BEGIN IMMEDIATE")) {
        return;
    }
    Registry& registry = *writable;
    Statement identifier(registry.handle(), "SELECT bundle_identifier FROM applications WHERE path = ?1");
    Statement remove(registry.handle(), "DELETE FROM applications WHERE path = ?1");
    Statement remaining(registry.handle(), "SELECT COUNT(*) FROM applications WHERE bundle_identifier = ?1");
    if (!identifier.isValid() || !remove.isValid() || !remaining.isValid()) {
        registry.execute("ROLLBACK");
        return;
    }
    QSet<QString> bundleIDs;
    for (const QString& path : paths) {
        if (forgetting == Forgetting::OnlyWhileGone && QFileInfo(path).isDir()) {
            continue;
        }
        identifier.bind(1, path);
        if (identifier.step() == SQLITE_ROW) {
            bundleIDs.insert(identifier.text(0));
            remove.bind(1, path);
            remove.step();
            remove.reset();
        }
        identifier.reset();
    }
    QStringList unlisted;
    for (const QString& bundleID : std::as_const(bundleIDs)) {
        remaining.bind(1, bundleID);
        if (remaining.step() == SQLITE_ROW && remaining.number(0) == 0) {
            unlisted << bundleID;
        }
        remaining.reset();
    }
    if (registry.execute("COMMIT")) {
        for (const QString& bundleID : std::as_const(unlisted)) {
            QFile::remove(DesktopEntry::pathForBundleIdentifier(bundleID));
        }
    }
}

// The registration stands without the announcement: watchers that miss it
// (no session bus, as in a bare service environment) find the copy on
// their next look.
void announce(const QString& bundleID, const QString& path) {
    const auto center = DistributedNotificationCenter::defaultCenter();
    if (center && center->postNotificationName(LaunchServices::ApplicationRegisteredNotification, bundleID,
                                               {{QStringLiteral("path"), path}}, true)) {
        center->flushPostedNotifications(kAnnouncementTimeout);
    }
}

} // namespace

QString LaunchServices::registryPath() {
    return Paths::resolve(QStringLiteral("~/Library/Application Support/LaunchServices/Registry.sqlite"));
}

QList<QUrl> LaunchServices::applicationURLsForBundleIdentifier(const QString& bundleID) {
    if (bundleID.isEmpty()) {
        return {};
    }
    QStringList candidates;
    // A registry that was never written has nothing to tell, and looking
    // should not make one; without a usable registry the scanned copies are
    // still worth answering.
    std::unique_ptr<Registry> registry;
    if (QFileInfo::exists(registryPath())) {
        registry = Registry::openExisting(true);
    }
    const auto registered = registry ? registeredPathsOf(*registry, bundleID) : std::nullopt;
    registry.reset();
    if (registered) {
        // Forgetting them keeps bundles placed in temporary folders and
        // removed again from piling up.
        QStringList vanished;
        for (const QString& path : *registered) {
            (QFileInfo(path).isDir() ? candidates : vanished) << path;
        }
        forget(vanished, Forgetting::OnlyWhileGone);
    }
    candidates << scannedBundles();

    QList<QUrl> urls;
    // One copy reached by two spellings of its path (a registration through
    // a symbolic link, both applications folders being one without a root)
    // is still one copy.
    QSet<QString> seen;
    for (const QString& candidate : std::as_const(candidates)) {
        const QString canonical = QFileInfo(candidate).canonicalFilePath();
        if (canonical.isEmpty() || seen.contains(canonical) || !isBundleOf(candidate, bundleID)) {
            continue;
        }
        seen.insert(canonical);
        urls << QUrl::fromLocalFile(candidate);
    }
    return urls;
}

bool LaunchServices::registerURL(const QUrl& bundleURL, Error* error) {
    const QString path = bundleURL.isLocalFile() ? cleanAbsolutePath(bundleURL.toLocalFile()) : QString();
    const auto bundle = path.isEmpty() ? nullptr : Bundle::bundleWithPath(path);
    if (!bundle) {
        if (error) {
            *error = Error::posix(ENOENT, QStringLiteral("No bundle at \"%1\"").arg(bundleURL.toString()));
        }
        return false;
    }
    const QString bundleID = bundle->bundleIdentifier();
    if (bundleID.isEmpty()) {
        if (error) {
            *error = Error::posix(EINVAL, QStringLiteral("The bundle at \"%1\" has no identifier").arg(path));
        }
        return false;
    }
    auto registry = Registry::openForWriting(error);
    if (!registry) {
        return false;
    }
    Statement upsert(registry->handle(), "INSERT INTO applications (path, bundle_identifier) VALUES (?1, ?2)"
                                         " ON CONFLICT (path) DO UPDATE"
                                         " SET bundle_identifier = excluded.bundle_identifier");
    if (!upsert.isValid()) {
        if (error) {
            *error = databaseError(registry->handle(), QStringLiteral("Could not register \"%1\"").arg(path));
        }
        return false;
    }
    upsert.bind(1, path);
    upsert.bind(2, bundleID);
    if (upsert.step() != SQLITE_DONE) {
        if (error) {
            *error = databaseError(registry->handle(), QStringLiteral("Could not register \"%1\"").arg(path));
        }
        return false;
    }
    // The registration stands without its desktop entry; the caller still
    // learns that the desktop will not list the bundle.
    const bool listed = DesktopEntry::writeForBundle(*bundle, error);
    announce(bundleID, path);
    return listed;
}

void LaunchServices::unregisterURL(const QUrl& bundleURL) {
    if (bundleURL.isLocalFile()) {
        forget({cleanAbsolutePath(bundleURL.toLocalFile())}, Forgetting::Always);
    }
}

} // namespace platform
