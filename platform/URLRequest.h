#pragma once

#include <QUrl>

namespace platform {

// What to fetch and how: the URL, whether local caches may answer, and how
// long the transfer may stay idle before it fails with a timeout.
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

private:
    QUrl url_;
    CachePolicy cachePolicy_;
    double timeoutInterval_;
};

} // namespace platform
