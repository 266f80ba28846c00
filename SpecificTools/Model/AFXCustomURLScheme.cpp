#include "AFXCustomURLScheme.h"

#include <QUrlQuery>

QUrl afx_customSchemeURLWithScheme(const QString& scheme, const QString& command,
                                   const QList<QPair<QString, std::optional<QString>>>& arguments) {
    QUrl url(QStringLiteral("%1://%2").arg(scheme, command));
    QUrlQuery query;
    for (const auto& [name, value] : arguments) {
        if (value) {
            query.addQueryItem(name, *value);
        }
    }
    if (!query.isEmpty()) {
        url.setQuery(query);
    }
    return url;
}

QUrl afx_openAppsDiscoveryURLForCollection(std::optional<std::int64_t> collectionID,
                                           std::optional<std::int64_t> appID, const QString& senderDomain,
                                           const QString& sender) {
    const auto number = [](std::optional<std::int64_t> value) -> std::optional<QString> {
        return value ? std::optional(QString::number(*value)) : std::nullopt;
    };
    return afx_customSchemeURLWithScheme(
        QStringLiteral("kestreldiscovery"), QStringLiteral("open_collection"),
        {{QStringLiteral("collection_id"), number(collectionID).value_or("0")},
         {QStringLiteral("app_id"), number(appID)},
         {QStringLiteral("sender_domain"), senderDomain},
         {QStringLiteral("sender"), sender}});
}
