#include "BRConsoleLogger.h"

#include <cstdio>

namespace {
const char* kindOf(BRLogFlag flag) {
    switch (flag) {
    case BRLogFlagError:
        return "error";
    case BRLogFlagWarning:
        return "warning";
    case BRLogFlagInfo:
        return "info";
    case BRLogFlagDebug:
        return "debug";
    case BRLogFlagVerbose:
        return "verbose";
    }
    return "log";
}
} // namespace

BRConsoleLogger::BRConsoleLogger() : BRLogger(QStringLiteral("console-logger")) {}

std::shared_ptr<BRConsoleLogger> BRConsoleLogger::make() {
    return std::shared_ptr<BRConsoleLogger>(new BRConsoleLogger);
}

void BRConsoleLogger::logMessage(const BRLogMessage& message) {
    QString text = formattedText(message);
    if (!logFormatter()) {
        text = QStringLiteral("%1 [%2] %3")
                   .arg(message.timestamp.toString(QStringLiteral("HH:mm:ss.zzz")),
                        QString::fromLatin1(kindOf(message.flag)), message.message);
    }
    if (!text.endsWith(QLatin1Char('\n'))) {
        text += QLatin1Char('\n');
    }
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}
