#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Model/AFXBase32.h"
#include "SpecificTools/Model/AFXDefaultEnvironmentID.h"
#include "SpecificTools/Model/AFXEndpointsManifest.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "SpecificTools/Model/AFXManifestURLBasedEnvironmentID.h"
#include "platform/JSONSerialization.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "support/BRJSONParser.h"
#include "testing/ArchiveRoundTrip.h"
#include "testing/EnvironmentOverride.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

using platform::Error;
using platform::Value;

namespace {

const QString kStagingURL = QStringLiteral("https://staging.example.test/endpoints.json");

using testing_support::archiveRoundTrip;

Value json(const char* text) {
    Error error(QString(), 0);
    const auto value = platform::JSONSerialization::read(QByteArray(text), &error);
    EXPECT_TRUE(value) << error.description().toStdString();
    return value.value_or(Value());
}

const char* const kManifestJSON = R"({"data": {"attributes": {"name": "Staging"},
  "relationships": {"endpoints": [
    {"data": {"id": "customer", "attributes": {"base_url": "https://accounts.example.test/v1", "self_sufficient": 0}}},
    {"data": {"id": "store", "attributes": {"base_url": "https://store.example.test", "self_sufficient": 1}}},
    {"data": {"id": "mirror", "attributes": {"base_url": "https://mirror.example.test", "self_sufficient": 1}}},
    {"data": {"id": "reporting", "attributes": {"base_url": "https://usage.example.test", "self_sufficient": true}}},
    {"data": {"id": "recommendations", "attributes": {"base_url": "https://picks.example.test", "self_sufficient": false}}}
  ]}}})";

TEST(Base32, EncodesAndDecodesTheKnownVectors) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "MY======"},
        {"fo", "MZXQ===="},
        {"foo", "MZXW6==="},
        {"foob", "MZXW6YQ="},
        {"fooba", "MZXW6YTB"},
        {"foobar", "MZXW6YTBOI======"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(afx_base32EncodedString(QByteArray(plain)), QString::fromLatin1(encoded)) << plain;
        EXPECT_EQ(afx_base32DecodedData(QString::fromLatin1(encoded)), QByteArray(plain)) << encoded;
    }
    EXPECT_EQ(afx_base32DecodedData(QStringLiteral("mzxw6ytboi======")), QByteArray("foobar"));
    const QByteArray binary("\x00\xff\x10\x80\x7f", 5);
    EXPECT_EQ(afx_base32DecodedData(afx_base32EncodedString(binary)), binary);
    // Wrong length, a character outside the alphabet, a digit count no group
    // has, padding in the middle, left-over bits that are not zero.
    for (const char* bad : {"MZXW6YQ", "MZXW6YQ1", "M=======", "MZXW6===MZXW6===", "MZ======", "========"}) {
        EXPECT_FALSE(afx_base32DecodedData(QString::fromLatin1(bad))) << bad;
    }
}

