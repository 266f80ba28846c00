#include "KeyedArchiveFormat.h"

#include <cstdio>

namespace platform::KeyedArchiveFormat {

namespace {

constexpr std::int64_t MillisecondsPerDay = 86400000;
// The last millisecond of year 9999: up to there a date has four year digits.
constexpr std::int64_t LastFourDigitYearMilliseconds = 253402300799999;
// Days from 0000-03-01, where the 400-year eras of the calendar start, to 1970-01-01.
constexpr std::int64_t EraStartToEpochDays = 719468;
constexpr std::int64_t DaysPerEra = 146097;

void putDigits(char* at, int value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        at[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

// The value of `count` decimal digits, or -1.
int digits(QStringView text, qsizetype at, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char16_t c = text[at + i].unicode();
        if (c < u'0' || c > u'9') {
            return -1;
        }
        value = value * 10 + (c - u'0');
    }
    return value;
}

bool isLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

} // namespace

// Dates from 1970 to 9999 (nearly all) skip the calendar classes too: the
// civil date comes straight from the day count, in 400-year eras.
QByteArray dateText(const QDateTime& date) {
    const std::int64_t milliseconds = date.toMSecsSinceEpoch();
    if (milliseconds < 0 || milliseconds > LastFourDigitYearMilliseconds) {
        const QDateTime utc = date.toUTC();
        const QDate day = utc.date();
        const QTime time = utc.time();
        char text[40];
        const int length =
            std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", day.year(), day.month(),
                          day.day(), time.hour(), time.minute(), time.second(), time.msec());
        return QByteArray(text, length);
    }
    const std::int64_t days = milliseconds / MillisecondsPerDay;
    const auto ofDay = static_cast<int>(milliseconds % MillisecondsPerDay);
    const std::int64_t shifted = days + EraStartToEpochDays;
    const std::int64_t era = shifted / DaysPerEra;
    const auto dayOfEra = static_cast<int>(shifted - era * DaysPerEra);
    const int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int monthFromMarch = (5 * dayOfYear + 2) / 153;
    const int day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    const int month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    const int year = static_cast<int>(yearOfEra + era * 400) + (month <= 2 ? 1 : 0);

    QByteArray text(24, Qt::Uninitialized);
    char* out = text.data();
    putDigits(out, year, 4);
    out[4] = '-';
    putDigits(out + 5, month, 2);
    out[7] = '-';
    putDigits(out + 8, day, 2);
    out[10] = 'T';
    putDigits(out + 11, ofDay / 3600000, 2);
    out[13] = ':';
    putDigits(out + 14, ofDay / 60000 % 60, 2);
    out[16] = ':';
    putDigits(out + 17, ofDay / 1000 % 60, 2);
    out[19] = '.';
    putDigits(out + 20, ofDay % 1000, 3);
    out[23] = 'Z';
    return text;
}

std::optional<QDateTime> dateFromText(QStringView text) {
    static constexpr char16_t Pattern[] = u"0000-00-00T00:00:00.000Z";
    if (text.size() != 24) {
        return std::nullopt;
    }
    for (qsizetype i = 0; i < 24; ++i) {
        if (Pattern[i] != u'0' && text[i].unicode() != Pattern[i]) {
            return std::nullopt;
        }
    }
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    const int millisecond = digits(text, 20, 3);
    static constexpr int DaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1970 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        day > DaysInMonth[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0)) {
        return std::nullopt;
    }
    // The civil date to a day count, in 400-year eras starting in March.
    const int marchYear = month <= 2 ? year - 1 : year;
    const int era = marchYear / 400;
    const int yearOfEra = marchYear - era * 400;
    const int dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = std::int64_t(era) * DaysPerEra + dayOfEra - EraStartToEpochDays;
    const std::int64_t milliseconds =
        days * MillisecondsPerDay + ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
    return QDateTime::fromMSecsSinceEpoch(milliseconds, Qt::UTC);
}

} // namespace platform::KeyedArchiveFormat
