#pragma once

#include "platform/Error.h"
#include "platform/Value.h"

#include <QList>
#include <QUrl>

struct sqlite3;

// A small layer over SQLite for reading other programs' databases.

inline const QString BRSQLiteErrorDomain = QStringLiteral("com.brindle.BRSQLiteErrorDomain");

enum : std::int64_t {
    BRSQLiteErrorFileDoesNotExist = 1,
    BRSQLiteErrorFileIsNotReadable = 2,
    BRSQLiteErrorCannotOpen = 3,
    BRSQLiteErrorCannotPrepare = 4,
    BRSQLiteErrorCannotStep = 5,
};

using BRSQLiteRow = platform::Value::Dictionary;

// Opens the database file at a file URL; null with the error when it is
// missing, unreadable or cannot be opened.
sqlite3* BRSQLiteOpenDatabase(const QUrl& url, platform::Error* error = nullptr);
// Runs one statement and answers its rows, column name → value (integers,
// doubles, UTF-8 texts, data; null for NULL). A statement that cannot be
// prepared answers nothing; one that fails while stepping answers the rows
// read before the failure, with the error.
QList<BRSQLiteRow> BRSQLiteExecuteQuery(sqlite3* database, const QString& sql,
                                        platform::Error* error = nullptr);
// Closes the database, finalising statements left open when it is busy.
bool BRSQLiteCloseDatabase(sqlite3* database);
