#include "../platform/PlatformPrinters.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Model/AFXAppAlgorithms.h"
#include "SpecificTools/Model/AFXCodedApp.h"
#include "SpecificTools/Model/AFXCodedAppCollection.h"
#include "SpecificTools/Model/AFXCodedAppIconResource.h"
#include "SpecificTools/Model/AFXCodedInternalUpdateResource.h"
#include "SpecificTools/Model/AFXCodedScreenshotResource.h"
#include "SpecificTools/Model/AFXCodedTeaserInstallResource.h"
#include "SpecificTools/Model/AFXCodedTeaserUpdateResource.h"
#include "SpecificTools/Model/AFXCodedVendorInstallResource.h"
#include "SpecificTools/Model/AFXCodedVendorUpdateResource.h"
#include "SpecificTools/Model/AFXResourceExistsStatus.h"
#include "SpecificTools/Model/AFXResourceMissingStatus.h"
#include "platform/ValueClasses.h"
#include "testing/ArchiveRoundTrip.h"
#include "testing/EnvironmentOverride.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QFile>
#include <QRegularExpression>

using namespace platform;
using testing_support::EnvironmentOverride;

namespace {

const QUrl archiveURL(QStringLiteral("https://cdn.example.com/apps/a.zip"));

QDateTime day(int month, int dayOfMonth) {
    return QDateTime(QDate(2024, month, dayOfMonth), QTime(12, 0), Qt::UTC);
}

std::shared_ptr<AFXCodedAppVersion> makeVersion(const QString& identifier, const QString& uiVersion,
                                                const QString& minOSVersion = {},
                                                const QDateTime& released = {}) {
    auto version = std::make_shared<AFXCodedAppVersion>();
    version->setIdentifier(identifier);
    version->setUiVersion(uiVersion);
    version->setMinOSVersion(minOSVersion);
    version->setReleaseDate(released);
    version->setAppID(42);
    return version;
}

std::shared_ptr<AFXCodedApp> makeApp(const AFXCodedApp::Versions& versions = {}) {
    auto app = std::make_shared<AFXCodedApp>();
    app->setIdentifier(42);
    app->setBundleIdentifier(QStringLiteral("com.vendor.app"));
    app->setName(QStringLiteral("Sketchbook"));
    app->setVersions(versions);
    return app;
}

using testing_support::archiveRoundTrip;

QCborMap encodedMap(const std::shared_ptr<Object>& object) {
    return QCborValue::fromCbor(*KeyedArchiver::archivedDataWithRootObject(object)).toMap();
}

QStringList codedKeys(const AFXBaseModelObject& object) {
    QStringList keys;
    for (const auto& property : object.classReflection()->propertyReflections()) {
        keys << property->key();
    }
    return keys;
}

// Every coded field reads back equal after a trip through an archive.
void expectSameCodedFields(const AFXBaseModelObject& original, const AFXBaseModelObject& decoded) {
    EXPECT_EQ(decoded.className(), original.className());
    for (const QString& key : codedKeys(original)) {
        EXPECT_EQ(decoded.valueForKey(key), original.valueForKey(key)) << key.toStdString();
    }
}

TEST(AppModelCoding, EveryRecordClassDeclaresItsWireKeysAndRoundTrips) {
    const QStringList resourceKeys{QStringLiteral("identifier"), QStringLiteral("downloadURL"),
                                   QStringLiteral("status")};
    const QStringList appResourceKeys = resourceKeys + QStringList{QStringLiteral("appID")};

    auto screenshot = std::make_shared<AFXCodedScreenshotResource>();
    screenshot->setScreenshotsServiceIdentifier(QStringLiteral("shot-1"));
    auto teaserUpdate = std::make_shared<AFXCodedTeaserUpdateResource>();
    teaserUpdate->setFromTeaserAppVersion(QStringLiteral("0.3"));
    teaserUpdate->setToTeaserAppVersion(QStringLiteral("0.4"));
    auto vendorUpdate = std::make_shared<AFXCodedVendorUpdateResource>();
    vendorUpdate->setFromAppVersionID(QStringLiteral("1.0"));
    vendorUpdate->setToAppVersionID(QStringLiteral("1.1"));
    auto internal = std::make_shared<AFXCodedInternalUpdateResource>();
    internal->setVersion(QStringLiteral("3.2"));
    internal->setDownloadedDate(day(2, 3));
    internal->setMinOSVersion(QStringLiteral("10.14"));
    auto version =
        makeVersion(QStringLiteral("120"), QStringLiteral("1.2"), QStringLiteral("10.13"), day(3, 1));
    version->setReleaseNotes(QStringLiteral("Faster"));
    version->setMaxOSVersion(QStringLiteral("14.0"));
    version->setLibkestrelVersion(QStringLiteral("2.1"));
    version->setScreenshotResourcesIDs({QStringLiteral("b"), QStringLiteral("a")});
    version->setKeywords({QStringLiteral("draw")});
    version->setSize(1234567);
    auto collection = std::make_shared<AFXCodedAppCollection>();
    collection->setIdentifier(9);
    collection->setName(QStringLiteral("design"));
    collection->setPriority(2);
    collection->setLocalizedName(QStringLiteral("Design"));
    collection->setApplicationIDs({42, 43});

    struct Row {
        std::shared_ptr<AFXBaseModelObject> record;
        QStringList keys;
    };
    const auto stored = [&] {
        auto made =
            AFXCodedAppResource::resourceWithDownloadURL<AFXCodedScreenshotResource>(archiveURL, *makeApp());
        made->setStatus(
            AFXResourceExistsStatus::makeWithStorageURL(QUrl::fromLocalFile(QStringLiteral("/x/a"))));
        return made;
    }();
    const Row rows[] = {
        {screenshot, appResourceKeys + QStringList{QStringLiteral("screenshotsServiceIdentifier")}},
        {AFXCodedTeaserInstallResource::resourceWithDownloadURL(archiveURL, *makeApp(),
                                                                QStringLiteral("0.7")),
         appResourceKeys + QStringList{QStringLiteral("teaserAppVersion"), QStringLiteral("appVersion")}},
        {teaserUpdate, appResourceKeys + QStringList{QStringLiteral("fromTeaserAppVersion"),
                                                     QStringLiteral("toTeaserAppVersion")}},
        {AFXCodedVendorInstallResource::resourceWithDownloadURL(archiveURL, *makeApp(),
                                                                QStringLiteral("1.2")),
         appResourceKeys + QStringList{QStringLiteral("appVersionID")}},
        {vendorUpdate,
         appResourceKeys + QStringList{QStringLiteral("fromAppVersionID"), QStringLiteral("toAppVersionID")}},
        {internal, resourceKeys + QStringList{QStringLiteral("version"), QStringLiteral("downloadedDate"),
                                              QStringLiteral("minOSVersion")}},
        {std::make_shared<AFXCodedAppIconResource>(), appResourceKeys},
        {AFXCodedResource::resourceWithDownloadURL(archiveURL), resourceKeys},
        {stored, appResourceKeys + QStringList{QStringLiteral("screenshotsServiceIdentifier")}},
        {version,
         {QStringLiteral("identifier"), QStringLiteral("uiVersion"), QStringLiteral("releaseDate"),
          QStringLiteral("releaseNotes"), QStringLiteral("minOSVersion"), QStringLiteral("maxOSVersion"),
          QStringLiteral("libkestrelVersion"), QStringLiteral("screenshotResourcesIDs"),
          QStringLiteral("keywords"), QStringLiteral("size"), QStringLiteral("appID")}},
        {collection,
         {QStringLiteral("identifier"), QStringLiteral("name"), QStringLiteral("priority"),
          QStringLiteral("localizedName"), QStringLiteral("applicationIDs")}},
        {std::make_shared<AFXResourceMissingStatus>(), {}},
        {AFXResourceExistsStatus::makeWithStorageURL(QUrl::fromLocalFile(QStringLiteral("/x/b"))),
         {QStringLiteral("storageURL")}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.record->className().toStdString());
        EXPECT_EQ(codedKeys(*row.record), row.keys);
        const auto back = archiveRoundTrip(std::static_pointer_cast<AFXBaseModelObject>(row.record));
        ASSERT_TRUE(back);
        expectSameCodedFields(*row.record, *back);
        EXPECT_TRUE(back->isEqual(*row.record));
    }
    EXPECT_EQ(archiveRoundTrip(stored)->status()->downloadedResourceURL(), std::nullopt);
    EXPECT_EQ(archiveRoundTrip(version)->screenshotResourcesIDs(),
              (QStringList{QStringLiteral("b"), QStringLiteral("a")}));
    EXPECT_EQ(archiveRoundTrip(version)->releaseDate(), day(3, 1));
}

TEST(AppModelCoding, AppKeepsItsVersionsResourcesAndFlagsAndAbsentFlagsAreFalse) {
    auto app = makeApp({makeVersion(QStringLiteral("100"), QStringLiteral("1.0")),
                        makeVersion(QStringLiteral("110"), QStringLiteral("1.1"))});
    app->setOldNames({QStringLiteral("Sketchpad"), QStringLiteral("Doodle")});
    app->setMarketingURL(QUrl(QStringLiteral("https://vendor.example/app")));
    app->setCollectionIDs({7, 8});
    app->setResources(
        {AFXCodedAppResource::resourceWithDownloadURL<AFXCodedAppIconResource>(archiveURL, *app),
         AFXCodedVendorInstallResource::resourceWithDownloadURL(archiveURL, *app, QStringLiteral("1.1"))});
    app->setIsInstanceHidden(true);
    app->setIsBrandNew(true);
    app->setDidPresentAsBrandNew(true);

    const auto back = archiveRoundTrip(app);
    ASSERT_TRUE(back);
    expectSameCodedFields(*app, *back);
    EXPECT_TRUE(back->isInstanceHidden() && back->isBrandNew() && back->didPresentAsBrandNew());
    ASSERT_EQ(back->resources().size(), 2);
    ASSERT_TRUE(back->iconResource());
    EXPECT_EQ(back->iconResource()->appID(), 42);
    EXPECT_EQ(back->versions().size(), 2);
    EXPECT_TRUE(back->name() == QStringLiteral("Sketchbook") && back->tagLine().isNull());

    QCborMap map = encodedMap(app);
    EXPECT_TRUE(map.value(QStringLiteral("oldNames")).isTag());
    for (const char* key : {"isInstanceHidden", "isBrandNew", "didPresentAsBrandNew"}) {
        map.remove(QString::fromLatin1(key));
        EXPECT_EQ(app->classReflection()->propertyReflectionForKey(QString::fromLatin1(key))->defaultValue(),
                  Value(false));
    }
    const auto withoutFlags = KeyedUnarchiver::unarchivedObjectOfClass<AFXCodedApp>(QCborValue(map).toCbor());
    ASSERT_TRUE(withoutFlags);
    EXPECT_FALSE(withoutFlags->isInstanceHidden());
    EXPECT_FALSE(withoutFlags->isBrandNew());
    EXPECT_FALSE(withoutFlags->didPresentAsBrandNew());
    EXPECT_EQ(withoutFlags->versions().size(), 2);
}

TEST(AppModelCoding, ContainerElementsOfAnotherClassAreRefused) {
    auto app = makeApp({makeVersion(QStringLiteral("100"), QStringLiteral("1.0"))});
    app->setResources({AFXCodedAppResource::resourceWithDownloadURL(archiveURL, *app)});
    const QCborMap valid = encodedMap(app);
    const QCborValue resource = valid.value(QStringLiteral("resources")).taggedValue().toArray().at(0);
    const QCborValue version = valid.value(QStringLiteral("versions")).taggedValue().toArray().at(0);
    ASSERT_TRUE(KeyedUnarchiver::unarchivedObjectOfClass<AFXCodedApp>(QCborValue(valid).toCbor()));

    const auto set = [](const QCborValue& element) { return QCborValue(QCborTag(258), QCborArray{element}); };
    const std::pair<const char*, QCborValue> forgeries[] = {
        {"versions", set(resource)},       {"resources", set(version)},
        {"oldNames", set(QCborValue(5))},  {"collectionIDs", set(QCborValue(QStringLiteral("7")))},
        {"versions", QCborArray{version}}, {"identifier", QCborValue(QStringLiteral("42"))},
    };
    for (const auto& [key, forged] : forgeries) {
        SCOPED_TRACE(key);
        QCborMap map = valid;
        map.insert(QString::fromLatin1(key), forged);
        Error error(QString(), 0);
        EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClasses({AFXCodedApp::staticClass()},
                                                                QCborValue(map).toCbor(), &error));
        EXPECT_FALSE(error.domain().isEmpty());
    }

