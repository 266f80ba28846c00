#pragma once

#include "testing/StoreProcess.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

namespace store_tests {

// What one run of curl against the store gave.
struct CurlResult {
    int exitCode = -1;
    // The body of the request for `path` (or, with -I, its head).
    QByteArray body;
    // What -w printed.
    QByteArray writeOut;
    // The status and fields of the last response received, names lower-cased.
    int status = 0;
    QList<QPair<QByteArray, QByteArray>> headers;

    std::optional<QByteArray> header(const QByteArray& lowerCaseName) const;
};

// Runs curl against the store, trusting only the store's CA. `arguments`
// come first (other URLs with their own -o may be among them, fetched
// before `path` on the same connection).
CurlResult curl(const testing_support::StoreProcess& store, const QString& path,
                const QStringList& arguments = {});

// The URL of `path` on the store.
QString storeURL(const testing_support::StoreProcess& store, const QString& path);

// A file's modification time the way HTTP writes dates.
QByteArray httpDateOfModification(const QString& path);

} // namespace store_tests
