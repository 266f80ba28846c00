#include "StringsTable.h"

#include <QStringDecoder>

namespace platform {

namespace {

class Parser {
public:
    explicit Parser(QString text) : text_(std::move(text)) {}

    std::optional<QHash<QString, QString>> parse(QString* problem) {
        QHash<QString, QString> table;
        for (;;) {
            skipSpaceAndComments();
            if (atEnd()) {
                return table;
            }
            const auto key = token();
            if (!key) {
                return fail(problem, QStringLiteral("expected a key"));
            }
            skipSpaceAndComments();
            if (peek() == QLatin1Char(';')) {
                ++pos_;
                table.insert(*key, *key);
                continue;
            }
            if (peek() != QLatin1Char('=')) {
                return fail(problem, QStringLiteral("expected '=' after key \"%1\"").arg(*key));
            }
            ++pos_;
            skipSpaceAndComments();
            const auto value = token();
            if (!value) {
                return fail(problem, QStringLiteral("expected a value for key \"%1\"").arg(*key));
            }
            skipSpaceAndComments();
            if (peek() != QLatin1Char(';')) {
                return fail(problem, QStringLiteral("expected ';' after the value of key \"%1\"").arg(*key));
            }
            ++pos_;
            table.insert(*key, *value);
        }
    }

private:
    bool atEnd() const { return pos_ >= text_.size(); }
    QChar peek() const { return atEnd() ? QChar() : text_.at(pos_); }

    std::optional<QHash<QString, QString>> fail(QString* problem, const QString& what) {
        int line = 1;
        for (qsizetype i = 0; i < pos_ && i < text_.size(); ++i) {
            line += text_.at(i) == QLatin1Char('\n');
        }
        *problem = QStringLiteral("%1 on line %2").arg(what).arg(line);
        return std::nullopt;
    }

    void skipSpaceAndComments() {
        while (!atEnd()) {
            if (peek().isSpace()) {
                ++pos_;
            } else if (text_.mid(pos_, 2) == QLatin1String("/*")) {
                const qsizetype end = text_.indexOf(QLatin1String("*/"), pos_ + 2);
                pos_ = end < 0 ? text_.size() : end + 2;
            } else if (text_.mid(pos_, 2) == QLatin1String("//")) {
                const qsizetype end = text_.indexOf(QLatin1Char('\n'), pos_);
                pos_ = end < 0 ? text_.size() : end + 1;
            } else {
                return;
            }
        }
    }

    static bool isOctal(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('7'); }

    static bool isBareCharacter(QChar c) {
        return c.isLetterOrNumber() || QStringLiteral("_.-$:/").contains(c);
    }

    std::optional<QString> token() {
        if (peek() == QLatin1Char('"')) {
            return quoted();
        }
        const qsizetype start = pos_;
        while (!atEnd() && isBareCharacter(peek())) {
            ++pos_;
        }
        if (pos_ == start) {
            return std::nullopt;
        }
        return text_.mid(start, pos_ - start);
    }

    std::optional<QString> quoted() {
        ++pos_;
        QString out;
        while (!atEnd()) {
            const QChar c = text_.at(pos_++);
            if (c == QLatin1Char('"')) {
                return out;
            }
            if (c != QLatin1Char('\\')) {
                out += c;
                continue;
            }
            if (atEnd()) {
                return std::nullopt;
            }
            const QChar e = text_.at(pos_++);
            switch (e.unicode()) {
            case 'n':
                out += QLatin1Char('\n');
                break;
            case 't':
                out += QLatin1Char('\t');
                break;
            case 'r':
                out += QLatin1Char('\r');
                break;
            case 'U':
            case 'u': {
                bool ok = false;
                const uint code = text_.mid(pos_, 4).toUInt(&ok, 16);
                if (!ok) {
                    return std::nullopt;
                }
                pos_ += 4;
                out += QChar(static_cast<char16_t>(code));
                break;
            }
            default:
                if (isOctal(e)) {
                    const qsizetype start = pos_ - 1;
                    qsizetype end = pos_;
                    while (end - start < 3 && end < text_.size() && isOctal(text_.at(end))) {
                        ++end;
                    }
                    out += QChar(static_cast<char16_t>(text_.mid(start, end - start).toUInt(nullptr, 8)));
                    pos_ = end;
                } else {
                    out += e;
                }
            }
        }
        return std::nullopt;
    }

    const QString text_;
    qsizetype pos_ = 0;
};

QString decode(const QByteArray& data) {
    if (data.startsWith("\xff\xfe") || data.startsWith("\xfe\xff")) {
        // The decoder reads the byte order from the mark and drops it.
        auto decoder = QStringDecoder(QStringDecoder::Utf16);
        return decoder(data);
    }
    QString text = QString::fromUtf8(data);
    if (text.startsWith(QChar(0xfeff))) {
        text.remove(0, 1);
    }
    return text;
}

} // namespace

std::optional<QHash<QString, QString>> StringsTable::parse(const QByteArray& data, Error* error) {
    QString problem;
    Parser parser(decode(data));
    auto table = parser.parse(&problem);
    if (!table && error) {
        *error = Error(
            NSCocoaErrorDomain, 3840,
            {{NSLocalizedDescriptionKey, QStringLiteral("The string table is malformed: %1").arg(problem)}});
    }
    return table;
}

} // namespace platform
