#include "SpecificTools/Model/AFXAppWorkflow.h"
#include "SpecificTools/Model/AFXTeaserAppInstance.h"
#include "SpecificTools/Model/AFXVendorAppInstance.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/PropertyList.h"
#include "platform/Task.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QCborMap>
#include <QCborValue>
#include <QDir>
#include <QFile>

using namespace platform;
using testing_support::testRoot;

namespace {

// Writes an app bundle with these Info.plist entries (none: no Info.plist) and answers its URL.
QUrl makeBundle(const QString& path, const std::optional<Value::Dictionary>& info = Value::Dictionary{}) {
    const QString bundle = testRoot() + path;
    EXPECT_TRUE(QDir().mkpath(bundle + QStringLiteral("/Contents/MacOS")));
    if (info) {
        EXPECT_TRUE(
            testing_support::writeFile(bundle + QStringLiteral("/Contents/Info.plist"),
                                       *PropertyList::write(Value(*info), PropertyList::Format::XML)));
    }
    return QUrl::fromLocalFile(bundle);
}

std::shared_ptr<AFXTeaserAppInstance> teaserAt(const QString& path, std::int64_t appID = 42) {
    return AFXTeaserAppInstance::makeWithAppID(appID, makeBundle(path), QStringLiteral("0.3"));
}

std::shared_ptr<AFXAppInstance> roundTrip(const std::shared_ptr<AFXAppInstance>& instance,
                                          QCborMap* wire = nullptr) {
    const auto data = KeyedArchiver::archivedDataWithRootObject(instance);
    EXPECT_TRUE(data);
    if (!data) {
        return nullptr;
    }
    if (wire) {
        *wire = QCborValue::fromCbor(*data).toMap();
    }
    return KeyedUnarchiver::unarchivedObjectOfClass<AFXAppInstance>(*data);
}

} // namespace

TEST(AppInstance, IsNotMadeForAMissingPathOrABundleWithoutWhatItNeeds) {
    const QUrl missing = QUrl::fromLocalFile(testRoot() + QStringLiteral("/Applications/Missing.app"));
    EXPECT_FALSE(AFXTeaserAppInstance::makeWithAppID(1, missing, QStringLiteral("0.1")));
    EXPECT_FALSE(
        AFXVendorAppInstance::makeWithAppID(1, missing, QStringLiteral("1.0"), QStringLiteral("100")));
    EXPECT_FALSE(
        AFXVendorAppInstance::makeWithAppID(1, makeBundle(QStringLiteral("/Bare.app"), std::nullopt)));

    const QUrl numeric =
        makeBundle(QStringLiteral("/Numeric.app"), Value::Dictionary{{"AFXTeaserInternalVersion", 3}});
    EXPECT_FALSE(AFXTeaserAppInstance::makeWithAppID(1, numeric));
    const QUrl teaser =
        makeBundle(QStringLiteral("/Teaser.app"), Value::Dictionary{{"AFXTeaserInternalVersion", "0.4"}});
    const auto instance = AFXTeaserAppInstance::makeWithAppID(1, teaser);
    ASSERT_TRUE(instance);
    EXPECT_EQ(instance->version(), QStringLiteral("0.4"));
    EXPECT_EQ(instance->appVersion(), 4);
    EXPECT_EQ(instance->kind(), AFXAppInstanceKind::Teaser);
}

TEST(AppInstance, VendorReadsItsInfoPlistTravelsAsAPathURLAndComesBackAsAReference) {
    const QUrl url =
        makeBundle(QStringLiteral("/Applications/Vendor.app"),
                   Value::Dictionary{{"CFBundleShortVersionString", "3.0"}, {"CFBundleVersion", "300"}});
    const auto vendor = AFXVendorAppInstance::makeWithAppID(9, url);
    ASSERT_TRUE(vendor);
    EXPECT_EQ(vendor->appVersionID(), QStringLiteral("3.0"));
    EXPECT_EQ(vendor->kind(), AFXAppInstanceKind::Vendor);
    QCborMap wire;
    const auto back = std::dynamic_pointer_cast<AFXVendorAppInstance>(roundTrip(vendor, &wire));
    ASSERT_TRUE(back);
    EXPECT_EQ(wire.value(QStringLiteral("URL")).toUrl(), url);
    EXPECT_EQ(wire.value(QStringLiteral("appVersionID")).toString(), QStringLiteral("3.0"));
    EXPECT_EQ(back->appVersion(), QStringLiteral("300"));
    EXPECT_TRUE(back->isEqual(*vendor));
    EXPECT_EQ(back->hash(), vendor->hash());

    // The decoded reference follows the app.
    const QString moved = testRoot() + QStringLiteral("/Moved.app");
    ASSERT_TRUE(QDir().rename(url.toLocalFile(), moved));
    EXPECT_EQ(back->filePath(), moved);
    EXPECT_EQ(vendor->filePath(), moved);
    EXPECT_TRUE(back->description().endsWith(QStringLiteral(" appID = 9 at ") + moved));

    // A path where nothing is any more decodes to no reference.
    const auto data = *KeyedArchiver::archivedDataWithRootObject(vendor);
    ASSERT_TRUE(QDir(moved).removeRecursively());
    const auto orphan = KeyedUnarchiver::unarchivedObjectOfClass<AFXVendorAppInstance>(data);
    ASSERT_TRUE(orphan);
    EXPECT_FALSE(orphan->URL());
    EXPECT_FALSE(orphan->exists());
    EXPECT_FALSE(vendor->exists());
}

