#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What the command line asks of the store.
struct StoreOptions {
    QString root;
    quint16 port = 0;
    // Empty: a temporary folder of our own, removed at exit.
    QString stateDir;
    // Where to cut successive responses, one entry per response cut.
    QList<qint64> dropAfter;
    int dropCount = 1;
    bool noLength = false;
    bool noRanges = false;
    // The most bytes one range answer covers, as servers that cap ranges do.
    std::optional<qint64> rangeLimit;
    std::optional<int> status;
    std::optional<qint64> rate;
    // Faults touch only requests whose path starts with this; empty: all.
    QString faultsUnder;
    // Where POST "/events" appends each body it receives; empty: no such route.
    QString eventsFile;
    // The store stops once this process is no longer its parent.
    std::optional<qint64> parentPid;
    bool help = false;

    // The options, or nullopt with the reason in `error`.
    static std::optional<StoreOptions> parse(const QStringList& arguments, QString* error);
    static QString usage();
};
