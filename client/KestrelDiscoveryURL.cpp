#include "KestrelDiscoveryURL.h"

#include <QUrlQuery>

const QString KestrelDiscoveryURL::Scheme = QStringLiteral("kestreldiscovery");

namespace {

const QString kOpenCollection = QStringLiteral("open_collection");

// A non-negative decimal identifier, or none.
std::optional<std::int64_t> identifier(const QString& text) {
    bool isNumber = false;
    const qlonglong value = text.toLongLong(&isNumber);
    if (!isNumber || value < 0 || text.startsWith(QLatin1Char('+'))) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<KestrelDiscoveryURL> KestrelDiscoveryURL::parse(const QString& text, QString* problem) {
    const auto fail = [problem](const QString& reason) -> std::optional<KestrelDiscoveryURL> {
        if (problem) {
            *problem = reason;
        }
        return std::nullopt;
    };
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) {
        return fail(QStringLiteral("it is not a valid URL"));
    }
    if (url.scheme() != Scheme) {
        return fail(QStringLiteral("its scheme is not \"%1\"").arg(Scheme));
    }
    if (url.host() != kOpenCollection) {
        return fail(QStringLiteral("its command \"%1\" is not \"%2\"").arg(url.host(), kOpenCollection));
    }
    const QUrlQuery query(url);
    KestrelDiscoveryURL parsed;
    parsed.text = text;
    const auto appID = identifier(query.queryItemValue(QStringLiteral("app_id"), QUrl::FullyDecoded));
    if (!appID) {
        return fail(QStringLiteral("it names no app (app_id must be a number)"));
    }
    parsed.appID = *appID;
    if (query.hasQueryItem(QStringLiteral("collection_id"))) {
        const auto collectionID =
            identifier(query.queryItemValue(QStringLiteral("collection_id"), QUrl::FullyDecoded));
        if (!collectionID) {
            return fail(QStringLiteral("its collection_id is not a number"));
        }
        parsed.collectionID = *collectionID;
    }
    parsed.senderDomain = query.queryItemValue(QStringLiteral("sender_domain"), QUrl::FullyDecoded);
    parsed.sender = query.queryItemValue(QStringLiteral("sender"), QUrl::FullyDecoded);
    return parsed;
}
