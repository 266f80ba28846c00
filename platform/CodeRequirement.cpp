#include "CodeRequirement.h"

#include <variant>
#include <vector>

namespace platform {

struct CodeRequirement::Node {
    enum class Kind { And, Or, AnchorGeneric, LeafOrganizationalUnit, EntitlementExists };
    Kind kind;
    QString argument;
    std::shared_ptr<const Node> left;
    std::shared_ptr<const Node> right;
};

namespace {

using Node = CodeRequirement::Node;
using NodePointer = std::shared_ptr<const Node>;

struct Token {
    enum class Kind { Word, String, Punctuation, End };
    Kind kind;
    QString text;
    qsizetype position;
};

struct SyntaxError {
    qsizetype position;
    QString message;
};

class Parser {
public:
    explicit Parser(const QString& text) : text_(text) {}

    std::variant<NodePointer, SyntaxError> parse() {
        if (!tokenize()) {
            return *error_;
        }
        NodePointer root = requirement();
        if (!error_ && current().kind != Token::Kind::End) {
            fail(QStringLiteral("'and', 'or' or the end of the requirement"));
        }
        if (error_) {
            return *error_;
        }
        return root;
    }

private:
    bool tokenize() {
        qsizetype i = 0;
        while (i < text_.size()) {
            const QChar c = text_[i];
            if (c.isSpace()) {
                ++i;
            } else if (c.isLetter() || c == QLatin1Char('_')) {
                const qsizetype start = i;
                while (i < text_.size() && (text_[i].isLetterOrNumber() || text_[i] == QLatin1Char('_') ||
                                            text_[i] == QLatin1Char('.') || text_[i] == QLatin1Char('-'))) {
                    ++i;
                }
                tokens_.push_back({Token::Kind::Word, text_.mid(start, i - start), start});
            } else if (c == QLatin1Char('"')) {
                const qsizetype start = i++;
                QString value;
                bool closed = false;
                while (i < text_.size()) {
                    if (text_[i] == QLatin1Char('\\') && i + 1 < text_.size()) {
                        value += text_[i + 1];
                        i += 2;
                    } else if (text_[i] == QLatin1Char('"')) {
                        ++i;
                        closed = true;
                        break;
                    } else {
                        value += text_[i++];
                    }
                }
                if (!closed) {
                    error_ = SyntaxError{start, QStringLiteral("unterminated string")};
                    return false;
                }
                tokens_.push_back({Token::Kind::String, value, start});
            } else if (QStringLiteral("()[]=").contains(c)) {
                tokens_.push_back({Token::Kind::Punctuation, QString(c), i++});
            } else {
                error_ = SyntaxError{i, QStringLiteral("unexpected character '%1'").arg(c)};
                return false;
            }
        }
        tokens_.push_back({Token::Kind::End, QString(), text_.size()});
        return true;
    }

    const Token& current() const { return tokens_[next_]; }

    bool isWord(const char* word) const {
        return current().kind == Token::Kind::Word && current().text == QLatin1String(word);
    }

    static QString describe(const Token& token) {
        switch (token.kind) {
        case Token::Kind::End:
            return QStringLiteral("the end of the requirement");
        case Token::Kind::String:
            return QStringLiteral("string \"%1\"").arg(token.text);
        default:
            return QStringLiteral("'%1'").arg(token.text);
        }
    }

    void fail(const QString& expected) {
        if (!error_) {
            error_ = SyntaxError{current().position,
                                 QStringLiteral("expected %1, found %2").arg(expected, describe(current()))};
        }
    }

    // Consumes a word or punctuation token with exactly this text.
    bool expect(const char* text) {
        if (error_ || current().kind == Token::Kind::String || current().kind == Token::Kind::End ||
            current().text != QLatin1String(text)) {
            fail(QStringLiteral("'%1'").arg(QLatin1String(text)));
            return false;
        }
        ++next_;
        return true;
    }

    std::optional<QString> expectString() {
        if (error_ || current().kind != Token::Kind::String) {
            fail(QStringLiteral("a quoted string"));
            return std::nullopt;
        }
        return tokens_[next_++].text;
    }

