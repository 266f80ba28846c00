#include "StringFormat.h"

#include <cstdio>

namespace platform {

QString formatString(const QString& format, const Value::Array& arguments) {
    QString result;
    result.reserve(format.size() + 16 * arguments.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != QLatin1Char('%') || i + 1 >= format.size()) {
            result += c;
            continue;
        }
        // Parse "%[flags][width][.precision][length]conversion".
        const qsizetype start = i;
        qsizetype j = i + 1;
        QString directive = QStringLiteral("%");
        while (j < format.size() && QStringLiteral("-+ #0").contains(format.at(j))) {
            directive += format.at(j++);
        }
        while (j < format.size() && format.at(j).isDigit()) {
            directive += format.at(j++);
        }
        if (j < format.size() && format.at(j) == QLatin1Char('.')) {
            directive += format.at(j++);
            while (j < format.size() && format.at(j).isDigit()) {
                directive += format.at(j++);
            }
        }
        while (j < format.size() && QStringLiteral("hlqLzjt").contains(format.at(j))) {
            ++j;
        }
        if (j >= format.size()) {
            result += format.mid(i);
            break;
        }
        const char conversion = format.at(j).toLatin1();
        i = j;
        if (conversion == '%') {
            result += QLatin1Char('%');
            continue;
        }
        const bool present = next < arguments.size();
        const Value argument = present ? arguments.at(next) : Value();
        ++next;
        const QByteArray printfDirective = directive.toLatin1();
        char buffer[128];
        switch (conversion) {
        case '@':
        case 's':
        case 'S':
            // An absent or null argument prints as the platform prints nil.
            result +=
                !present || argument.isNull()
                    ? QStringLiteral("(null)")
                    : (argument.kind() == Value::Kind::String ? argument.toString() : argument.description());
            break;
        case 'd':
        case 'i':
            std::snprintf(buffer, sizeof buffer, (printfDirective + "lld").constData(),
                          static_cast<long long>(argument.toInteger()));
            result += QString::fromLatin1(buffer);
            break;
        case 'u':
        case 'x':
        case 'X':
        case 'o': {
            const QByteArray full = printfDirective + "ll" + conversion;
            std::snprintf(buffer, sizeof buffer, full.constData(),
                          static_cast<unsigned long long>(argument.toUnsigned()));
            result += QString::fromLatin1(buffer);
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G': {
            const QByteArray full = printfDirective + conversion;
            std::snprintf(buffer, sizeof buffer, full.constData(), argument.toDouble());
            result += QString::fromLatin1(buffer);
            break;
        }
        case 'c':
            result += QChar(static_cast<char16_t>(argument.toUnsigned()));
            break;
        case 'p':
            result += QStringLiteral("0x%1").arg(argument.toUnsigned(), 0, 16);
            break;
        default:
            // Not a conversion we know: kept as written, and it takes no argument.
            --next;
            result += format.mid(start, j - start + 1);
            break;
        }
    }
    return result;
}

} // namespace platform