TEST(EnvironmentID, DefaultAndManifestBasedFormsNameTheirEnvironment) {
    testing_support::EnvironmentOverride noStore({{"KESTREL_ENDPOINTS_MANIFEST_URL", std::nullopt}});
    const auto standard = AFXEnvironmentID::defaultEnvironmentID();
    EXPECT_EQ(standard->manifestURL().scheme(), QStringLiteral("https"));
    EXPECT_FALSE(standard->manifestURL().host().isEmpty());
    EXPECT_EQ(standard->manifestURL().path(), QStringLiteral("/endpoints.json"));
    EXPECT_EQ(standard->userDefaultsValue(), QStringLiteral("default"));
    EXPECT_FALSE(standard->URLQueryValue());
    EXPECT_EQ(standard->directoryName(), QStringLiteral("Default"));
    EXPECT_EQ(standard->description(), QStringLiteral("Default"));
    EXPECT_EQ(standard->statsdID(), QStringLiteral("production"));
    EXPECT_TRUE(standard->isDefault());
    EXPECT_TRUE(standard->isAnalyticsTrackingEnabled());

    const auto staging = AFXEnvironmentID::environmentIDWithManifestURL(QUrl(kStagingURL));
    EXPECT_EQ(staging->manifestURL(), QUrl(kStagingURL));
    EXPECT_EQ(staging->userDefaultsValue(), kStagingURL);
    EXPECT_EQ(staging->URLQueryValue(),
              QStringLiteral("NB2HI4DTHIXS643UMFTWS3THFZSXQYLNOBWGKLTUMVZXIL3FNZSHA33JNZ2HGLTKONXW4==="));
    EXPECT_EQ(staging->directoryName(), QStringLiteral("4417d79022a6bd831af7c2f15e189386"));
    EXPECT_EQ(staging->description(), QStringLiteral("Manifest URL ") + kStagingURL);
    EXPECT_FALSE(staging->statsdID());
    EXPECT_FALSE(staging->isDefault());
    EXPECT_FALSE(staging->isAnalyticsTrackingEnabled());
}

TEST(EnvironmentID, DevelopmentStoreReplacesTheDefaultManifestHost) {
    testing_support::EnvironmentOverride store(
        {{"KESTREL_ENDPOINTS_MANIFEST_URL", "http://127.0.0.1:8443/ignored?x=1"}});
    EXPECT_EQ(AFXEnvironmentID::defaultEnvironmentID()->manifestURL(),
              QUrl(QStringLiteral("http://127.0.0.1:8443/endpoints.json")));
    // The stored form does not depend on where the default store is.
    EXPECT_EQ(AFXEnvironmentID::defaultEnvironmentID()->userDefaultsValue(), QStringLiteral("default"));
}

TEST(EnvironmentID, StoredAndQueryFormsParseBackAndAnythingElseIsTheDefault) {
    for (const std::optional<QString>& string :
         {std::optional<QString>(), std::optional<QString>(QStringLiteral("default")),
          std::optional<QString>(QStringLiteral("not a url")), std::optional<QString>(QString()),
          std::optional<QString>(QStringLiteral("http://bad host/x"))}) {
        EXPECT_TRUE(AFXEnvironmentID::environmentWithURLString(string)->isDefault())
            << string.value_or("none").toStdString();
        EXPECT_TRUE(AFXEnvironmentID::environmentWithUserDefaultsValue(string)->isDefault());
    }

    const auto parsed = AFXEnvironmentID::environmentWithUserDefaultsValue(kStagingURL);
    ASSERT_FALSE(parsed->isDefault());
    EXPECT_EQ(parsed->userDefaultsValue(), kStagingURL);

    const auto staging = AFXEnvironmentID::environmentIDWithManifestURL(QUrl(kStagingURL));
    const auto fromQuery = AFXEnvironmentID::environmentWithURLQueryValue(staging->URLQueryValue());
    EXPECT_FALSE(fromQuery->isDefault());
    EXPECT_TRUE(fromQuery->isEqual(*staging));
    EXPECT_TRUE(AFXEnvironmentID::environmentWithURLQueryValue(std::nullopt)->isDefault());
    EXPECT_TRUE(AFXEnvironmentID::environmentWithURLQueryValue(QStringLiteral("NB2H!==="))->isDefault());
    EXPECT_TRUE(
        AFXEnvironmentID::environmentWithURLQueryValue(QStringLiteral("MZXW6YTB\u00e9"))->isDefault());
    // Base32 of "default".
    EXPECT_TRUE(
        AFXEnvironmentID::environmentWithURLQueryValue(afx_base32EncodedString("default"))->isDefault());
}

