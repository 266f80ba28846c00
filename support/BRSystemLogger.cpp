#include "BRSystemLogger.h"

#include <syslog.h>

BRSystemLogger::BRSystemLogger() : BRLogger(QStringLiteral("system-logger")) {}

std::shared_ptr<BRSystemLogger> BRSystemLogger::make() {
    return std::shared_ptr<BRSystemLogger>(new BRSystemLogger);
}

void BRSystemLogger::logMessage(const BRLogMessage& message) {
    int priority = LOG_INFO;
    switch (message.flag) {
    case BRLogFlagError:
        priority = LOG_ERR;
        break;
    case BRLogFlagWarning:
        priority = LOG_WARNING;
        break;
    case BRLogFlagInfo:
        priority = LOG_INFO;
        break;
    case BRLogFlagDebug:
    case BRLogFlagVerbose:
        priority = LOG_DEBUG;
        break;
    }
    syslog(LOG_USER | priority, "%s", formattedText(message).toUtf8().constData());
}
