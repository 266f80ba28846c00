#pragma once

#include "BRLogFlag.h"
#include "BRLogger.h"
#include "platform/StringFormat.h"

#include <QList>
#include <QString>

#include <memory>

// The leveled logging facade. A message whose level does not enable its flag
// is dropped at the call; so is every message while no sink is registered.
// Messages pass through one logging queue to every sink in order;
// a synchronous call returns once every sink has written its line.
class BRLog {
public:
    // The one entry point: the format (see platform/StringFormat.h) is
    // applied to the arguments only when the message is not dropped.
    template <typename... Args>
    static void log(bool asynchronous, BRLogLevel level, BRLogFlag flag, long context, const char* file,
                    const char* function, int line, const QString& tag, const QString& format,
                    const Args&... args) {
        if ((static_cast<unsigned>(level) & static_cast<unsigned>(flag)) == 0 || !hasLoggers()) {
            return;
        }
        logMessage(asynchronous, level, flag, context, file, function, line, tag,
                   platform::stringWithFormat(format, args...));
    }
    // The same with the text already made.
    static void logMessage(bool asynchronous, BRLogLevel level, BRLogFlag flag, long context,
                           const char* file, const char* function, int line, const QString& tag,
                           const QString& message);

    static void addLogger(std::shared_ptr<BRLogger> logger);
    static void removeAllLoggers();
    static QList<std::shared_ptr<BRLogger>> allLoggers();
    static bool hasLoggers();
    // Waits until every message logged so far has been written.
    static void flushLog();
};

// Call-site macros: the framework logs at the verbose level, so every flag is
// enabled. Errors are written synchronously, the rest asynchronously.
#define BR_LOG_AT(async, flag, format, ...)                                                                  \
    BRLog::log(async, BRLogLevelVerbose, flag, 0, __FILE__, __func__, __LINE__, QString(),                   \
               QStringLiteral(format) __VA_OPT__(, ) __VA_ARGS__)
#define BRLogError(format, ...) BR_LOG_AT(false, BRLogFlagError, format __VA_OPT__(, ) __VA_ARGS__)
#define BRLogWarn(format, ...) BR_LOG_AT(true, BRLogFlagWarning, format __VA_OPT__(, ) __VA_ARGS__)
#define BRLogInfo(format, ...) BR_LOG_AT(true, BRLogFlagInfo, format __VA_OPT__(, ) __VA_ARGS__)
#define BRLogDebug(format, ...) BR_LOG_AT(true, BRLogFlagDebug, format __VA_OPT__(, ) __VA_ARGS__)
#define BRLogVerbose(format, ...) BR_LOG_AT(true, BRLogFlagVerbose, format __VA_OPT__(, ) __VA_ARGS__)
