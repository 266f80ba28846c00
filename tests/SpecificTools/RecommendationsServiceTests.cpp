// The recommendations service end to end (its test server,
// RecommendationsTestServer, in a process of its own), and the
// recommended-app record.

#include "ServiceProcessRoundTrip.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXCustomerServiceID.h"
#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Services/Recommendations/AFXRecommendationsClient.h"
#include "SpecificTools/Services/Recommendations/AFXRecommendationsRequests.h"
#include "testing/ArchiveRoundTrip.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using platform::Value;
using service_round_trip::Answer;

namespace {

std::shared_ptr<AFXCustomerID> customerID() {
    return AFXCustomerID::makeWithAccountName(u"ada@example.com"_s, AFXEnvironmentID::defaultEnvironmentID());
}

std::shared_ptr<AFXCustomerServiceID> serviceID() {
    return AFXCustomerServiceID::makeWithServiceName(AFXRecommendationsService::interprocessServiceName(),
                                                     customerID());
}

using RecommendationsRoundTrip = service_round_trip::ProcessRoundTrip<AFXRecommendationsClient>;

} // namespace

TEST(RecommendationsService, FetchesCarryTheirFieldsAndAnswers) {
    const auto trip = RecommendationsRoundTrip::start(u"recommendations"_s);
    ASSERT_TRUE(trip);
    EXPECT_TRUE(trip->client->customerID()->isEqual(*customerID()));

    Answer<BRValueOrError<std::shared_ptr<AFXRecommendedApp>>> recommended;
    trip->client->fetchRecommendedAppForAppID(230, recommended.callback());
    const auto app = recommended.wait();
    ASSERT_TRUE(app && app->value());
    EXPECT_TRUE(
        (*app->value())->isEqual(*AFXRecommendedApp::makeWithAppID(230, {231, 232}, u"neighbours"_s)));

    Answer<BRValueOrError<QList<std::shared_ptr<AFXRecommendedApp>>>> welcome;
    trip->client->fetchWelcomeRecommendedAppsExcludingAppIDs({3, 1}, welcome.callback());
    const auto apps = welcome.wait();
    ASSERT_TRUE(apps && apps->value());
    QList<std::int64_t> order;
    for (const auto& each : *apps->value()) {
        order << each->appID();
        EXPECT_EQ(each->recommendationsAlgorithm(), u"default"_s);
    }
    EXPECT_EQ(order, (QList<std::int64_t>{4, 2})) << "the order the server gave";
    ASSERT_TRUE(trip->server->seen.waitFor(1));
    EXPECT_EQ(trip->server->seen.all(), QStringList{u"welcome excluding 1,3"_s});

    ASSERT_TRUE(trip->server->refuseWith(afx_cancel()));
    Answer<BRValueOrError<std::shared_ptr<AFXRecommendedApp>>> refused;
    trip->client->fetchRecommendedAppForAppID(230, refused.callback());
    const auto refusal = refused.wait();
    ASSERT_TRUE(refusal && refusal->error());
    EXPECT_TRUE(afx_isCancelled(*refusal->error()));
}

TEST(RecommendationsService, ServerBaseAnswersThatTheServiceIsMissing) {
    const auto trip = RecommendationsRoundTrip::startWithServerBase(u"recommendations"_s);
    ASSERT_TRUE(trip);
    Answer<BRValueOrError<QList<std::shared_ptr<AFXRecommendedApp>>>> welcome;
    trip->client->fetchWelcomeRecommendedAppsExcludingAppIDs({}, welcome.callback());
    const auto apps = welcome.wait();
    ASSERT_TRUE(apps && apps->error());
    EXPECT_EQ(apps->error()->code(), AFXErrorCodeMissingService);
}

TEST(RecommendationsService, RecommendedAppDecodingAndExclusion) {
    const auto app = AFXRecommendedApp::makeWithAppID(10, {12, 7, 99, 7});
    EXPECT_EQ(app->recommendationsAlgorithm(), u"default"_s);
    const struct {
        QList<std::int64_t> excluded;
        QList<std::int64_t> expected;
    } cases[] = {{{}, {12, 7, 99, 7}}, {{7}, {12, 99}}, {{12, 99, 5}, {7, 7}}, {{12, 7, 99}, {}}};
    for (const auto& c : cases) {
        // As vectors: comparing two empty QLists trips the sanitizer inside Qt.
        const QList<std::int64_t> remaining = app->recommendedListExcludingIDs(c.excluded);
        EXPECT_EQ(std::vector<std::int64_t>(remaining.begin(), remaining.end()),
                  std::vector<std::int64_t>(c.expected.begin(), c.expected.end()));
    }

    const auto decoded = testing_support::archiveRoundTrip(app);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->isEqual(*app));
    EXPECT_EQ(decoded->hash(), app->hash());
    EXPECT_FALSE(decoded->isEqual(*AFXRecommendedApp::makeWithAppID(10, {12, 7, 99, 7}, u"other"_s)));

    // Without an algorithm on the wire it reads "default"; without an app it is refused.
    auto bare = AFXRecommendedApp::makeWithAppID(10, {1}, u"other"_s);
    ASSERT_TRUE(bare->setValueForKey(Value(), u"recommendationsAlgorithm"_s));
    const auto defaulted = testing_support::archiveRoundTrip(bare);
    ASSERT_TRUE(defaulted);
    EXPECT_EQ(defaulted->recommendationsAlgorithm(), u"default"_s);
    ASSERT_TRUE(bare->setValueForKey(Value(), u"appID"_s));
    const auto data = platform::KeyedArchiver::archivedDataWithRootObject(Value(bare));
    ASSERT_TRUE(data);
    EXPECT_FALSE(platform::KeyedUnarchiver::unarchivedObjectOfClass<AFXRecommendedApp>(*data));

    AFXCustomer::Fields fields;
    fields.identifier = customerID();
    const auto poked = AFXRecommendationsClient::serviceClass().makeServiceIDToPokeWithNewCustomer(
        AFXCustomer::makeWithFields(fields));
    ASSERT_TRUE(poked);
    EXPECT_TRUE(poked->isEqual(*serviceID()));
}
