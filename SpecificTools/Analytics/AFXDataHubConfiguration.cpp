#include "AFXDataHubConfiguration.h"

std::shared_ptr<AFXDataHubConfiguration> AFXDataHubConfiguration::makeWithBaseURL(const QUrl& baseURL) {
    return std::shared_ptr<AFXDataHubConfiguration>(new AFXDataHubConfiguration(baseURL));
}

std::shared_ptr<AFXDataHubConfiguration> AFXDataHubConfiguration::defaultConfiguration() {
    QUrl url(QStringLiteral("https://statistics.kestrel.app/events"));
    const QUrl host(QString::fromLocal8Bit(qgetenv("KESTREL_STATISTICS_HOST")), QUrl::StrictMode);
    if (host.isValid() && !host.host().isEmpty()) {
        url = host;
        url.setPath(QStringLiteral("/events"));
        url.setQuery(QString());
        url.setFragment(QString());
    }
    return makeWithBaseURL(url);
}

QUrl AFXDataHubConfiguration::actions() const {
    QUrl url = baseURL_;
    QString path = url.path();
    if (!path.endsWith(u'/')) {
        path += u'/';
    }
    url.setPath(path + QStringLiteral("actions"));
    return url;
}
