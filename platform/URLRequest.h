#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>

namespace platform {

// What to fetch and how: the URL, whether local caches may answer, how long
// the transfer may stay idle before it fails with a timeout, and the HTTP
// method, extra header fields and body ("GET" without either by default).
class URLRequest {
public:
    enum class CachePolicy {
        UseProtocolCachePolicy = 0,
        ReloadIgnoringLocalCacheData = 1,
    };

    // A request that keeps this interval takes its session's
    // (URLSessionConfiguration::timeoutIntervalForRequest).
    static constexpr double DefaultTimeoutInterval = 60.0;

    explicit URLRequest(QUrl url, CachePolicy cachePolicy = CachePolicy::UseProtocolCachePolicy,
                        double timeoutInterval = DefaultTimeoutInterval)
        : url_(std::move(url)), cachePolicy_(cachePolicy), timeoutInterval_(timeoutInterval) {}

    const QUrl& URL() const { return url_; }
    CachePolicy cachePolicy() const { return cachePolicy_; }
    // Seconds without any data before the transfer fails.
    double timeoutInterval() const { return timeoutInterval_; }

    const QByteArray& HTTPMethod() const { return method_; }
    void setHTTPMethod(const QByteArray& method) { method_ = method; }
    // Fields in the order they were set; setting a field again replaces it.
    const QList<QPair<QByteArray, QByteArray>>& allHTTPHeaderFields() const { return headerFields_; }
    void setValueForHTTPHeaderField(const QByteArray& value, const QByteArray& field);
    const QByteArray& HTTPBody() const { return body_; }
    void setHTTPBody(const QByteArray& body) { body_ = body; }

private:
    QUrl url_;
    CachePolicy cachePolicy_;
    double timeoutInterval_;
    QByteArray method_ = "GET";
    QList<QPair<QByteArray, QByteArray>> headerFields_;
    QByteArray body_;
};

inline void URLRequest::setValueForHTTPHeaderField(const QByteArray& value, const QByteArray& field) {
    for (auto& entry : headerFields_) {
        if (entry.first.compare(field, Qt::CaseInsensitive) == 0) {
            entry.second = value;
            return;
        }
    }
    headerFields_.append({field, value});
}

} // namespace platform