TEST(EnvironmentID, EqualityHashAndArchives) {
    const auto first = AFXEnvironmentID::defaultEnvironmentID();
    const auto second = AFXEnvironmentID::environmentWithURLString(QStringLiteral("default"));
    EXPECT_NE(first, second);
    EXPECT_TRUE(first->isEqual(*second));
    EXPECT_EQ(first->hash(), second->hash());

    const auto staging = AFXEnvironmentID::environmentIDWithManifestURL(QUrl(kStagingURL));
    const auto sameStaging = AFXEnvironmentID::environmentWithURLString(kStagingURL);
    const auto other = AFXEnvironmentID::environmentWithURLString(
        QStringLiteral("https://other.example.test/endpoints.json"));
    EXPECT_TRUE(staging->isEqual(*sameStaging));
    EXPECT_EQ(staging->hash(), sameStaging->hash());
    EXPECT_FALSE(staging->isEqual(*other));
    EXPECT_FALSE(staging->isEqual(*first));
    EXPECT_FALSE(first->isEqual(*staging));

    // Decoding takes either form where an identifier is allowed.
    for (const std::shared_ptr<AFXEnvironmentID>& identifier : {first, staging}) {
        const auto data = platform::KeyedArchiver::archivedDataWithRootObject(identifier);
        ASSERT_TRUE(data);
        const auto back = platform::KeyedUnarchiver::unarchivedObjectOfClass<AFXEnvironmentID>(*data);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->className(), identifier->className());
        EXPECT_TRUE(back->isEqual(*identifier));
        EXPECT_EQ(back->userDefaultsValue(), identifier->userDefaultsValue());
    }
}

TEST(EndpointsManifest, ReadsTheNamedEndpointsAndSkipsOthers) {
    auto manifest = AFXEndpointsManifest::make();
    Error error(QString(), 0);
    ASSERT_TRUE(manifest->setupWithJSON(json(kManifestJSON), &error)) << error.description().toStdString();
    EXPECT_EQ(manifest->name(), QStringLiteral("Staging"));
    ASSERT_TRUE(manifest->endpointForCustomerAPI());
    EXPECT_EQ(manifest->endpointForCustomerAPI()->URL(),
              QUrl(QStringLiteral("https://accounts.example.test/v1")));
    EXPECT_TRUE(manifest->endpointForCustomerAPI()->isNeedy());
    ASSERT_TRUE(manifest->endpointForStoreAPI());
    EXPECT_EQ(manifest->endpointForStoreAPI()->URL(), QUrl(QStringLiteral("https://store.example.test")));
    EXPECT_TRUE(manifest->endpointForStoreAPI()->isSelfSufficient());
    ASSERT_TRUE(manifest->endpointForUsageReportingAPI());
    EXPECT_EQ(manifest->endpointForUsageReportingAPI()->type(), 1u);
    ASSERT_TRUE(manifest->endpointForRecommendationsAPI());
    EXPECT_EQ(manifest->endpointForRecommendationsAPI()->type(), 0u);
    EXPECT_EQ(manifest->endpointForRecommendationsAPI()->URL(),
              QUrl(QStringLiteral("https://picks.example.test")));

    // Endpoints are equal by URL whatever their type.
    const auto needy = AFXEndpoint::makeWithType(0, QUrl(QStringLiteral("https://store.example.test")));
    EXPECT_TRUE(needy->isEqual(*manifest->endpointForStoreAPI()));
    EXPECT_FALSE(needy->isEqual(*manifest->endpointForCustomerAPI()));

    manifest->setOriginURL(QUrl(kStagingURL));
    const auto back = archiveRoundTrip(manifest);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name(), manifest->name());
    EXPECT_EQ(back->originURL(), QUrl(kStagingURL));
    ASSERT_TRUE(back->endpointForUsageReportingAPI());
    EXPECT_TRUE(back->endpointForUsageReportingAPI()->isSelfSufficient());
    EXPECT_EQ(back->endpointForUsageReportingAPI()->URL(), manifest->endpointForUsageReportingAPI()->URL());
    EXPECT_TRUE(back->endpointForRecommendationsAPI()->isNeedy());
    EXPECT_NE(manifest->copy(), manifest);
}

