#pragma once

#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>

// A "kestreldiscovery" URL asking the client to show a page:
//   kestreldiscovery://open_collection?collection_id=…&app_id=…&sender_domain=…&sender=…
// The app and collection identifiers are non-negative integers; the app's
// is required, the collection's defaults to 0 (no collection), the sender's
// fields may be absent.
struct KestrelDiscoveryURL {
    static const QString Scheme; // "kestreldiscovery"

    // The URL as it was given.
    QString text;
    std::int64_t collectionID = 0;
    std::int64_t appID = 0;
    QString senderDomain;
    QString sender;

    // None, with the reason in `problem`, when the text is not such a URL.
    static std::optional<KestrelDiscoveryURL> parse(const QString& text, QString* problem);
};
