#pragma once

#include <QUrl>

#include <memory>

// Where the data hub posts events.
class AFXDataHubConfiguration {
public:
    static std::shared_ptr<AFXDataHubConfiguration> makeWithBaseURL(const QUrl& baseURL);
    // The store's statistics endpoint: "/events" of its statistics host, which
    // KESTREL_STATISTICS_HOST ("https://host:port") replaces when set.
    static std::shared_ptr<AFXDataHubConfiguration> defaultConfiguration();

    const QUrl& baseURL() const { return baseURL_; }
    // The base URL with the path component "actions".
    QUrl actions() const;

private:
    explicit AFXDataHubConfiguration(QUrl baseURL) : baseURL_(std::move(baseURL)) {}

    const QUrl baseURL_;
};