    // A resource's status must be a status.
    QCborMap withBadStatus = encodedMap(AFXCodedResource::resourceWithDownloadURL(archiveURL));
    withBadStatus.insert(QStringLiteral("status"), version);
    EXPECT_FALSE(
        KeyedUnarchiver::unarchivedObjectOfClass<AFXCodedResource>(QCborValue(withBadStatus).toCbor()));
}

TEST(AppModelCoding, TeaserUpdateVersionsTravelAsOldNumbers) {
    auto update = std::make_shared<AFXCodedTeaserUpdateResource>();
    update->setFromTeaserAppVersion(QStringLiteral("0.3"));
    update->setToTeaserAppVersion(QStringLiteral("0.12"));
    QCborMap map = encodedMap(update);
    EXPECT_EQ(map.value(QStringLiteral("fromTeaserAppVersion")), QCborValue(3));
    EXPECT_EQ(map.value(QStringLiteral("toTeaserAppVersion")), QCborValue(12));
    const auto back = archiveRoundTrip(update);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->toTeaserAppVersion(), QStringLiteral("0.12"));

    map.remove(QStringLiteral("fromTeaserAppVersion"));
    const auto withoutFrom =
        KeyedUnarchiver::unarchivedObjectOfClass<AFXCodedTeaserUpdateResource>(QCborValue(map).toCbor());
    ASSERT_TRUE(withoutFrom);
    EXPECT_TRUE(withoutFrom->fromTeaserAppVersion().isNull());
    map.insert(QStringLiteral("toTeaserAppVersion"), QStringLiteral("0.12"));
    EXPECT_FALSE(
        KeyedUnarchiver::unarchivedObjectOfClass<AFXCodedTeaserUpdateResource>(QCborValue(map).toCbor()));
}

