#include "BRSQLite.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>
#include <syslog.h>

namespace {

void setError(platform::Error* error, std::int64_t code, const QString& description = {}) {
    if (error) {
        platform::Value::Dictionary userInfo;
        if (!description.isEmpty()) {
            userInfo.insert(platform::NSLocalizedDescriptionKey, description);
        }
        *error = platform::Error(BRSQLiteErrorDomain, code, userInfo);
    }
}

QString describeFailure(sqlite3* database, int code) {
    return QStringLiteral("%1 - %2").arg(code).arg(QString::fromUtf8(sqlite3_errmsg(database)));
}

platform::Value columnValue(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return static_cast<std::int64_t>(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(statement, column);
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                                 sqlite3_column_bytes(statement, column));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, column)),
                          sqlite3_column_bytes(statement, column));
    default:
        return nullptr;
    }
}

} // namespace

sqlite3* BRSQLiteOpenDatabase(const QUrl& url, platform::Error* error) {
    const QString path = url.toLocalFile();
    const QFileInfo file(path);
    if (path.isEmpty() || !file.exists()) {
        setError(error, BRSQLiteErrorFileDoesNotExist);
        return nullptr;
    }
    if (!file.isReadable()) {
        setError(error, BRSQLiteErrorFileIsNotReadable);
        return nullptr;
    }
    sqlite3* database = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &database) != SQLITE_OK) {
        // SQLite hands out a handle even when opening fails; it must be closed.
        sqlite3_close(database);
        setError(error, BRSQLiteErrorCannotOpen);
        return nullptr;
    }
    return database;
}

QList<BRSQLiteRow> BRSQLiteExecuteQuery(sqlite3* database, const QString& sql, platform::Error* error) {
    sqlite3_stmt* statement = nullptr;
    const QByteArray text = sql.toUtf8();
    const int prepared =
        sqlite3_prepare_v2(database, text.constData(), static_cast<int>(text.size()), &statement, nullptr);
    if (prepared != SQLITE_OK) {
        setError(error, BRSQLiteErrorCannotPrepare, describeFailure(database, prepared));
        sqlite3_finalize(statement);
        return {};
    }
    const int columns = sqlite3_column_count(statement);
    QStringList names;
    for (int column = 0; column < columns; ++column) {
        const char* name = sqlite3_column_name(statement, column);
        names << (name ? QString::fromUtf8(name) : QStringLiteral("Undefined-%1").arg(column));
    }
    QList<BRSQLiteRow> rows;
    int stepped = SQLITE_ROW;
    while ((stepped = sqlite3_step(statement)) == SQLITE_ROW) {
        BRSQLiteRow row;
        for (int column = 0; column < columns; ++column) {
            row.insert(names[column], columnValue(statement, column));
        }
        rows << row;
    }
    if (stepped != SQLITE_DONE) {
        setError(error, BRSQLiteErrorCannotStep, describeFailure(database, stepped));
    }
    sqlite3_finalize(statement);
    return rows;
}

bool BRSQLiteCloseDatabase(sqlite3* database) {
    int closed = sqlite3_close(database);
    if (closed == SQLITE_BUSY || closed == SQLITE_LOCKED) {
        while (sqlite3_stmt* statement = sqlite3_next_stmt(database, nullptr)) {
            syslog(LOG_USER | LOG_WARNING, "Closing leaked statement");
            sqlite3_finalize(statement);
        }
        closed = sqlite3_close(database);
    }
    return closed == SQLITE_OK;
}
