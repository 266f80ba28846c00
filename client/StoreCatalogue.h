#pragma once

#include "platform/DispatchQueue.h"
#include "platform/Error.h"
#include "support/BRValueOrError.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>

class AFXCodedApp;
class AFXCodedAppCollection;

// The store's catalogue ("catalogue.json" of the store endpoint) as the
// desktop client serves it: one AFXCodedApp per app, with its versions and
// resources (icon, screenshots and the archive of the vendor app, as a
// vendor install resource of the latest version), and the collections.
//
// A catalogue is not thread-safe: its owner keeps it on one queue. The
// records it hands out are never changed afterwards; a change replaces the
// record, so an answer on its way to a peer stays as it was.
class StoreCatalogue {
public:
    using Callback = std::function<void(const BRValueOrError<std::shared_ptr<StoreCatalogue>>&)>;

    // Reads the catalogue's JSON. Archive and resource paths are resolved
    // against `catalogueURL` and must keep its scheme; a bundle name must be
    // a plain "<Name>.app"; resources of kinds other than "icon" and
    // "screenshot" are left out. Anything else fails with the framework's
    // response-parsing error, whose underlying error says what is wrong.
    static std::shared_ptr<StoreCatalogue> makeWithJSON(const QByteArray& json, const QUrl& catalogueURL,
                                                        platform::Error* error = nullptr);
    // Downloads and reads the catalogue; the callback runs on `queue`, a serial queue.
    static void fetchFromURL(const QUrl& catalogueURL, const std::shared_ptr<platform::DispatchQueue>& queue,
                             Callback callback);

    const QList<std::shared_ptr<AFXCodedApp>>& apps() const { return apps_; }
    const QList<std::shared_ptr<AFXCodedAppCollection>>& collections() const { return collections_; }
    // Null for an app not in the catalogue.
    std::shared_ptr<AFXCodedApp> appWithID(std::int64_t appID) const;
    std::shared_ptr<AFXCodedApp> appWithBundleIdentifier(const QString& bundleIdentifier) const;
    // The name of the app's bundle, as its archive holds it ("Orbit Notes.app").
    QString bundleNameOfAppWithID(std::int64_t appID) const { return bundleNames_.value(appID); }
    // Puts `app` in the place of the app with its identifier.
    void replaceApp(const std::shared_ptr<AFXCodedApp>& app);

private:
    StoreCatalogue() = default;

    QList<std::shared_ptr<AFXCodedApp>> apps_;
    QList<std::shared_ptr<AFXCodedAppCollection>> collections_;
    QHash<std::int64_t, QString> bundleNames_;
};
