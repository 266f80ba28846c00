#include "StoreCatalogue.h"

#include "SpecificTools/AFXAppInstaller/AFXGlobals.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Model/AFXCodedApp.h"
#include "SpecificTools/Model/AFXCodedAppCollection.h"
#include "SpecificTools/Model/AFXCodedAppIconResource.h"
#include "SpecificTools/Model/AFXCodedScreenshotResource.h"
#include "SpecificTools/Model/AFXCodedVendorInstallResource.h"
#include "StoreFileDownload.h"
#include "platform/FileManager.h"
#include "support/BRLog.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <optional>

namespace {

const QString kCatalogueErrorDomain = QStringLiteral("com.kestrel.DesktopClient.StoreCatalogue");
const QString kOperation = QStringLiteral("read the store's catalogue");

// Reads the catalogue's JSON and keeps the first thing found wrong with it,
// said as a person reading the file would say it.
class CatalogueReader {
public:
    explicit CatalogueReader(QUrl catalogueURL) : catalogueURL_(std::move(catalogueURL)) {}

    std::optional<QString> problem;

    bool fail(const QString& where, const QString& what) {
        if (!problem) {
            problem = where.isEmpty() ? what : QStringLiteral("%1: %2").arg(where, what);
        }
        return false;
    }

    QJsonValue member(const QJsonObject& object, const QString& where, const char* key) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined()) {
            fail(where, QStringLiteral("\"%1\" is missing").arg(QLatin1String(key)));
        }
        return value;
    }

    std::optional<QString> string(const QJsonObject& object, const QString& where, const char* key,
                                  bool required = true) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined() && !required) {
            return QString();
        }
        if (!member(object, where, key).isString() || (required && value.toString().isEmpty())) {
            fail(where, QStringLiteral("\"%1\" is not a non-empty string").arg(QLatin1String(key)));
            return std::nullopt;
        }
        return value.toString();
    }

    std::optional<std::int64_t> integer(const QJsonValue& value, const QString& where, const QString& what) {
        const double number = value.toDouble(-1);
        if (!value.isDouble() || number < 0 || number != static_cast<double>(value.toInteger(-1))) {
            fail(where, QStringLiteral("%1 is not a whole number of at least 0").arg(what));
            return std::nullopt;
        }
        return value.toInteger();
    }

    std::optional<QJsonArray> array(const QJsonObject& object, const QString& where, const char* key) {
        const QJsonValue value = member(object, where, key);
        if (!value.isArray()) {
            fail(where, QStringLiteral("\"%1\" is not a list").arg(QLatin1String(key)));
            return std::nullopt;
        }
        return value.toArray();
    }

    std::optional<QList<std::int64_t>> identifiers(const QJsonObject& object, const QString& where,
                                                   const char* key) {
        const auto list = array(object, where, key);
        if (!list) {
            return std::nullopt;
        }
        QList<std::int64_t> identifiers;
        for (const QJsonValue& entry : *list) {
            const auto identifier =
                integer(entry, where, QStringLiteral("an entry of \"%1\"").arg(QLatin1String(key)));
            if (!identifier) {
                return std::nullopt;
            }
            identifiers.append(*identifier);
        }
        return identifiers;
    }

    // A path of the catalogue made absolute; it may not leave the
    // catalogue's scheme (a "file:" or plain "http:" address in an HTTPS
    // catalogue).
    std::optional<QUrl> location(const QJsonObject& object, const QString& where, const char* key) {
        const auto path = string(object, where, key);
        if (!path) {
            return std::nullopt;
        }
        const QUrl resolved = catalogueURL_.resolved(QUrl(*path));
        if (!resolved.isValid() || resolved.scheme() != catalogueURL_.scheme()) {
            fail(where, QStringLiteral("\"%1\" is not a path of the store").arg(QLatin1String(key)));
            return std::nullopt;
        }
        return resolved;
    }

    std::optional<QString> bundleName(const QJsonObject& object, const QString& where) {
        const auto name = string(object, where, "bundle_name");
        if (!name) {
            return std::nullopt;
        }
        // The name becomes a path below "/Applications": it may not climb out
        // of it, hide itself or be anything but an app bundle.
        if (name->contains(QLatin1Char('/')) || name->startsWith(QLatin1Char('.')) ||
            !name->endsWith(QLatin1String(".app")) || name->size() <= 4) {
            fail(where, QStringLiteral("\"bundle_name\" is not the name of an app bundle (%1)").arg(*name));
            return std::nullopt;
        }
        return name;
    }

    std::shared_ptr<AFXCodedAppVersion> version(const QJsonValue& value, std::int64_t appID,
                                                const QString& where) {
        if (!value.isObject()) {
            fail(where, QStringLiteral("a version is not an object"));
            return nullptr;
        }
        const QJsonObject object = value.toObject();
        const auto identifier = string(object, where, "id");
        const auto uiVersion = string(object, where, "ui_version");
        const auto size = identifier && uiVersion
                              ? integer(member(object, where, "size"), where, QStringLiteral("\"size\""))
                              : std::nullopt;
        if (!size) {
            return nullptr;
        }
        auto version = std::make_shared<AFXCodedAppVersion>();
        version->setIdentifier(*identifier);
        version->setUiVersion(*uiVersion);
        version->setSize(*size);
        version->setAppID(appID);
        return version;
    }

    std::shared_ptr<AFXCodedAppResource> resource(const QJsonValue& value, const AFXCodedApp& app,
                                                  const QString& where) {
        if (!value.isObject()) {
            fail(where, QStringLiteral("a resource is not an object"));
            return nullptr;
        }
        const QJsonObject object = value.toObject();
        const auto kind = string(object, where, "kind");
        const auto url = kind ? location(object, where, "path") : std::nullopt;
        if (!url) {
            return nullptr;
        }
        if (*kind == QLatin1String("icon")) {
            return AFXCodedAppResource::resourceWithDownloadURL<AFXCodedAppIconResource>(*url, app);
        }
        if (*kind == QLatin1String("screenshot")) {
            return AFXCodedAppResource::resourceWithDownloadURL<AFXCodedScreenshotResource>(*url, app);
        }
        // A kind this client does not show is left out, so that a store that
        // offers more does not make its whole catalogue unreadable.
        BRLogInfo("Leaving out a resource of kind %@ of %@", *kind, where);
        return nullptr;
    }

    std::shared_ptr<AFXCodedApp> app(const QJsonValue& value, QString* bundleNameOut) {
        if (!value.isObject()) {
            fail(QString(), QStringLiteral("an app is not an object"));
            return nullptr;
        }
        const QJsonObject object = value.toObject();
        const auto identifier = integer(member(object, QStringLiteral("an app"), "id"),
                                        QStringLiteral("an app"), QStringLiteral("\"id\""));
        if (!identifier) {
            return nullptr;
        }
        const QString where = QStringLiteral("app %1").arg(*identifier);
        auto app = std::make_shared<AFXCodedApp>();
        app->setIdentifier(*identifier);
        const auto bundleIdentifier = string(object, where, "bundle_identifier");
        const auto name = string(object, where, "name");
        const auto vendorName = string(object, where, "vendor_name", false);
        const auto tagLine = string(object, where, "tag_line", false);
        const auto description = string(object, where, "marketing_description", false);
        const auto collections = identifiers(object, where, "collection_ids");
        const auto bundle = bundleName(object, where);
        const auto archive = location(object, where, "archive");
        const auto versions = array(object, where, "versions");
        const auto resources = array(object, where, "resources");
        if (problem) {
            return nullptr;
        }
        app->setBundleIdentifier(*bundleIdentifier);
        app->setName(*name);
        app->setVendorName(*vendorName);
        app->setTagLine(*tagLine);
        app->setMarketingDescription(*description);
        app->setCollectionIDs(*collections);

        AFXCodedApp::Versions appVersions;
        for (const QJsonValue& entry : *versions) {
            if (auto version = this->version(entry, *identifier, where)) {
                appVersions.append(std::move(version));
            }
        }
        if (appVersions.isEmpty()) {
            fail(where, QStringLiteral("there is no version"));
        }
        if (problem) {
            return nullptr;
        }
        app->setVersions(appVersions);

        AFXCodedApp::Resources appResources;
        for (const QJsonValue& entry : *resources) {
            if (auto resource = this->resource(entry, *app, where)) {
                appResources.append(std::move(resource));
            }
        }
        // The archive installs the newest version.
        appResources.append(AFXCodedVendorInstallResource::resourceWithDownloadURL(
            *archive, *app, app->latestVersion()->identifier()));
        app->setResources(appResources);
        *bundleNameOut = *bundle;
        return problem ? nullptr : app;
    }

    std::shared_ptr<AFXCodedAppCollection> collection(const QJsonValue& value) {
        if (!value.isObject()) {
            fail(QString(), QStringLiteral("a collection is not an object"));
            return nullptr;
        }
        const QJsonObject object = value.toObject();
        const auto identifier = integer(member(object, QStringLiteral("a collection"), "id"),
                                        QStringLiteral("a collection"), QStringLiteral("\"id\""));
        if (!identifier) {
            return nullptr;
        }
        const QString where = QStringLiteral("collection %1").arg(*identifier);
        const auto name = string(object, where, "name");
        const auto appIDs = identifiers(object, where, "app_ids");
        if (!name || !appIDs) {
            return nullptr;
        }
        auto collection = std::make_shared<AFXCodedAppCollection>();
        collection->setIdentifier(*identifier);
        collection->setName(*name);
        collection->setApplicationIDs(*appIDs);
        return collection;
    }