TEST(EndpointsManifest, CorruptedManifestsFailWithTheFirstProblem) {
    struct Case {
        const char* json;
        QString domain;
        std::int64_t code;
    };
    const Case cases[] = {
        // The first endpoint lacks its base URL.
        {R"({"data": {"attributes": {"name": "S"}, "relationships": {"endpoints": [
            {"data": {"id": "store", "attributes": {"self_sufficient": 1}}}]}}})",
         AFXDefaultErrorDomain, AFXErrorCodeCorruptedEndpointsManifest},
        {R"({"data": {"attributes": {"name": "S"}, "relationships": {"endpoints": [
            {"data": {"id": "store", "attributes": {"base_url": "not a url", "self_sufficient": 1}}}]}}})",
         AFXDefaultErrorDomain, AFXErrorCodeCorruptedEndpointsManifest},
        {R"({"data": {"relationships": {"endpoints": []}}})", BRJSONParserErrorDomain,
         BRJSONParserMissingValueError},
        {R"({"data": {"attributes": {"name": "S"}, "relationships": {"endpoints": {}}}})",
         BRJSONParserErrorDomain, BRJSONParserIncorrectTypeError},
        {R"({"data": {"attributes": {"name": "S"}, "relationships": {"endpoints": [
            {"data": {"id": "store", "attributes": {"base_url": "https://store.example.test"}}}]}}})",
         BRJSONParserErrorDomain, BRJSONParserMissingValueError},
        // The reader stops at the mistyped identifier, so the base URL reads as missing.
        {R"({"data": {"attributes": {"name": "S"}, "relationships": {"endpoints": [
            {"data": {"id": 7, "attributes": {"base_url": "https://store.example.test", "self_sufficient": 1}}}]}}})",
         AFXDefaultErrorDomain, AFXErrorCodeCorruptedEndpointsManifest},
        {R"({"data": {"attributes": {"name": "S"}, "relationships": {"endpoints": [
            {"data": {"id": "store", "attributes": {"base_url": "https://store.example.test", "self_sufficient": "1"}}}]}}})",
         BRJSONParserErrorDomain, BRJSONParserIncorrectTypeError},
        {R"(["data"])", AFXDefaultErrorDomain, AFXErrorCodeCorruptedEndpointsManifest},
    };
    for (const Case& c : cases) {
        auto manifest = AFXEndpointsManifest::make();
        ASSERT_TRUE(manifest->setupWithJSON(json(kManifestJSON)));
        Error error(QString(), 0);
        EXPECT_FALSE(manifest->setupWithJSON(json(c.json), &error)) << c.json;
        EXPECT_EQ(error.domain(), c.domain) << c.json;
        EXPECT_EQ(error.code(), c.code) << c.json;
        // A failed setup leaves what was there.
        EXPECT_EQ(manifest->name(), QStringLiteral("Staging"));
        EXPECT_TRUE(manifest->endpointForStoreAPI() && manifest->endpointForStoreAPI()->isSelfSufficient());
    }
}