TEST(AppModelIdentity, EqualityHashDescriptionAndCopies) {
    auto app = makeApp({makeVersion(QStringLiteral("100"), QStringLiteral("1.0"))});
    auto renamed = makeApp();
    renamed->setName(QStringLiteral("Other"));
    EXPECT_TRUE(app->isEqual(*renamed));
    renamed->setIdentifier(43);
    EXPECT_FALSE(app->isEqual(*renamed));
    EXPECT_FALSE(app->isEqual(*app->versions().first()));
    EXPECT_EQ(app->hash(), Value(std::int64_t(42)).hash() ^ Value(QStringLiteral("com.vendor.app")).hash() ^
                               Value(QStringLiteral("Sketchbook")).hash());
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^<AFXCodedApp: 0x[0-9a-f]+>, identifier = 42, bundleID = com.vendor.app, "
                                   "name = Sketchbook$"))
                    .match(app->description())
                    .hasMatch())
        << app->description().toStdString();
    EXPECT_TRUE(makeApp()->description().endsWith(QStringLiteral("name = Sketchbook")));
    auto unnamed = std::make_shared<AFXCodedApp>();
    EXPECT_TRUE(
        unnamed->description().endsWith(QStringLiteral("identifier = 0, bundleID = (null), name = (null)")));

    const auto version = makeVersion(QStringLiteral("100"), QStringLiteral("1.0"));
    auto otherApp = makeVersion(QStringLiteral("100"), QStringLiteral("9.9"));
    EXPECT_TRUE(version->isEqual(*otherApp));
    otherApp->setAppID(43);
    EXPECT_FALSE(version->isEqual(*otherApp));
    EXPECT_EQ(version->hash(), Value(QStringLiteral("100")).hash() ^ Value(std::int64_t(42)).hash());
    EXPECT_TRUE(version->description().endsWith(QStringLiteral(">, identifier = 100, uiVersion = 1.0")));

    const auto resource = AFXCodedResource::resourceWithDownloadURL(archiveURL);
    EXPECT_EQ(resource->hash(), Value(resource->identifier()).hash());
    EXPECT_TRUE(resource->description().contains(
        QStringLiteral(", identifier = 227cb589e9c7762bbe2009670f31baad1ca9f4e7, downloadURL = "
                       "https://cdn.example.com/apps/a.zip, status = <AFXResourceMissingStatus: 0x")));

    AFXCodedAppCollection collection;
    collection.setIdentifier(9);
    collection.setLocalizedName(QStringLiteral("Design"));
    EXPECT_TRUE(collection.description().endsWith(QStringLiteral(", identifier = 9, name = Design")));
    collection.setName(QStringLiteral("design"));
    EXPECT_TRUE(collection.description().endsWith(QStringLiteral(", identifier = 9, name = design")));
    AFXCodedAppCollection other;
    other.setIdentifier(9);
    other.setName(QStringLiteral("design"));
    EXPECT_FALSE(collection.isEqual(other));
    other.setLocalizedName(QStringLiteral("Design"));
    other.setPriority(5);
    EXPECT_TRUE(collection.isEqual(other));
    EXPECT_EQ(collection.hash(), other.hash());

    // A copy owns its versions and resources.
    app->setResources({AFXCodedAppResource::resourceWithDownloadURL(archiveURL, *app)});
    const auto copied = std::dynamic_pointer_cast<AFXCodedApp>(app->copy());
    ASSERT_TRUE(copied);
    EXPECT_NE(copied, app);
    ASSERT_EQ(copied->versions().size(), 1);
    EXPECT_NE(copied->versions().first(), app->versions().first());
    EXPECT_NE(copied->resources().first(), app->resources().first());
    copied->versions().first()->setUiVersion(QStringLiteral("2.0"));
    EXPECT_EQ(app->versions().first()->uiVersion(), QStringLiteral("1.0"));
    EXPECT_EQ(copied->name(), QStringLiteral("Sketchbook"));
}

