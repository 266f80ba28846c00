#include "BRLogLineFormatter.h"

QString BRLogLineFormatter::prefixForTag(const QString& tag) {
    QString prefix = QStringLiteral("<%1> ").arg(tag);
    while (prefix.size() < 20) {
        prefix += QLatin1Char(' ');
    }
    return prefix;
}

QString BRLogLineFormatter::formatLogMessage(const BRLogMessage& message) const {
    QString line =
        prefix_ + QStringLiteral("%1  %2").arg(
                      message.timestamp.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss:zzz")), message.message);
    if (!line.endsWith(QLatin1Char('\n'))) {
        line += QLatin1Char('\n');
    }
    return line;
}
