// The remote configuration service end to end (its test server,
// RemoteConfigurationTestServer, in a process of its own), and what its
// configuration answers for localised texts and switches.

#include "ServiceProcessRoundTrip.h"
#include "ServiceTestServers/RemoteConfigurationTestServer.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXEnvironmentServiceID.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "SpecificTools/Services/RemoteConfiguration/AFXRemoteConfigurationClient.h"
#include "SpecificTools/Services/RemoteConfiguration/AFXRemoteConfigurationRequests.h"
#include "testing/ArchiveRoundTrip.h"
#include "testing/EnvironmentOverride.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using platform::Value;
using service_round_trip::Answer;

namespace {

Value container(const QString& key, const Value::Dictionary& strings) {
    return RemoteConfigurationTestServer::container(key, strings);
}

std::shared_ptr<AFXRemoteConfiguration> sampleConfiguration() {
    return RemoteConfigurationTestServer::sampleConfiguration();
}

using ConfigurationRoundTrip = service_round_trip::ProcessRoundTrip<AFXRemoteConfigurationClient>;

std::shared_ptr<AFXEnvironmentServiceID> serviceID() {
    return AFXEnvironmentServiceID::makeWithServiceName(
        AFXRemoteConfigurationService::interprocessServiceName(), AFXEnvironmentID::defaultEnvironmentID());
}

// The preferred languages come from the locale environment.
testing_support::EnvironmentOverride preferring(const char* languages) {
    return testing_support::EnvironmentOverride({{"LANGUAGE", QByteArray(languages)},
                                                 {"LC_ALL", std::nullopt},
                                                 {"LC_MESSAGES", std::nullopt},
                                                 {"LANG", std::nullopt}});
}

} // namespace

TEST(RemoteConfigurationService, FetchCarriesTheConfigurationOrTheError) {
    const auto trip = ConfigurationRoundTrip::start(u"remote-configuration"_s);
    ASSERT_TRUE(trip);
    EXPECT_TRUE(trip->client->environmentID()->isEqual(*AFXEnvironmentID::defaultEnvironmentID()));

    Answer<BRValueOrError<std::shared_ptr<AFXRemoteConfiguration>>> fetched;
    trip->client->fetchRemoteConfigurationWithCallback(fetched.callback());
    const auto result = fetched.wait();
    ASSERT_TRUE(result && result->value());
    const auto& configuration = *result->value();
    EXPECT_TRUE(configuration->isEqual(*sampleConfiguration()));
    EXPECT_EQ(configuration->hash(), sampleConfiguration()->hash());
    EXPECT_TRUE(configuration->shouldShowReferal2Button());

    ASSERT_TRUE(trip->server->refuseWith(afx_cancel()));
    Answer<BRValueOrError<std::shared_ptr<AFXRemoteConfiguration>>> refused;
    trip->client->fetchRemoteConfigurationWithCallback(refused.callback());
    const auto refusal = refused.wait();
    ASSERT_TRUE(refusal && refusal->error());
    EXPECT_TRUE(afx_isCancelled(*refusal->error()));
}

TEST(RemoteConfigurationService, ServerBaseAnswersThatTheServiceIsMissing) {
    const auto trip = ConfigurationRoundTrip::startWithServerBase(u"remote-configuration"_s);
    ASSERT_TRUE(trip);
    Answer<BRValueOrError<std::shared_ptr<AFXRemoteConfiguration>>> fetched;
    trip->client->fetchRemoteConfigurationWithCallback(fetched.callback());
    const auto result = fetched.wait();
    ASSERT_TRUE(result && result->error());
    EXPECT_EQ(result->error()->code(), AFXErrorCodeMissingService);
}

