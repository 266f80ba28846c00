#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>

// URLs of the desktop client's own schemes: "<scheme>://<command>?<items>".

// Entries without a value are left out; the others become name–value query
// items, in the order given.
QUrl afx_customSchemeURLWithScheme(const QString& scheme, const QString& command,
                                   const QList<QPair<QString, std::optional<QString>>>& arguments);

// The client's discovery page of a collection, or of one app: scheme
// "kestreldiscovery", command "open_collection", items "collection_id" ("0"
// without a collection), "app_id", "sender_domain" and "sender".
QUrl afx_openAppsDiscoveryURLForCollection(std::optional<std::int64_t> collectionID,
                                           std::optional<std::int64_t> appID, const QString& senderDomain,
                                           const QString& sender);