TEST(AppModelVersions, FirstLatestAndLatestMajorChoices) {
    EXPECT_FALSE(makeApp()->firstVersion());
    EXPECT_FALSE(makeApp()->latestVersion());
    EXPECT_FALSE(makeApp()->latestMajorVersion());

    const auto v110 = makeVersion(QStringLiteral("110"), QStringLiteral("1.1"));
    const auto v100 = makeVersion(QStringLiteral("100"), QStringLiteral("1.0"));
    const auto v120 = makeVersion(QStringLiteral("120"), QStringLiteral("1.2"));
    // A later store identifier whose shown version went backwards does not win.
    const auto v130back = makeVersion(QStringLiteral("130"), QStringLiteral("1.0.5"));
    // An earlier store identifier shown as a later version does not win either.
    const auto v90ahead = makeVersion(QStringLiteral("90"), QStringLiteral("3.0"));
    const auto app = makeApp({v110, v130back, v100, v90ahead, v120});
    EXPECT_EQ(app->firstVersion(), v100);
    EXPECT_EQ(app->latestVersion(), v120);

    const auto march = makeVersion(QStringLiteral("500"), QStringLiteral("5.0"), {}, day(3, 1));
    const auto may = makeVersion(QStringLiteral("510"), QStringLiteral("5.1"), {}, day(5, 1));
    const auto older = makeVersion(QStringLiteral("490"), QStringLiteral("4.9"), {}, day(1, 1));
    EXPECT_EQ(makeApp({may, older, march})->latestMajorVersion(), march);
    EXPECT_EQ(makeApp({march, may})->latestMajorVersion(), march);
    const auto six = makeVersion(QStringLiteral("600"), QStringLiteral("6.0beta"), {}, day(9, 1));
    EXPECT_EQ(makeApp({march, six, may})->latestMajorVersion(), six);

    EXPECT_EQ(AFXAppVersionFind(*app, QStringLiteral("1.2")), v120);
    EXPECT_FALSE(AFXAppVersionFind(*app, QStringLiteral("1.2.0")));
}

