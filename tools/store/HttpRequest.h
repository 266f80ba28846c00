#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <optional>

// One request as it came off the wire: the request line, the header fields
// (names lower-cased) and the body, if it had one.
class HttpRequest {
public:
    // The request whose head (request line and fields, without the blank
    // line) is `head`, or nullopt when it is not HTTP/1.x.
    static std::optional<HttpRequest> parseHead(const QByteArray& head);

    const QByteArray& method() const { return method_; }
    // As sent: the path, still percent-encoded, and any query.
    const QByteArray& target() const { return target_; }
    // The target without its query.
    const QByteArray& path() const { return path_; }
    const QByteArray& query() const { return query_; }
    int minorVersion() const { return minorVersion_; }
    // The first value of the field, or nullopt.
    std::optional<QByteArray> header(const QByteArray& lowerCaseName) const;
    const QByteArray& body() const { return body_; }
    void setBody(const QByteArray& body) { body_ = body; }

    // Whether the client wants the connection kept after the response.
    bool keepAlive() const;

private:
    QByteArray method_;
    QByteArray target_;
    QByteArray path_;
    QByteArray query_;
    int minorVersion_ = 1;
    QList<QPair<QByteArray, QByteArray>> headers_;
    QByteArray body_;
};
