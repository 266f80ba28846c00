#pragma once

#include <QString>

#include <cstdint>

// The integer the text starts with, read the platform's lenient way:
// leading white space and a sign are allowed, reading stops at the first
// non-digit, and text without digits is 0 ("5beta" is 5, "b2" is 0).
inline std::int64_t AFXIntegerValue(const QString& text) {
    qsizetype position = 0;
    while (position < text.size() && text.at(position).isSpace()) {
        ++position;
    }
    bool negative = false;
    if (position < text.size() &&
        (text.at(position) == QLatin1Char('-') || text.at(position) == QLatin1Char('+'))) {
        negative = text.at(position) == QLatin1Char('-');
        ++position;
    }
    std::int64_t value = 0;
    for (; position < text.size() && text.at(position) >= QLatin1Char('0') &&
           text.at(position) <= QLatin1Char('9');
         ++position) {
        if (value > (INT64_MAX - 9) / 10) {
            return negative ? INT64_MIN : INT64_MAX;
        }
        value = value * 10 + (text.at(position).unicode() - '0');
    }
    return negative ? -value : value;
}