TEST(AppModelVersions, PickingHonoursTheSystemVersion) {
    const EnvironmentOverride system({{"KESTREL_OS_VERSION", QByteArray("10.14.6")}});
    const auto old = makeVersion(QStringLiteral("100"), QStringLiteral("1.0"), QStringLiteral("10.12"));
    const auto fits = makeVersion(QStringLiteral("200"), QStringLiteral("2.0"), QStringLiteral("10.14.6"));
    const auto tooNew = makeVersion(QStringLiteral("300"), QStringLiteral("3.0"), QStringLiteral("10.15"));
    const auto newest = makeVersion(QStringLiteral("400"), QStringLiteral("4.0"), QStringLiteral("11.0"));
    // The maximum does not stop a version.
    fits->setMaxOSVersion(QStringLiteral("10.13"));
    Error error(QString(), 0);
    EXPECT_EQ(makeApp({old, tooNew, fits, newest})->pickAppVersion(&error), fits);
    EXPECT_EQ(error.code(), 0);

    const auto none = makeApp({tooNew, newest})->pickAppVersion(&error);
    EXPECT_FALSE(none);
    EXPECT_EQ(error.domain(), AFXDefaultErrorDomain);
    EXPECT_EQ(error.code(), -401044);
    EXPECT_EQ(error.localizedDescription(),
              QStringLiteral("This application requires macOS 11.0 or later to work on your computer. "
                             "Currently you have macOS 10.14.6."));
    EXPECT_EQ(error.localizedRecoverySuggestion(),
              QStringLiteral("Please update your operating system and try again."));
    EXPECT_FALSE(makeApp({tooNew})->pickAppVersion());

    // Equal store identifiers are ordered by their shown versions.
    const auto patch = makeVersion(QStringLiteral("200"), QStringLiteral("2.0.1"), QStringLiteral("10.10"));
    EXPECT_EQ(makeApp({old, fits, patch})->pickAppVersion(), patch);

    EXPECT_FALSE(AFXVerifyVersionSupport(*makeApp(), *fits));
    EXPECT_EQ(AFXVerifyVersionSupport(*makeApp(), *tooNew)->code(), -401044);

    AFXCodedInternalUpdateResource update;
    EXPECT_TRUE(AFXVerifyInternalUpdateVersionSupport(update));
    update.setMinOSVersion(QStringLiteral("10.14.6"));
    EXPECT_TRUE(AFXVerifyInternalUpdateVersionSupport(update));
    update.setMinOSVersion(QStringLiteral("10.15"));
    EXPECT_FALSE(AFXVerifyInternalUpdateVersionSupport(update, &error));
    EXPECT_EQ(error.code(), -401046);
}

