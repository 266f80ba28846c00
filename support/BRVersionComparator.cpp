#include "BRVersionComparator.h"

#include <algorithm>

namespace {

using CharacterType = BRVersionComparator::CharacterType;

int sign(int value) {
    return (value > 0) - (value < 0);
}

// The digits as ASCII without leading zeros, so that runs of any length (and
// of any script's digits) compare by value without overflowing.
QByteArray significantDigits(const QString& number) {
    QByteArray digits;
    for (const char32_t c : number.toUcs4()) {
        const int value = QChar::digitValue(c);
        if (value > 0 || !digits.isEmpty()) {
            digits += char('0' + value);
        }
    }
    return digits;
}

int compareNumbers(const QString& a, const QString& b) {
    const QByteArray x = significantDigits(a);
    const QByteArray y = significantDigits(b);
    if (x.size() != y.size()) {
        return x.size() < y.size() ? -1 : 1;
    }
    return sign(x.compare(y));
}

int compareTokens(const QString& a, const QString& b) {
    const CharacterType kindA = BRVersionComparator::typeOfCharacter(a);
    const CharacterType kindB = BRVersionComparator::typeOfCharacter(b);
    if (kindA == kindB) {
        switch (kindA) {
        case CharacterType::Number:
            return compareNumbers(a, b);
        case CharacterType::Text:
            return sign(a.compare(b));
        case CharacterType::Separator:
        case CharacterType::Wildcard:
            return 0;
        }
    }
    // The kinds differ: wildcard > number > separator > text, so that letters
    // where the other version goes on with ".0" mark a pre-release.
    for (const CharacterType kind :
         {CharacterType::Wildcard, CharacterType::Number, CharacterType::Separator}) {
        if (kindA == kind) {
            return 1;
        }
        if (kindB == kind) {
            return -1;
        }
    }
    return 0;
}

} // namespace

BRVersionComparator::CharacterType BRVersionComparator::typeOfCharacter(const QString& character) {
    if (character == u".") {
        return Separator;
    }
    if (character == u"*") {
        return Wildcard;
    }
    const QList<uint> codePoints = character.toUcs4();
    if (std::any_of(codePoints.cbegin(), codePoints.cend(), [](uint c) { return QChar::isDigit(c); })) {
        return Number;
    }
    if (std::any_of(codePoints.cbegin(), codePoints.cend(), [](uint c) { return QChar::isPunct(c); })) {
        return Separator;
    }
    return Text;
}

QStringList BRVersionComparator::splitVersionString(const QString& version) {
    const QString text = version.trimmed();
    QStringList tokens;
    QString token;
    CharacterType previous = Text;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        const QString character = text.mid(i, length);
        const CharacterType type = typeOfCharacter(character);
        // Separators stand alone; digits and letters gather into runs.
        if (!token.isEmpty() && type == previous && previous != Separator) {
            token += character;
        } else {
            if (!token.isEmpty()) {
                tokens << token;
            }
            token = character;
        }
        previous = type;
        i += length;
    }
    if (!token.isEmpty()) {
        tokens << token;
    }
    return tokens;
}

int BRVersionComparator::compareVersion(const QString& first, const QString& second) {
    QStringList a = splitVersionString(first.toLower());
    QStringList b = splitVersionString(second.toLower());
    const qsizetype count = std::max(a.size(), b.size());
    // Missing parts are ".0": "1" is "1.0" is "1.0.0".
    QStringList& shorter = a.size() < b.size() ? a : b;
    while (shorter.size() < count) {
        shorter << QStringLiteral(".") << QStringLiteral("0");
    }
    for (qsizetype i = 0; i < count; ++i) {
        if (const int order = compareTokens(a[i], b[i]); order != 0) {
            return order;
        }
    }
    return 0;
}

int compareVersion(const QString& version, const QString& other) {
    return BRVersionComparator::compareVersion(version, other);
}