TEST(AppInstance, ExistsOnlyOutsideTrashAndBackupsAndOnTheRootVolume) {
    const auto applications = teaserAt(QStringLiteral("/Applications/Tool.app"));
    const auto trashed = teaserAt(QStringLiteral("/home/.Trash/Tool.app"));
    const auto backedUp = teaserAt(QStringLiteral("/Volumes/Disk/Backups.backupdb/Mac/Latest/Tool.app"));
    ASSERT_TRUE(applications && trashed && backedUp);
    EXPECT_TRUE(applications->exists());
    EXPECT_TRUE(applications->existsOnRootVolume());
    EXPECT_FALSE(trashed->exists());
    EXPECT_FALSE(trashed->existsOnRootVolume());
    EXPECT_FALSE(backedUp->exists());

    // Moving an app into the Trash is seen by the instance made before.
    ASSERT_TRUE(
        QDir().rename(applications->filePath(), testRoot() + QStringLiteral("/home/.Trash/Moved.app")));
    EXPECT_FALSE(applications->exists());

    const auto elsewhere = AFXTeaserAppInstance::makeWithAppID(
        1, QUrl::fromLocalFile(QStringLiteral("/proc")), QStringLiteral("0.1"));
    ASSERT_TRUE(elsewhere);
    EXPECT_TRUE(elsewhere->exists());
    EXPECT_FALSE(elsewhere->existsOnRootVolume());
}

TEST(AppInstance, TeaserVersionIsDerivedFromWhicheverFormIsKnown) {
    const auto teaser = teaserAt(QStringLiteral("/Applications/Teaser.app"));
    ASSERT_TRUE(teaser);
    teaser->setVersion(std::nullopt);
    EXPECT_EQ(teaser->version(), QStringLiteral("0.0"));
    EXPECT_EQ(teaser->appVersion(), 0);

    teaser->setAppVersion(7);
    EXPECT_EQ(teaser->version(), QStringLiteral("0.7"));
    EXPECT_EQ(teaser->appVersion(), 7);

    teaser->setAppVersion(std::nullopt);
    for (const auto& [version, number] : std::vector<std::pair<QString, std::int64_t>>{
             {QStringLiteral("0.7"), 7}, {QStringLiteral("0.0"), 0}, {QStringLiteral("1.12.0"), 12}}) {
        teaser->setVersion(version);
        EXPECT_EQ(teaser->appVersion(), number) << version.toStdString();
    }

    // Only what was stored travels; the other form is derived again on arrival.
    teaser->setVersion(std::nullopt);
    teaser->setAppVersion(5);
    QCborMap wire;
    const auto back = std::dynamic_pointer_cast<AFXTeaserAppInstance>(roundTrip(teaser, &wire));
    ASSERT_TRUE(back);
    EXPECT_FALSE(wire.contains(QStringLiteral("version")));
    EXPECT_EQ(back->version(), QStringLiteral("0.5"));
    EXPECT_EQ(back->objectForNotification(), QStringLiteral("42 - ") + teaser->filePath());
}

TEST(AppInstance, EqualityNeedsTheSameAppIDPlaceAndKind) {
    const QUrl url = makeBundle(QStringLiteral("/Applications/Same.app"),
                                Value::Dictionary{{"CFBundleShortVersionString", "1.0"}});
    const auto teaser = AFXTeaserAppInstance::makeWithAppID(5, url, QStringLiteral("0.1"));
    const auto sameTeaser = AFXTeaserAppInstance::makeWithAppID(5, url, QStringLiteral("0.9"));
    const auto otherApp = AFXTeaserAppInstance::makeWithAppID(6, url, QStringLiteral("0.1"));
    const auto vendor = AFXVendorAppInstance::makeWithAppID(5, url);
    const auto elsewhere = teaserAt(QStringLiteral("/Applications/Other.app"), 5);
    ASSERT_TRUE(teaser && sameTeaser && otherApp && vendor && elsewhere);
    EXPECT_TRUE(teaser->isEqual(*sameTeaser));
    EXPECT_EQ(teaser->hash(), sameTeaser->hash());
    EXPECT_FALSE(teaser->isEqual(*otherApp));
    EXPECT_FALSE(teaser->isEqual(*vendor));
    EXPECT_FALSE(teaser->isEqual(*elsewhere));

    const auto copy = std::dynamic_pointer_cast<AFXTeaserAppInstance>(teaser->copy());
    ASSERT_TRUE(copy);
    EXPECT_NE(copy, teaser);
    EXPECT_TRUE(copy->isEqual(*teaser));
    EXPECT_EQ(copy->version(), QStringLiteral("0.1"));
}