TEST(RemoteConfigurationService, LocalizedStringsFollowThePreferredLanguageWithoutFallback) {
    const Value greeting = container(u"greeting"_s, {{u"en"_s, u"Hello"_s}, {u"de"_s, u"Hallo"_s}});
    const Value englishOnly = container(u"farewell"_s, {{u"en"_s, u"Bye"_s}});
    const Value otherGreeting = container(u"greeting"_s, {{u"en"_s, u"Hi"_s}});
    struct Case {
        const char* name;
        Value::Dictionary settings;
        const char* languages;
        QString key;
        std::optional<QString> expected;
    };
    const Value containers(Value::Array{greeting, englishOnly, otherGreeting});
    const Case cases[] = {
        {"no containers", {}, "en", u"greeting"_s, std::nullopt},
        {"containers not an array",
         {{u"localization_containers"_s, greeting}},
         "en",
         u"greeting"_s,
         std::nullopt},
        {"unknown key", {{u"localization_containers"_s, containers}}, "en", u"welcome"_s, std::nullopt},
        {"first container of the key",
         {{u"localization_containers"_s, containers}},
         "en",
         u"greeting"_s,
         u"Hello"_s},
        {"preferred language", {{u"localization_containers"_s, containers}}, "de", u"greeting"_s, u"Hallo"_s},
        {"a region is a language of its own",
         {{u"localization_containers"_s, containers}},
         "de_AT",
         u"greeting"_s,
         std::nullopt},
        {"no English fallback",
         {{u"localization_containers"_s, containers}},
         "de",
         u"farewell"_s,
         std::nullopt},
        {"no preference reads English",
         {{u"localization_containers"_s, containers}},
         "",
         u"farewell"_s,
         u"Bye"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto languages = preferring(c.languages);
        const auto configuration = AFXRemoteConfiguration::makeWithVersion(u"1"_s, c.settings);
        EXPECT_EQ(configuration->localizedStringForKey(c.key), c.expected);
        // The decoded configuration answers alike.
        const auto decoded = testing_support::archiveRoundTrip(configuration);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->localizedStringForKey(c.key), c.expected);
    }
}

TEST(RemoteConfigurationService, ReferralSwitchIsReadOnlyFromNumbers) {
    const struct {
        Value value;
        bool expected;
    } cases[] = {
        {Value(), false}, {Value(1), true}, {Value(true), true}, {Value(0), false}, {Value(u"1"_s), false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.description().toStdString());
        Value::Dictionary settings;
        if (!c.value.isNull()) {
            settings.insert(u"should_show_referal_2.0_button"_s, c.value);
        }
        EXPECT_EQ(AFXRemoteConfiguration::makeWithVersion(u"1"_s, settings)->shouldShowReferal2Button(),
                  c.expected);
    }
}

TEST(RemoteConfigurationService, ConfigurationsCompareByVersionAndSettings) {
    const auto configuration = sampleConfiguration();
    EXPECT_FALSE(configuration->isEqual(
        *AFXRemoteConfiguration::makeWithVersion(u"8"_s, configuration->settingsContainer())));
    EXPECT_FALSE(configuration->isEqual(*AFXRemoteConfiguration::makeWithVersion(u"7"_s, {})));
    const auto bare = testing_support::archiveRoundTrip(AFXRemoteConfiguration::makeWithVersion(u"7"_s, {}));
    ASSERT_TRUE(bare);
    EXPECT_TRUE(bare->settingsContainer().isEmpty());
    EXPECT_TRUE(bare->localizationContainers().isEmpty());

    const auto environment =
        AFXEnvironment::makeWithIdentifier(AFXEnvironmentID::defaultEnvironmentID(), nullptr, {}, {}, {}, {});
    const auto poked =
        AFXRemoteConfigurationClient::serviceClass().makeServiceIDToPokeWithNewEnvironment(environment);
    ASSERT_TRUE(poked);
    EXPECT_TRUE(poked->isEqual(*serviceID()));
    EXPECT_FALSE(AFXRemoteConfigurationClient::serviceClass().makeServiceIDToPokeWithNewEnvironment(nullptr));
}
