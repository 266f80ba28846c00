#pragma once

#include "platform/DispatchQueue.h"
#include "platform/DispatchSource.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

struct sqlite3;

// Keeps a Launchpad database of the apps in the applications folders: an
// app in a subfolder is filed into the group named after the first
// subfolder below the applications folder; other apps hang on the root
// page. It watches the folders (and the bundles, whose contents may still
// be arriving) and writes the database again, in one transaction, whenever
// what it finds has changed. The database runs in write-ahead-log mode.
//
// Everything runs on the indexer's queue.
class LaunchpadIndexer : public std::enable_shared_from_this<LaunchpadIndexer> {
public:
    // Indexes `folders` into the database file at `databasePath`.
    static std::shared_ptr<LaunchpadIndexer> make(QStringList folders, QString databasePath);
    ~LaunchpadIndexer();
    LaunchpadIndexer(const LaunchpadIndexer&) = delete;
    LaunchpadIndexer& operator=(const LaunchpadIndexer&) = delete;

    // Opens the database, makes its tables and indexes once; false when the
    // database cannot be opened.
    bool start();
    // Closes the database (after which the write-ahead log is merged into it).
    void stop();

private:
    struct App {
        QString title;
        QString bundleID;
        QString group;
        bool operator==(const App&) const = default;
    };

    LaunchpadIndexer(QStringList folders, QString databasePath);
    void scheduleScan();
    void scan();
    void visit(const QString& folder, const QString& group, QList<App>& apps, QStringList& watched);
    bool write(const QList<App>& apps);
    bool execute(const QString& sql);

    const QStringList folders_;
    const QString databasePath_;
    const std::shared_ptr<platform::DispatchQueue> queue_;
    // On the queue.
    sqlite3* database_ = nullptr;
    bool scanPending_ = false;
    QList<App> indexed_;
    bool written_ = false;
    QList<std::shared_ptr<platform::DispatchSource>> sources_;
};