TEST(Environment, MakingOneCreatesItsFolders) {
    const QString root = testing_support::testRoot();
    // An ordinary file where the teasers folder belongs is replaced.
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/Users/Shared/Kestrel")));
    ASSERT_TRUE(
        testing_support::writeFile(root + QStringLiteral("/Users/Shared/Kestrel/Apps"), "in the way"));

    auto manifest = AFXEndpointsManifest::make();
    ASSERT_TRUE(manifest->setupWithJSON(json(kManifestJSON)));
    manifest->setOriginURL(QUrl(kStagingURL));
    const auto staging = AFXEnvironmentID::environmentIDWithManifestURL(QUrl(kStagingURL));
    const auto environment = manifest->makeEnvironmentWithID(staging);
    ASSERT_TRUE(environment);

    const QString teasers = root + QStringLiteral("/Users/Shared/Kestrel/Apps");
    EXPECT_EQ(environment->URLForTeasersDirectory().toLocalFile(), teasers);
    ASSERT_TRUE(QFileInfo(teasers).isDir());
    struct stat status = {};
    ASSERT_EQ(stat(QFile::encodeName(teasers).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0777u);

    const QString support =
        root + QStringLiteral("/home/Library/Application Support/Kestrel/") + staging->directoryName();
    EXPECT_EQ(environment->URLForPersistentDirectory().toLocalFile(), support + QStringLiteral("/Databases"));
    EXPECT_EQ(environment->URLForResourcesDirectory().toLocalFile(), support + QStringLiteral("/Resources"));
    EXPECT_TRUE(QFileInfo(support + QStringLiteral("/Databases")).isDir());
    EXPECT_TRUE(QFileInfo(support + QStringLiteral("/Resources")).isDir());
    // No "/Applications" in this root: the user's folder is made and used.
    EXPECT_EQ(environment->URLForAppsDirectory().toLocalFile(),
              root + QStringLiteral("/home/Applications/Kestrel"));
    EXPECT_TRUE(QFileInfo(root + QStringLiteral("/home/Applications")).isDir());

    EXPECT_EQ(environment->name(), QStringLiteral("Staging"));
    EXPECT_EQ(environment->displayName(), QStringLiteral("Staging (staging.example.test)"));
    EXPECT_TRUE(environment->description().startsWith(QStringLiteral("Environment <0x")));
    EXPECT_TRUE(environment->description().endsWith(QStringLiteral("> (Staging at ") + kStagingURL +
                                                    QStringLiteral(")")));

    const auto standard = manifest->makeEnvironmentWithID(AFXEnvironmentID::defaultEnvironmentID());
    EXPECT_FALSE(standard->displayName());
    EXPECT_TRUE(
        QFileInfo(root + QStringLiteral("/home/Library/Application Support/Kestrel/Default/Databases"))
            .isDir());
    EXPECT_FALSE(standard->isEqual(*environment));
    EXPECT_TRUE(manifest->makeEnvironmentWithID(AFXEnvironmentID::environmentWithURLString(kStagingURL))
                    ->isEqual(*environment));
}

TEST(Environment, AWritableLocalApplicationsFolderComesFirstAndRecordsRoundTrip) {
    const QString root = testing_support::testRoot();
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/Applications")));
    auto manifest = AFXEndpointsManifest::make();
    ASSERT_TRUE(manifest->setupWithJSON(json(kManifestJSON)));
    const auto environment = manifest->makeEnvironmentWithID(AFXEnvironmentID::defaultEnvironmentID());
    EXPECT_EQ(environment->URLForAppsDirectory().toLocalFile(),
              root + QStringLiteral("/Applications/Kestrel"));

    const auto back = archiveRoundTrip(environment);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(*environment));
    EXPECT_TRUE(back->identifier()->isDefault());
    EXPECT_EQ(back->name(), QStringLiteral("Staging"));
    EXPECT_EQ(back->URLForAppsDirectory(), environment->URLForAppsDirectory());
    EXPECT_EQ(back->URLForPersistentDirectory(), environment->URLForPersistentDirectory());
    EXPECT_EQ(back->URLForResourcesDirectory(), environment->URLForResourcesDirectory());
    EXPECT_EQ(back->URLForTeasersDirectory(), environment->URLForTeasersDirectory());
    ASSERT_TRUE(back->endpointsManifest()->endpointForCustomerAPI());
    EXPECT_EQ(back->endpointsManifest()->endpointForCustomerAPI()->URL(),
              environment->endpointsManifest()->endpointForCustomerAPI()->URL());
    // Mutable: a copy is a new environment equal to the first.
    const auto copy = std::dynamic_pointer_cast<AFXEnvironment>(environment->copy());
    ASSERT_TRUE(copy);
    EXPECT_NE(copy, environment);
    EXPECT_TRUE(copy->isEqual(*environment));
}

} // namespace