private:
    const QUrl catalogueURL_;
};

platform::Error catalogueError(const QString& problem) {
    return afx_makeServerResponseParsingErrorOnOperation(
        kOperation,
        platform::Error(kCatalogueErrorDomain, 1,
                        {{platform::NSLocalizedDescriptionKey,
                          QStringLiteral("The store's catalogue is not valid: %1.").arg(problem)}}));
}

} // namespace

std::shared_ptr<StoreCatalogue> StoreCatalogue::makeWithJSON(const QByteArray& json, const QUrl& catalogueURL,
                                                             platform::Error* error) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    CatalogueReader reader(catalogueURL);
    if (parseError.error != QJsonParseError::NoError) {
        reader.fail(QString(), QStringLiteral("it is not JSON (%1 at offset %2)")
                                   .arg(parseError.errorString())
                                   .arg(parseError.offset));
    } else if (!document.isObject()) {
        reader.fail(QString(), QStringLiteral("it is not a JSON object"));
    }
    std::shared_ptr<StoreCatalogue> catalogue(new StoreCatalogue);
    const auto apps = reader.problem ? std::nullopt : reader.array(document.object(), QString(), "apps");
    const auto collections =
        reader.problem ? std::nullopt : reader.array(document.object(), QString(), "collections");
    QHash<QString, std::int64_t> appOfBundleName;
    for (const QJsonValue& entry : apps.value_or(QJsonArray())) {
        QString bundleName;
        const auto app = reader.app(entry, &bundleName);
        if (!app) {
            break;
        }
        if (catalogue->bundleNames_.contains(app->identifier())) {
            reader.fail(QString(), QStringLiteral("app %1 is listed twice").arg(app->identifier()));
            break;
        }
        // Two apps in one place would install over each other, and a stop
        // of one would take the other's copy away.
        if (const auto owner = appOfBundleName.constFind(bundleName); owner != appOfBundleName.cend()) {
            reader.fail(QString(), QStringLiteral("apps %1 and %2 are both named \"%3\"")
                                       .arg(*owner)
                                       .arg(app->identifier())
                                       .arg(bundleName));
            break;
        }
        catalogue->apps_.append(app);
        catalogue->bundleNames_.insert(app->identifier(), bundleName);
        appOfBundleName.insert(bundleName, app->identifier());
    }
    for (const QJsonValue& entry : collections.value_or(QJsonArray())) {
        const auto collection = reader.collection(entry);
        if (!collection) {
            break;
        }
        catalogue->collections_.append(collection);
    }
    if (reader.problem) {
        if (error) {
            *error = catalogueError(*reader.problem);
        }
        return nullptr;
    }
    return catalogue;
}