TEST(AppModelResources, MakersIdentifyByHashOfURLAndVersion) {
    const auto app = makeApp();
    const auto plain = AFXCodedResource::resourceWithDownloadURL(archiveURL);
    EXPECT_EQ(plain->identifier(), QStringLiteral("227cb589e9c7762bbe2009670f31baad1ca9f4e7"));
    EXPECT_TRUE(std::dynamic_pointer_cast<AFXResourceMissingStatus>(plain->status()));
    EXPECT_EQ(plain->downloadURL(), archiveURL);
    EXPECT_EQ(plain->kind(), AFXResourceKindUndefined);
    EXPECT_EQ(plain->statsdID(), std::nullopt);
    EXPECT_EQ(AFXCodedResource::resourceWithDownloadURL(
                  QUrl(QStringLiteral("https://cdn.example.com/apps/café.zip")))
                  ->identifier(),
              QStringLiteral("9b302058a112088f51c07d36b4f4194cb884eba3"));

    const auto screenshot =
        AFXCodedAppResource::resourceWithDownloadURL<AFXCodedScreenshotResource>(archiveURL, *app);
    EXPECT_EQ(screenshot->appID(), 42);
    EXPECT_TRUE(screenshot->isEqual(*plain));

    const auto vendor =
        AFXCodedVendorInstallResource::resourceWithDownloadURL(archiveURL, *app, QStringLiteral("1.2.0"));
    EXPECT_EQ(vendor->identifier(), QStringLiteral("4463577a4a81ebcd727d3215379aaaea131da186"));
    EXPECT_EQ(vendor->appVersionID(), QStringLiteral("1.2.0"));
    EXPECT_EQ(vendor->appID(), 42);
    EXPECT_TRUE(vendor->isEqual(
        *AFXCodedVendorInstallResource::resourceWithDownloadURL(archiveURL, *app, QStringLiteral("1.2.0"))));
    EXPECT_FALSE(vendor->isEqual(
        *AFXCodedVendorInstallResource::resourceWithDownloadURL(archiveURL, *app, QStringLiteral("1.2.1"))));
    EXPECT_EQ(vendor->statsdID(), QStringLiteral("vendor_app"));

    const auto teaser =
        AFXCodedTeaserInstallResource::resourceWithDownloadURL(archiveURL, *app, QStringLiteral("0.7"));
    EXPECT_EQ(teaser->identifier(), QStringLiteral("2b23bbeedf46626349ddb8f7c9c2e44932a67f4b"));
    EXPECT_EQ(teaser->appVersion(), QStringLiteral("0.7"));
    EXPECT_EQ(teaser->teaserAppVersion(), 7);
    AFXCodedTeaserInstallResource oldTeaser;
    EXPECT_EQ(oldTeaser.appVersion(), QStringLiteral("0.0"));
    EXPECT_EQ(oldTeaser.teaserAppVersion(), 0);
    oldTeaser.setTeaserAppVersion(9);
    EXPECT_EQ(oldTeaser.appVersion(), QStringLiteral("0.9"));
}