TEST(AppInstance, CategoryIsReadOnceAndWrittenAsWords) {
    const QString plist = testRoot() + QStringLiteral("/Applications/Dev.app/Contents/Info.plist");
    const auto dev = AFXVendorAppInstance::makeWithAppID(
        1,
        makeBundle(QStringLiteral("/Applications/Dev.app"),
                   Value::Dictionary{{"LSApplicationCategoryType", "public.app-category.developer-tools"}}));
    const auto plain =
        AFXVendorAppInstance::makeWithAppID(2, makeBundle(QStringLiteral("/Applications/Plain.app"),
                                                          Value::Dictionary{{"CFBundleVersion", "1"}}));
    ASSERT_TRUE(dev && plain);
    EXPECT_EQ(dev->appCategory(), QStringLiteral("Developer Tools"));
    EXPECT_EQ(dev->localizedAppCategory(), QStringLiteral("Developer Tools"));
    EXPECT_EQ(plain->appCategory(), QStringLiteral("Other"));

    ASSERT_TRUE(QFile::remove(plist));
    EXPECT_EQ(dev->appCategory(), QStringLiteral("Developer Tools"));
}

TEST(AppInstance, FindsItsRunningApplicationByTheBundleItself) {
    const QUrl url =
        makeBundle(QStringLiteral("/Applications/Runner.app"),
                   Value::Dictionary{{"CFBundleShortVersionString", "1.0"}, {"CFBundleVersion", "1"}});
    const QString executable = url.toLocalFile() + QStringLiteral("/Contents/MacOS/runner");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), executable));
    const auto instance = AFXVendorAppInstance::makeWithAppID(5, url);
    ASSERT_TRUE(instance);
    EXPECT_FALSE(instance->runningApplication());

    auto task = Task::make();
    task->setLaunchPath(executable);
    task->setArguments({QStringLiteral("30")});
    ASSERT_TRUE(task->launch());
    const auto running = instance->runningApplication();
    ASSERT_TRUE(running);
    EXPECT_EQ(running->processIdentifier(), task->processIdentifier());
    EXPECT_EQ(running->bundlePath(), url.toLocalFile());
    // Another bundle at another place is not this one.
    const auto other =
        AFXVendorAppInstance::makeWithAppID(5, makeBundle(QStringLiteral("/Applications/Other.app"),
                                                          Value::Dictionary{{"CFBundleVersion", "1"}}));
    ASSERT_TRUE(other);
    EXPECT_FALSE(other->runningApplication());

    task->terminate();
    ASSERT_TRUE(task->waitUntilExit(std::chrono::seconds(10)));
    EXPECT_FALSE(instance->runningApplication());
}

TEST(AppWorkflow, TravelsCopiesAndComparesByAppID) {
    const QUrl appURL = QUrl::fromLocalFile(QStringLiteral("/Applications/Tool.app"));
    const auto workflow = AFXAppWorkflow::makeWithAppID(31, appURL);
    workflow->setState(1);
    workflow->setTemporaryAppURL(QUrl::fromLocalFile(QStringLiteral("/tmp/Tool.app")));
    workflow->setFractionCompleted(0.25);

    const auto data = KeyedArchiver::archivedDataWithRootObject(workflow);
    ASSERT_TRUE(data);
    const auto back = KeyedUnarchiver::unarchivedObjectOfClass<AFXAppWorkflow>(*data);
    ASSERT_TRUE(back);
    const auto copy = std::dynamic_pointer_cast<AFXAppWorkflow>(workflow->copy());
    ASSERT_TRUE(copy);
    EXPECT_NE(copy, workflow);
    for (const auto& other : {back, copy}) {
        EXPECT_EQ(other->appID(), 31);
        EXPECT_EQ(other->state(), 1);
        EXPECT_EQ(other->temporaryAppURL(), QUrl::fromLocalFile(QStringLiteral("/tmp/Tool.app")));
        EXPECT_EQ(other->appURL(), appURL);
        EXPECT_DOUBLE_EQ(other->fractionCompleted(), 0.25);
    }
    copy->setFractionCompleted(3);
    EXPECT_DOUBLE_EQ(copy->fractionCompleted(), 1);
    EXPECT_DOUBLE_EQ(workflow->fractionCompleted(), 0.25);

    const auto sameApp = AFXAppWorkflow::makeWithAppID(31, QUrl::fromLocalFile(QStringLiteral("/elsewhere")));
    EXPECT_TRUE(workflow->isEqual(*sameApp));
    EXPECT_EQ(workflow->hash(), sameApp->hash());
    EXPECT_FALSE(workflow->isEqual(*AFXAppWorkflow::makeWithAppID(32, appURL)));
    EXPECT_EQ(workflow->objectForNotification(), QStringLiteral("31 - /Applications/Tool.app"));
    EXPECT_TRUE(workflow->description().endsWith(QStringLiteral(" appID = 31 at /Applications/Tool.app")));
}