void StoreCatalogue::fetchFromURL(const QUrl& catalogueURL,
                                  const std::shared_ptr<platform::DispatchQueue>& queue, Callback callback) {
    platform::Error error(QString(), 0);
    const std::optional<QString> folder = AFXGlobals::makeTemporaryDirectory(&error);
    if (!folder) {
        queue->async([callback = std::move(callback), error] {
            callback(BRValueOrError<std::shared_ptr<StoreCatalogue>>::makeWithError(
                afx_makeFailedDiskOperation(QStringLiteral("make a folder for the catalogue"), error)));
        });
        return;
    }
    const QString file = *folder + QStringLiteral("/catalogue.json");
    StoreFileDownload::start(
        catalogueURL, file, QStringLiteral("catalogue"), queue, nullptr,
        [catalogueURL, folder = *folder, file,
         callback = std::move(callback)](const std::optional<platform::Error>& downloadError) {
            using Result = BRValueOrError<std::shared_ptr<StoreCatalogue>>;
            QByteArray json;
            QFile reading(file);
            const bool read = !downloadError && reading.open(QIODevice::ReadOnly);
            if (read) {
                json = reading.readAll();
            }
            platform::FileManager::removeItem(folder);
            if (downloadError) {
                callback(Result::makeWithError(*downloadError));
                return;
            }
            if (!read) {
                callback(Result::makeWithError(afx_makeFailedDiskOperation(
                    QStringLiteral("read the downloaded catalogue"),
                    platform::Error(kCatalogueErrorDomain, 2,
                                    {{platform::NSLocalizedDescriptionKey, reading.errorString()}}))));
                return;
            }
            platform::Error parseError(QString(), 0);
            auto catalogue = makeWithJSON(json, catalogueURL, &parseError);
            callback(catalogue ? Result::makeWithValue(std::move(catalogue))
                               : Result::makeWithError(parseError));
        });
}

std::shared_ptr<AFXCodedApp> StoreCatalogue::appWithID(std::int64_t appID) const {
    for (const auto& app : apps_) {
        if (app->identifier() == appID) {
            return app;
        }
    }
    return nullptr;
}

std::shared_ptr<AFXCodedApp> StoreCatalogue::appWithBundleIdentifier(const QString& bundleIdentifier) const {
    for (const auto& app : apps_) {
        if (app->bundleIdentifier() == bundleIdentifier) {
            return app;
        }
    }
    return nullptr;
}

void StoreCatalogue::replaceApp(const std::shared_ptr<AFXCodedApp>& app) {
    for (auto& held : apps_) {
        if (held->identifier() == app->identifier()) {
            held = app;
        }
    }
}