    NodePointer requirement() {
        NodePointer left = term();
        while (!error_ && isWord("or")) {
            ++next_;
            NodePointer right = term();
            left = std::make_shared<const Node>(Node{Node::Kind::Or, {}, left, right});
        }
        return left;
    }

    NodePointer term() {
        NodePointer left = factor();
        while (!error_ && isWord("and")) {
            ++next_;
            NodePointer right = factor();
            left = std::make_shared<const Node>(Node{Node::Kind::And, {}, left, right});
        }
        return left;
    }

    NodePointer factor() {
        if (error_) {
            return nullptr;
        }
        if (current().kind == Token::Kind::Punctuation && current().text == QLatin1String("(")) {
            ++next_;
            NodePointer inner = requirement();
            expect(")");
            return inner;
        }
        if (isWord("anchor")) {
            ++next_;
            if (expect("apple") && expect("generic")) {
                return std::make_shared<const Node>(Node{Node::Kind::AnchorGeneric, {}, nullptr, nullptr});
            }
            return nullptr;
        }
        if (isWord("certificate")) {
            ++next_;
            if (expect("leaf") && expect("[") && expect("subject.OU") && expect("]") && expect("=")) {
                if (std::optional<QString> unit = expectString()) {
                    return std::make_shared<const Node>(
                        Node{Node::Kind::LeafOrganizationalUnit, *unit, nullptr, nullptr});
                }
            }
            return nullptr;
        }
        if (isWord("entitlement")) {
            ++next_;
            if (expect("[")) {
                std::optional<QString> key = expectString();
                if (key && expect("]") && expect("exists")) {
                    return std::make_shared<const Node>(
                        Node{Node::Kind::EntitlementExists, *key, nullptr, nullptr});
                }
            }
            return nullptr;
        }
        fail(QStringLiteral("'anchor', 'certificate', 'entitlement' or '('"));
        return nullptr;
    }

    const QString& text_;
    std::vector<Token> tokens_;
    std::size_t next_ = 0;
    std::optional<SyntaxError> error_;
};

// "line L, column C", both counted from 1.
QString placeOf(const QString& text, qsizetype position) {
    int line = 1;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < position && i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\n')) {
            ++line;
            lineStart = i + 1;
        }
    }
    return QStringLiteral("line %1, column %2").arg(line).arg(position - lineStart + 1);
}

bool evaluate(const Node& node, const CodeRequirement::Subject& subject) {
    switch (node.kind) {
    case Node::Kind::And:
        return evaluate(*node.left, subject) && evaluate(*node.right, subject);
    case Node::Kind::Or:
        return evaluate(*node.left, subject) || evaluate(*node.right, subject);
    case Node::Kind::AnchorGeneric:
        return subject.anchorTrusted;
    case Node::Kind::LeafOrganizationalUnit:
        return subject.leafOrganizationalUnits.contains(node.argument);
    case Node::Kind::EntitlementExists:
        return subject.entitlements.contains(node.argument);
    }
    return false;
}

} // namespace

OSStatus CodeRequirement::createWithString(const QString& text, std::optional<CodeRequirement>* requirement,
                                           std::optional<Error>* errors) {
    std::variant<NodePointer, SyntaxError> parsed = Parser(text).parse();
    if (const SyntaxError* syntax = std::get_if<SyntaxError>(&parsed)) {
        if (errors) {
            *errors =
                Error(NSOSStatusErrorDomain, errSecCSReqInvalid,
                      {{kSecCFErrorRequirementSyntax,
                        QStringLiteral("%1: %2").arg(placeOf(text, syntax->position), syntax->message)}});
        }
        return errSecCSReqInvalid;
    }
    if (requirement) {
        *requirement = CodeRequirement(text, std::get<NodePointer>(std::move(parsed)));
    }
    return errSecSuccess;
}

bool CodeRequirement::isSatisfiedBy(const Subject& subject) const {
    return evaluate(*root_, subject);
}

} // namespace platform
