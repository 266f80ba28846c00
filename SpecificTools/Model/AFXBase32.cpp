#include "AFXBase32.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";

int valueOfDigit(QChar c) {
    const char16_t u = c.toUpper().unicode();
    if (u >= u'A' && u <= u'Z') {
        return u - u'A';
    }
    if (u >= u'2' && u <= u'7') {
        return u - u'2' + 26;
    }
    return -1;
}

} // namespace

QString afx_base32EncodedString(const QByteArray& data) {
    QString text;
    text.reserve((data.size() + 4) / 5 * 8);
    std::uint64_t buffer = 0;
    int bits = 0;
    for (const char byte : data) {
        buffer = (buffer << 8) | static_cast<unsigned char>(byte);
        bits += 8;
        while (bits >= 5) {
            bits -= 5;
            text.append(QLatin1Char(kAlphabet[(buffer >> bits) & 0x1f]));
        }
    }
    if (bits > 0) {
        text.append(QLatin1Char(kAlphabet[(buffer << (5 - bits)) & 0x1f]));
    }
    while (text.size() % 8 != 0) {
        text.append(QLatin1Char('='));
    }
    return text;
}

std::optional<QByteArray> afx_base32DecodedData(const QString& text) {
    if (text.size() % 8 != 0) {
        return std::nullopt;
    }
    qsizetype digits = text.size();
    while (digits > 0 && text.at(digits - 1) == QLatin1Char('=')) {
        --digits;
    }
    // The only digit counts a final group can have: 8, 7, 5, 4 or 2.
    const qsizetype inLastGroup = digits % 8;
    if (inLastGroup == 1 || inLastGroup == 3 || inLastGroup == 6 || text.size() - digits > 6) {
        return std::nullopt;
    }
    QByteArray data;
    data.reserve(digits * 5 / 8);
    std::uint64_t buffer = 0;
    int bits = 0;
    for (qsizetype i = 0; i < digits; ++i) {
        const int value = valueOfDigit(text.at(i));
        if (value < 0) {
            return std::nullopt;
        }
        buffer = (buffer << 5) | static_cast<std::uint64_t>(value);
        bits += 5;
        if (bits >= 8) {
            bits -= 8;
            data.append(static_cast<char>((buffer >> bits) & 0xff));
        }
    }
    // The bits left over are padding and must be zero.
    if ((buffer & ((std::uint64_t{1} << bits) - 1)) != 0) {
        return std::nullopt;
    }
    return data;
}
