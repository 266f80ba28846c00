// The development catalogue as the build leaves it: what the store serves
// from it, and the apps themselves, unpacked, checked and started.

#include "Curl.h"
#include "SpecificTools/AFXAppInstaller/AFXUnpack.h"
#include "SpecificTools/AFXAppInstaller/AFXValidateApp.h"
#include "platform/Bundle.h"
#include "platform/CodeSigningTrust.h"
#include "platform/Paths.h"
#include "testing/StoreProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <set>
#include <string>

using namespace store_tests;
using testing_support::StoreProcess;

namespace {

const QString kStoreRoot = QStringLiteral(KESTREL_STORE_ROOT);
const QString kCataloguePath = QStringLiteral("/api/store/catalogue.json");

QJsonArray appsOf(const QByteArray& catalogue) {
    return QJsonDocument::fromJson(catalogue).object().value(QStringLiteral("apps")).toArray();
}

TEST(Catalogue, ServedCatalogueNamesTheAppsWithTheSizesOfTheirServedArchives) {
    const auto store = StoreProcess::start(kStoreRoot);
    ASSERT_TRUE(store);
    const auto catalogue = curl(*store, kCataloguePath);
    ASSERT_EQ(catalogue.status, 200);
    EXPECT_EQ(catalogue.header("content-type"), QByteArray("application/json"));
    const QJsonObject document = QJsonDocument::fromJson(catalogue.body).object();
    const QJsonArray apps = document.value(QStringLiteral("apps")).toArray();

    const std::set<std::pair<int, std::string>> expected{{230, "com.orbitlabs.OrbitNotes"},
                                                         {231, "com.cometworks.CometDraw"},
                                                         {232, "com.nebulasoft.NebulaTasks"}};
    std::set<std::pair<int, std::string>> listed;
    QJsonArray ids;
    // Archives and resources are named relative to the catalogue's URL.
    const QUrl catalogueURL(storeURL(*store, kCataloguePath));
    auto fetch = [&](const QString& relative) {
        const QUrl url = catalogueURL.resolved(QUrl(relative));
        EXPECT_EQ(url.host(), catalogueURL.host()) << relative.toStdString();
        return curl(*store, url.path(QUrl::FullyEncoded));
    };
    for (const QJsonValue& entry : apps) {
        const QJsonObject app = entry.toObject();
        const int id = app.value(QStringLiteral("id")).toInt();
        listed.insert({id, app.value(QStringLiteral("bundle_identifier")).toString().toStdString()});
        ids.append(id);
        SCOPED_TRACE(id);
        EXPECT_EQ(app.value(QStringLiteral("bundle_name")).toString(),
                  app.value(QStringLiteral("name")).toString() + QStringLiteral(".app"));

        const QString archive = app.value(QStringLiteral("archive")).toString();
        const auto served = fetch(archive);
        ASSERT_EQ(served.status, 200) << archive.toStdString();
        EXPECT_TRUE(served.body.startsWith("PK\x03\x04"));
        const QJsonArray versions = app.value(QStringLiteral("versions")).toArray();
        ASSERT_EQ(versions.size(), 1);
        EXPECT_EQ(versions.at(0).toObject().value(QStringLiteral("size")).toInteger(), served.body.size());

        std::set<std::string> kinds;
        for (const QJsonValue& resource : app.value(QStringLiteral("resources")).toArray()) {
            kinds.insert(resource.toObject().value(QStringLiteral("kind")).toString().toStdString());
            const auto picture = fetch(resource.toObject().value(QStringLiteral("path")).toString());
            EXPECT_EQ(picture.status, 200);
            EXPECT_EQ(picture.header("content-type"), QByteArray("image/png"));
            EXPECT_TRUE(picture.body.startsWith("\x89PNG\r\n\x1a\n"));
        }
        EXPECT_EQ(kinds, (std::set<std::string>{"icon", "screenshot"}));
    }
    EXPECT_EQ(listed, expected);

    const QJsonArray collections = document.value(QStringLiteral("collections")).toArray();
    ASSERT_EQ(collections.size(), 1);
    EXPECT_EQ(collections.at(0).toObject().value(QStringLiteral("app_ids")).toArray(), ids);
}

TEST(Catalogue, EveryAppUnpacksToATeamSignedBundleThatLogsItsLaunch) {
    // Only a root that installs the development root trusts what it signed.
    const QString trusted = platform::Paths::resolve(platform::CodeSigningTrust::trustedRootsFolder);
    ASSERT_TRUE(QDir().mkpath(trusted));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KESTREL_SIGNING_DIR "/DevelopmentRoot.pem"),
                            trusted + QStringLiteral("/DevelopmentRoot.pem")));

    const QJsonArray apps = appsOf(testing_support::readFile(kStoreRoot + kCataloguePath));
    ASSERT_FALSE(apps.isEmpty());
    QByteArray expectedLog;
    for (const QJsonValue& entry : apps) {
        const QJsonObject app = entry.toObject();
        const QString identifier = app.value(QStringLiteral("bundle_identifier")).toString();
        SCOPED_TRACE(identifier.toStdString());
        const QString archive =
            kStoreRoot + QStringLiteral("/api/store/") + app.value(QStringLiteral("archive")).toString();

        platform::Error error(QString(), 0);
        const auto unpacked = AFXUnpack(
            QUrl::fromLocalFile(archive), [](double) {}, &error);
        ASSERT_TRUE(unpacked) << error.description().toStdString();
        EXPECT_EQ(QFileInfo(unpacked->toLocalFile()).fileName(),
                  app.value(QStringLiteral("bundle_name")).toString());
        EXPECT_TRUE(AFXValidateApp(*unpacked, AFXValidationTeam, &error))
            << error.description().toStdString();

        const auto bundle = platform::Bundle::bundleWithURL(*unpacked);
        ASSERT_TRUE(bundle);
        EXPECT_EQ(bundle->bundleIdentifier(), identifier);
        EXPECT_EQ(bundle->objectForInfoDictionaryKey(QStringLiteral("CFBundleShortVersionString")).toString(),
                  app.value(QStringLiteral("versions"))
                      .toArray()
                      .at(0)
                      .toObject()
                      .value(QStringLiteral("ui_version"))
                      .toString());
        const auto run = testing_support::runProgram(bundle->executablePath(),
                                                     {QStringLiteral("--open"), QStringLiteral("two words")});
        EXPECT_EQ(run.status, 0) << run.errors.toStdString();
        expectedLog += identifier.toUtf8() + " --open two words\n";
    }
    // Each run appended exactly its own line, under the test's root.
    EXPECT_EQ(testing_support::readFile(
                  platform::Paths::resolve(QStringLiteral("~/Library/Logs/Kestrel/launched-apps.log"))),
              expectedLog);
}

} // namespace
