#include "HttpRequest.h"

#include <cstring>

namespace {

bool hasToken(const QByteArray& list, const QByteArray& token) {
    for (const QByteArray& item : list.split(',')) {
        if (item.trimmed().toLower() == token) {
            return true;
        }
    }
    return false;
}

bool isToken(const QByteArray& text) {
    if (text.isEmpty()) {
        return false;
    }
    for (const char c : text) {
        if (c <= ' ' || c >= 127 || std::strchr("()<>@,;:\\\"/[]?={}", c)) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<HttpRequest> HttpRequest::parseHead(const QByteArray& head) {
    const QList<QByteArray> lines = head.split('\n');
    if (lines.isEmpty()) {
        return std::nullopt;
    }
    HttpRequest request;
    const QList<QByteArray> parts = lines.first().trimmed().split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || parts[1].isEmpty()) {
        return std::nullopt;
    }
    if (parts[2] == "HTTP/1.1") {
        request.minorVersion_ = 1;
    } else if (parts[2] == "HTTP/1.0") {
        request.minorVersion_ = 0;
    } else {
        return std::nullopt;
    }
    request.method_ = parts[0];
    request.target_ = parts[1];
    const qsizetype question = request.target_.indexOf('?');
    request.path_ = question < 0 ? request.target_ : request.target_.left(question);
    request.query_ = question < 0 ? QByteArray() : request.target_.mid(question + 1);

    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.isEmpty()) {
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        // Folded continuation lines are obsolete and a known smuggling trick.
        if (colon <= 0 || line.startsWith(' ') || line.startsWith('\t') || !isToken(line.left(colon))) {
            return std::nullopt;
        }
        request.headers_.append({line.left(colon).toLower(), line.mid(colon + 1).trimmed()});
    }
    return request;
}

std::optional<QByteArray> HttpRequest::header(const QByteArray& lowerCaseName) const {
    for (const auto& [name, value] : headers_) {
        if (name == lowerCaseName) {
            return value;
        }
    }
    return std::nullopt;
}

bool HttpRequest::keepAlive() const {
    const QByteArray connection = header("connection").value_or(QByteArray());
    if (minorVersion_ == 0) {
        return hasToken(connection, "keep-alive");
    }
    return !hasToken(connection, "close");
}
