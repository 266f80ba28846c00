#include "HttpDates.h"

#include <QLocale>
#include <QTimeZone>

namespace {

// Day and month names must be the English ones whatever the user's locale.
const QString format = QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'");

} // namespace

QByteArray formatHttpDate(const QDateTime& time) {
    return QLocale::c().toString(time.toUTC(), format).toLatin1();
}

QDateTime parseHttpDate(const QByteArray& text) {
    QDateTime time = QLocale::c().toDateTime(QString::fromLatin1(text.trimmed()), format);
    if (time.isValid()) {
        time.setTimeZone(QTimeZone::utc());
    }
    return time;
}
