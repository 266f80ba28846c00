#pragma once

#include <QMap>
#include <QString>
#include <QUrl>

#include <optional>

namespace platform {

// What a server answered to a request: the URL and, for HTTP, the status
// code and the header fields.
class URLResponse {
public:
    explicit URLResponse(QUrl url) : url_(std::move(url)) {}
    static URLResponse http(QUrl url, int statusCode, QMap<QString, QString> headerFields = {});

    const QUrl& URL() const { return url_; }
    bool isHTTP() const { return statusCode_.has_value(); }
    // The HTTP status code, or 0 for a response that is not HTTP.
    int statusCode() const { return statusCode_.value_or(0); }
    const QMap<QString, QString>& allHeaderFields() const { return headers_; }
    QString description() const;

private:
    QUrl url_;
    std::optional<int> statusCode_;
    QMap<QString, QString> headers_;
};

} // namespace platform