TEST(AppModelResources, VendorAndTeaserResourceChoices) {
    const auto app = makeApp();
    const auto make = [&](const QString& versionID) {
        return AFXCodedVendorInstallResource::resourceWithDownloadURL(archiveURL, *app, versionID);
    };
    const auto v19 = make(QStringLiteral("1.9"));
    const auto v110 = make(QStringLiteral("1.10"));
    const auto v12 = make(QStringLiteral("1.2"));
    const auto icon = AFXCodedAppResource::resourceWithDownloadURL<AFXCodedAppIconResource>(archiveURL, *app);
    const QList<std::shared_ptr<AFXCodedAppResource>> resources{icon, v19, v110, v12};
    EXPECT_EQ(AFXVendorInstallResourceForVersion(*makeVersion(QStringLiteral("1.2"), {}), resources), v12);
    EXPECT_EQ(AFXVendorInstallResourceForVersion(*makeVersion(QStringLiteral("2.0"), {}), resources), v110);
    EXPECT_FALSE(AFXVendorInstallResourceForVersion(*makeVersion(QStringLiteral("2.0"), {}), {icon}));

    const auto teaser = [&](const QString& version) {
        return AFXCodedTeaserInstallResource::resourceWithDownloadURL(archiveURL, *app, version);
    };
    const auto t9 = teaser(QStringLiteral("0.9"));
    const auto t12 = teaser(QStringLiteral("0.12"));
    const auto t12again = teaser(QStringLiteral("0.12"));
    EXPECT_EQ(AFXLatestTeaserInstallResourceFromResources({t9, icon, t12, t12again}), t12);
    EXPECT_FALSE(AFXLatestTeaserInstallResourceFromResources({icon, v12}));

    auto withIcon = makeApp();
    EXPECT_FALSE(withIcon->iconResource());
    withIcon->setResources({v12, icon});
    EXPECT_EQ(withIcon->iconResource(), icon);
    EXPECT_EQ(withIcon->teaserBundleIdentifier(), QStringLiteral("com.kestrel.teaser.com-vendor-app"));
}

