#pragma once

#include "BRLogFlag.h"

#include <QDateTime>
#include <QString>

// One line handed to the sinks.
struct BRLogMessage {
    QString message;
    BRLogLevel level = BRLogLevelVerbose;
    BRLogFlag flag = BRLogFlagInfo;
    long context = 0;
    QString file;
    QString function;
    int line = 0;
    QString tag;
    QDateTime timestamp;
    bool asynchronous = true;
};
