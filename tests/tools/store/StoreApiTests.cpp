// The store as the development environment's API: the endpoints manifest the
// client framework reads, and the customer API's sign-in.

#include "Curl.h"
#include "SpecificTools/Model/AFXEndpointsManifest.h"
#include "platform/JSONSerialization.h"
#include "testing/StoreProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace store_tests;
using testing_support::StoreProcess;

namespace {

std::unique_ptr<StoreProcess> startStore() {
    const QString served = testing_support::testRoot() + QStringLiteral("/served");
    QDir().mkpath(served);
    return StoreProcess::start(served);
}

CurlResult signIn(const StoreProcess& store, const QByteArray& body) {
    return curl(store, QStringLiteral("/api/customer/sign-in"),
                {QStringLiteral("-H"), QStringLiteral("Content-Type: application/json"),
                 QStringLiteral("--data-binary"), QString::fromUtf8(body)});
}

QString errorDetail(const CurlResult& result) {
    return QJsonDocument::fromJson(result.body)
        .object()
        .value(QStringLiteral("errors"))
        .toArray()
        .at(0)
        .toObject()
        .value(QStringLiteral("detail"))
        .toString();
}

TEST(StoreApi, EndpointsManifestNamesThisStoreForEveryEndpoint) {
    const auto store = startStore();
    ASSERT_TRUE(store);
    const auto result = curl(*store, QStringLiteral("/endpoints.json"));
    ASSERT_EQ(result.status, 200);
    EXPECT_EQ(result.header("content-type"), QByteArray("application/json"));

    platform::Error error(QString(), 0);
    const auto json = platform::JSONSerialization::read(result.body, &error);
    ASSERT_TRUE(json) << error.description().toStdString();
    const auto manifest = AFXEndpointsManifest::make();
    ASSERT_TRUE(manifest->setupWithJSON(*json, &error)) << error.description().toStdString();
    EXPECT_EQ(manifest->name(), QStringLiteral("Development"));

    const QString base = store->baseURL().toString();
    const struct {
        std::shared_ptr<AFXEndpoint> endpoint;
        QString path;
        bool selfSufficient;
    } expected[] = {
        {manifest->endpointForStoreAPI(), QStringLiteral("/api/store/"), true},
        {manifest->endpointForCustomerAPI(), QStringLiteral("/api/customer/"), false},
        {manifest->endpointForUsageReportingAPI(), QStringLiteral("/"), true},
        {manifest->endpointForRecommendationsAPI(), QStringLiteral("/api/recommendations/"), true},
    };
    for (const auto& [endpoint, path, selfSufficient] : expected) {
        ASSERT_TRUE(endpoint) << path.toStdString();
        EXPECT_EQ(endpoint->URL(), QUrl(base + path));
        EXPECT_EQ(endpoint->isSelfSufficient(), selfSufficient) << path.toStdString();
    }

    EXPECT_EQ(curl(*store, QStringLiteral("/endpoints.json"),
                   {QStringLiteral("--data-binary"), QStringLiteral("x")})
                  .status,
              405);
}

TEST(StoreApi, SignInAnswersTheDemoCustomerWithAFreshTokenAndRefusesAnythingElse) {
    const auto store = startStore();
    ASSERT_TRUE(store);

    QStringList tokens;
    // Addresses are not case-sensitive.
    for (const QByteArray& email : {QByteArray("demo@kestrel.app"), QByteArray("Demo@Kestrel.APP")}) {
        const auto result = signIn(*store, "{\"email\":\"" + email + "\",\"password\":\"kestrel-demo\"}");
        ASSERT_EQ(result.status, 200) << result.body.toStdString();
        const QJsonObject data =
            QJsonDocument::fromJson(result.body).object().value(QStringLiteral("data")).toObject();
        EXPECT_EQ(data.value(QStringLiteral("id")).toString(), QStringLiteral("1001"));
        const QJsonObject attributes = data.value(QStringLiteral("attributes")).toObject();
        EXPECT_EQ(attributes.value(QStringLiteral("email")).toString(), QStringLiteral("demo@kestrel.app"));
        EXPECT_EQ(attributes.value(QStringLiteral("name")).toString(), QStringLiteral("Demo Customer"));
        EXPECT_EQ(attributes.value(QStringLiteral("subscription_state")).toString(),
                  QStringLiteral("active"));
        EXPECT_EQ(attributes.value(QStringLiteral("subscription_expiration_date")).toString(),
                  QStringLiteral("2027-12-31T00:00:00Z"));
        tokens << attributes.value(QStringLiteral("token")).toString();
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{32,}$")).match(tokens.last()).hasMatch())
            << tokens.last().toStdString();
    }
    EXPECT_NE(tokens.at(0), tokens.at(1));

    const struct {
        QByteArray body;
        int status;
    } refusals[] = {
        {"{\"email\":\"demo@kestrel.app\",\"password\":\"Kestrel-demo\"}", 401},
        {"{\"email\":\"someone@kestrel.app\",\"password\":\"kestrel-demo\"}", 401},
        {"{\"email\":\"demo@kestrel.app\",\"password\":\"\"}", 401},
        {"email=demo@kestrel.app&password=kestrel-demo", 400},
        {"[\"demo@kestrel.app\",\"kestrel-demo\"]", 400},
        {"{}", 400},
        {"{\"email\":\"demo@kestrel.app\"}", 400},
        {"{\"email\":\"demo@kestrel.app\",\"password\":12}", 400},
    };
    for (const auto& [body, status] : refusals) {
        const auto result = signIn(*store, body);
        EXPECT_EQ(result.status, status) << body.toStdString();
        EXPECT_EQ(result.header("content-type"), QByteArray("application/json")) << body.toStdString();
        if (status == 401) {
            EXPECT_EQ(errorDetail(result), QStringLiteral("The email address or password is not right."));
        } else {
            EXPECT_TRUE(errorDetail(result).contains(QStringLiteral("JSON"))) << result.body.toStdString();
        }
    }

    EXPECT_EQ(curl(*store, QStringLiteral("/api/customer/sign-in")).status, 405);
    EXPECT_EQ(curl(*store, QStringLiteral("/api/customer/sign-out"),
                   {QStringLiteral("--data-binary"), QStringLiteral("{}")})
                  .status,
              404);
}

} // namespace