TEST(AppModelResources, KindsAndStatuses) {
    const std::tuple<std::int64_t, const char*, const char*> kinds[] = {
        {1, "screenshot", "screenshot"},
        {2, "teaserAppInstall", "teaser_app"},
        {3, "teaserAppUpdate", "teaser_app_update"},
        {4, "vendorAppInstall", "vendor_app"},
        {5, "vendorAppUpdate", "vendor_app_update"},
        {6, "internalAppUpdate", "internal_update"},
        {7, "appIcon", "app_icon"},
    };
    for (const auto& [kind, description, statsd] : kinds) {
        EXPECT_EQ(AFXResourceKindGetDescription(kind), QString::fromLatin1(description));
        EXPECT_EQ(AFXResourceKindGetStatsdID(kind), QString::fromLatin1(statsd));
    }
    EXPECT_EQ(AFXResourceKindGetDescription(0), QStringLiteral("undefined"));
    EXPECT_EQ(AFXResourceKindGetStatsdID(0), std::nullopt);
    EXPECT_EQ(AFXResourceKindGetDescription(8), std::nullopt);
    EXPECT_EQ(AFXCodedTeaserUpdateResource().kind(), 3);
    EXPECT_EQ(AFXCodedInternalUpdateResource().statsdID(), QStringLiteral("internal_update"));

    const QString path = testing_support::testRoot() + QStringLiteral("/stored.zip");
    ASSERT_TRUE(testing_support::writeFile(path, "zip"));
    const auto exists = AFXResourceExistsStatus::makeWithStorageURL(QUrl::fromLocalFile(path));
    auto resource = AFXCodedResource::resourceWithDownloadURL(archiveURL);
    EXPECT_EQ(resource->downloadedURL(), std::nullopt);
    resource->setStatus(exists);
    EXPECT_EQ(resource->downloadedURL(), QUrl::fromLocalFile(path));
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_EQ(resource->downloadedURL(), std::nullopt);
    EXPECT_TRUE(exists->isEqual(*AFXResourceExistsStatus::makeWithStorageURL(QUrl::fromLocalFile(path))));
    EXPECT_FALSE(exists->isEqual(
        *AFXResourceExistsStatus::makeWithStorageURL(QUrl::fromLocalFile(path + QStringLiteral("2")))));
    EXPECT_EQ(exists->copy(), exists);

    const std::shared_ptr<AFXResourceStatus> missing = std::make_shared<AFXResourceMissingStatus>();
    const std::shared_ptr<AFXResourceStatus> otherMissing = std::make_shared<AFXResourceMissingStatus>();
    EXPECT_EQ(AFXResourceStatus::mergeOldStatus(missing, exists), exists);
    EXPECT_EQ(AFXResourceStatus::mergeOldStatus(exists, missing), exists);
    EXPECT_EQ(AFXResourceStatus::mergeOldStatus(missing, otherMissing), otherMissing);
    EXPECT_EQ(AFXResourceStatus::mergeOldStatus(nullptr, missing), missing);
    EXPECT_EQ(AFXResourceStatus::mergeOldStatus(missing, nullptr), missing);

    // An exists status without a storage URL is not a status.
    QCborMap forged;
    forged.insert(QStringLiteral("$class"), QStringLiteral("AFXResourceExistsStatus"));
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClass<AFXResourceStatus>(QCborValue(forged).toCbor()));
}

} // namespace
