// The system management service end to end on a private bus: the client
// in this process, its test server (SystemManagementTestServer) in a
// process of its own, so that every request really travels as a message
// between processes and is decoded on the other side.

#include "IPCTestService/IPCTestRecords.h"
#include "ServiceProcessRoundTrip.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "SpecificTools/Services/SystemManagement/AFXSystemManagementClient.h"
#include "SpecificTools/Services/SystemManagement/AFXSystemManagementRequests.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;
using service_round_trip::Answer;
using service_round_trip::describeError;
using service_round_trip::testCustomer;
using service_round_trip::testCustomerID;
using service_round_trip::testEnvironment;

namespace {

const QString kTestDomain = u"com.kestrel.tests"_s;

std::shared_ptr<AFXServiceID> globalServiceID() {
    return AFXGlobalServiceID::makeWithServiceName(AFXSystemManagementServiceName());
}

// What a callback received, as text.
class Outcome {
public:
    void set(const QString& text) { texts_.add(text); }
    template <typename T>
    std::function<void(const BRValueOrError<T>&)> value(std::function<QString(const T&)> show) {
        return [this, show](const BRValueOrError<T>& result) {
            set(result.hasValue() ? u"value "_s + show(*result.value()) : describeError(result.error()));
        };
    }
    AFXErrorCallback error() {
        return [this](const std::optional<platform::Error>& error) { set(describeError(error)); };
    }
    AFXSystemManagementCompletion completion() {
        return [this] { set(u"done"_s); };
    }
    AFXBooleanCallback boolean() {
        return [this](bool value) { set(value ? u"true"_s : u"false"_s); };
    }
    AFXInternetUsagePermissionCallback permission() {
        return [this](bool canUseInternet, const QString& key) {
            set(u"%1 %2"_s.arg(canUseInternet).arg(key.isNull() ? u"no key"_s : key));
        };
    }
    QString wait() const { return texts_.wait().value_or(QString()); }

private:
    Answer<QString> texts_;
};

QString showEnvironment(const std::shared_ptr<AFXEnvironment>& environment) {
    return environment->identifier()->userDefaultsValue();
}
QString showCustomer(const std::shared_ptr<AFXCustomer>& customer) {
    return customer->accountName();
}

// One operation as a client calls it. A null outcome marks operations without a callback.
struct Case {
    const char* name;
    std::function<void(AFXSystemManagementClient&, Outcome*)> call;
    QString serverSaw;
    QString clientSaw;
    QString clientSawOnFailure;
};

QList<Case> cases() {
    const auto manifestID = AFXEnvironmentID::environmentIDWithManifestURL(QUrl(u"https://m.test/e.json"_s));
    auto application = AFXRunningApplication::make();
    application->setLocalizedName(u"Orbit Notes"_s);
    application->setBundleIdentifier(u"com.orbit.notes"_s);
    application->setBundleURL(QUrl::fromLocalFile(u"/Applications/Orbit Notes.app"_s));
    application->setVersion(u"2.1"_s);
    application->setBuild(u"210"_s);
    application->setProcessIdentifier(4321);
    const QString failedValue = u"error com.kestrel.tests 41"_s;
    const QString failedError = u"error com.kestrel.tests 42"_s;
    return {
        {"current environment",
         [](auto& c, Outcome* o) {
             c.fetchCurrentEnvironmentUpdated(true,
                                              o->value<std::shared_ptr<AFXEnvironment>>(showEnvironment));
         },
         u"fetchCurrentEnvironmentUpdated 1"_s, u"value default"_s, failedValue},
        {"environment with ID",
         [=](auto& c, Outcome* o) {
             c.fetchEnvironmentWithID(manifestID, false,
                                      o->value<std::shared_ptr<AFXEnvironment>>(showEnvironment));
         },
         u"fetchEnvironmentWithID https://m.test/e.json 0"_s, u"value https://m.test/e.json"_s, failedValue},
        {"poke", [](auto& c, Outcome* o) { c.pokeWithCallback(o->completion()); }, u"pokeWithCallback"_s,
         u"done"_s, u"done"_s},
        {"check for updates", [](auto& c, Outcome* o) { c.checkForUpdatesInitiatedByUser(true, o->error()); },
         u"checkForUpdatesInitiatedByUser 1"_s, u"done"_s, failedError},
        {"finder sync launched",
         [](auto& c, Outcome* o) { c.notifyFinderSyncExtensionLaunchedWithCallback(o->completion()); },
         u"notifyFinderSyncExtensionLaunchedWithCallback"_s, u"done"_s, u"done"_s},
        {"tear down", [](auto& c, Outcome* o) { c.tearDownServiceWithCallback(o->boolean()); },
         u"tearDownServiceWithCallback"_s, u"true"_s, u"true"_s},
        {"start-up status",
         [](auto& c, Outcome* o) {
             c.fetchStartUpStatusWithCallback(
                 o->value<std::int64_t>([](std::int64_t s) { return QString::number(s); }));
         },
         u"fetchStartUpStatusWithCallback"_s, u"value 3"_s, failedValue},
        {"show sign-in", [](auto& c, Outcome* o) { c.showSignInWithPresentationStyle(2, o->completion()); },
         u"showSignInWithPresentationStyle 2"_s, u"done"_s, u"done"_s},
        {"uninstaller",
         [](auto& c, Outcome* o) {
             c.fetchUninstallerExecutableInfoWithType(
                 1, o->value<std::shared_ptr<AFXExecutableInfo>>(
                        [](const auto& info) { return info->path() + u' ' + info->arguments().join(u' '); }));
         },
         u"fetchUninstallerExecutableInfoWithType 1"_s, u"value /bin/uninstall -all -quiet"_s, failedValue},
        {"internet usage",
         [](auto& c, Outcome* o) {
             c.fetchConsumptiveInternetUsagePermissionWithReason(7, true, o->permission());
         },
         u"fetchConsumptiveInternetUsagePermissionWithReason 7 1"_s, u"1 key-1"_s, u"1 key-1"_s},
        {"cancel internet usage",
         [](auto& c, Outcome*) { c.cancelConsumptiveInternetUsagePermission(u"key-1"_s); },
         u"cancelConsumptiveInternetUsagePermission key-1"_s,
         {},
         {}},
        {"uninstall", [](auto& c, Outcome* o) { c.uninstallKestrelForce(true, o->error()); },
         u"uninstallKestrelForce 1"_s, u"done"_s, failedError},
        {"prepare termination",
         [](auto& c, Outcome* o) { c.prepareWholeSystemForTerminationWithCallback(o->boolean()); },
         u"prepareWholeSystemForTerminationWithCallback"_s, u"false"_s, u"false"_s},
        {"present error",
         [](auto& c, Outcome* o) { c.presentError(platform::Error(kTestDomain, 7), o->completion()); },
         u"presentError error com.kestrel.tests 7"_s, u"done"_s, u"done"_s},
        {"current customer",
         [=](auto& c, Outcome* o) {
             c.fetchCurrentCustomerUpdated(true, false, application, 1,
                                           o->value<std::shared_ptr<AFXCustomer>>(showCustomer));
         },
         u"fetchCurrentCustomerUpdated 1 0 Orbit Notes/com.orbit.notes//Applications/Orbit Notes.app/2.1/210/4321 1"_s,
         u"value ann"_s, failedValue},
        {"current customer, no application",
         [](auto& c, Outcome* o) {
             c.fetchCurrentCustomerUpdated(false, true, nullptr, 0,
                                           o->value<std::shared_ptr<AFXCustomer>>(showCustomer));
         },
         u"fetchCurrentCustomerUpdated 0 1 none 0"_s, u"value ann"_s, failedValue},
        {"customer with ID",
         [](auto& c, Outcome* o) {
             c.fetchCustomerWithID(testCustomerID(u"bob"_s), true,
                                   o->value<std::shared_ptr<AFXCustomer>>(showCustomer));
         },
         u"fetchCustomerWithID bob 1"_s, u"value bob"_s, failedValue},
        {"sign out",
         [](auto& c, Outcome* o) { c.signOutCustomerWithID(testCustomerID(u"bob"_s), true, o->error()); },
         u"signOutCustomerWithID bob 1"_s, u"done"_s, failedError},
        {"sign in",
         [](auto& c, Outcome*) {
             c.signInWithCredentials(
                 AFXCustomerCredentials::makeWithCustomerID(testCustomerID(u"cy"_s), u"secret"_s));
         },
         u"signInWithCredentials cy secret"_s,
         {},
         {}},
        {"cabinet token",
         [](auto& c, Outcome* o) {
             c.fetchCustomerCabinetAccessToken(testCustomer(u"ann"_s), 2.5,
                                               o->value<QString>([](const QString& t) { return t; }));
         },
         u"fetchCustomerCabinetAccessToken ann 2.5"_s, u"value token-for-ann"_s, failedValue},
        {"identity",
         [](auto& c, Outcome* o) {
             c.fetchCustomerIdentityWithID(
                 testCustomerID(u"ann"_s),
                 o->value<std::shared_ptr<AFXCustomerIdentity>>([](const auto& identity) {
                     return identity->name() + u' ' + QString::fromLatin1(identity->image());
                 }));
         },
         u"fetchCustomerIdentityWithID ann"_s, u"value Ann A. png"_s, failedValue},
        {"device token",
         [=](auto& c, Outcome* o) {
             c.saveAPNSDeviceToken(u"device-1"_s, testCustomer(u"ann"_s), manifestID, o->error());
         },
         u"saveAPNSDeviceToken device-1 ann https://m.test/e.json"_s, u"done"_s, failedError},
        {"sign-in workflow",
         [](auto& c, Outcome* o) {
             c.fetchSignInWorkflowWithCallback(
                 o->value<std::shared_ptr<AFXSignInWorkflow>>([](const auto& w) {
                     return u"%1 %2 %3 %4 %5 %6 %7 %8"_s.arg(w->customerID()->accountName())
                         .arg(w->state())
                         .arg(showEnvironment(w->environment()), showCustomer(w->customer()))
                         .arg(w->environmentPreparationFractionCompleted())
                         .arg(w->runningApplication()->localizedName())
                         .arg(w->presentationStyle())
                         .arg(describeError(w->lastError()));
                 }));
         },
         u"fetchSignInWorkflowWithCallback"_s,
         u"value ann 4 default ann 0.25 Orbit Notes 1 error com.kestrel.tests 9"_s, failedValue},
    };
}

using SystemRoundTrip = service_round_trip::ProcessRoundTrip<AFXSystemManagementClient>;

class SystemManagementService : public testing::Test {
protected:
    void SetUp() override {
        trip_ = SystemRoundTrip::start(u"system"_s);
        ASSERT_TRUE(trip_);
    }

    // Runs a case and answers what the server saw and what the client's callback received.
    std::pair<QString, QString> run(const Case& testCase) {
        const auto seenBefore = trip_->server->seen.count();
        Outcome outcome;
        const bool hasCallback = !testCase.clientSaw.isNull();
        testCase.call(*trip_->client, hasCallback ? &outcome : nullptr);
        const QString clientSaw = hasCallback ? outcome.wait() : QString();
        trip_->server->seen.waitFor(seenBefore + 1);
        return {trip_->server->seen.all().mid(seenBefore).join(u'\n'), clientSaw};
    }

    std::unique_ptr<SystemRoundTrip> trip_;
};

TEST_F(SystemManagementService, EveryOperationRoundTripsItsFieldsAndResultOrItsError) {
    for (const bool fails : {false, true}) {
        ASSERT_TRUE(trip_->server->control(u"fail"_s, fails ? u"1"_s : u"0"_s));
        for (const Case& testCase : cases()) {
            SCOPED_TRACE(std::string(testCase.name) + (fails ? " (failing)" : ""));
            const auto [serverSaw, clientSaw] = run(testCase);
            EXPECT_EQ(serverSaw, testCase.serverSaw);
            EXPECT_EQ(clientSaw, fails ? testCase.clientSawOnFailure : testCase.clientSaw);
        }
    }
}

TEST_F(SystemManagementService, WithoutAServingServiceCallbacksGetAnErrorOrTheFailureValues) {
    const QString missing = u"error %1 %2"_s.arg(AFXDefaultErrorDomain).arg(AFXErrorCodeMissingService);
    // In this order, each on a served service again: a process reaches only
    // its first bus, and a client's factory does not come back.
    const struct {
        const char* name;
        std::function<void(SystemRoundTrip&)> breakService;
        // What the callbacks of error-answering operations start with.
        QString error;
    } scenarios[] = {
        {"a server base offering nothing",
         [](SystemRoundTrip& trip) { EXPECT_TRUE(trip.server->serve(u"base"_s)); }, missing},
        {"no desktop client", [](SystemRoundTrip& trip) { trip.stopServer(); }, u"error"_s},
        {"no factory left", [](SystemRoundTrip& trip) { trip.factory.reset(); }, missing},
    };
    const QList<Case> all = cases();
    for (const auto& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        if (!trip_->server) {
            ASSERT_TRUE(trip_->startServer());
        }
        const auto server = trip_->server;
        scenario.breakService(*trip_);
        const std::pair<const char*, QString> expected[] = {
            {"current environment", scenario.error},
            {"check for updates", scenario.error},
            {"tear down", u"false"_s},
            {"internet usage", u"0 no key"_s},
            {"prepare termination", u"true"_s},
            {"current customer", scenario.error},
            {"poke", u"done"_s},
        };
        for (const auto& [name, clientSaw] : expected) {
            SCOPED_TRACE(name);
            const auto testCase = std::find_if(
                all.begin(), all.end(), [&](const Case& c) { return c.name == std::string_view(name); });
            ASSERT_NE(testCase, all.end());
            Outcome outcome;
            testCase->call(*trip_->client, &outcome);
            const QString saw = outcome.wait();
            EXPECT_TRUE(saw.startsWith(clientSaw)) << saw.toStdString();
            EXPECT_FALSE(saw.contains(kTestDomain)) << "no test server answered";
        }
        EXPECT_EQ(server->seen.count(), 0);
    }
}

TEST_F(SystemManagementService, AResponseWithoutItsValueOrOfAnotherClassIsAnErrorNotNothing) {
    const auto missingObject = u"error %1 %2"_s.arg(AFXDefaultErrorDomain).arg(AFXErrorCodeMissingObject);
    const auto unparsable =
        u"error %1 %2"_s.arg(AFXDefaultErrorDomain).arg(AFXErrorCodeServerResponseParsing);
    const struct {
        const char* name;
        const platform::Class* response;
        QString clientSaw;
    } rows[] = {
        // Nobody signed in must not hand the caller an empty result.
        {"current customer", AFXFetchCurrentCustomerResponse::staticClass(), missingObject},
        // A response of another class is no answer to the request, not
        // even to one whose callback only takes an error.
        {"current environment", AFXPokeResponse::staticClass(), unparsable},
        {"check for updates", AFXPokeResponse::staticClass(), unparsable},
        {"tear down", AFXPokeResponse::staticClass(), u"false"_s},
        {"prepare termination", AFXPokeResponse::staticClass(), u"true"_s},
        {"internet usage", AFXPokeResponse::staticClass(), u"0 no key"_s},
    };
    const QList<Case> all = cases();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(trip_->server->answerWith(row.response));
        const auto testCase = std::find_if(
            all.begin(), all.end(), [&](const Case& c) { return c.name == std::string_view(row.name); });
        ASSERT_NE(testCase, all.end());
        Outcome outcome;
        testCase->call(*trip_->client, &outcome);
        EXPECT_EQ(outcome.wait(), row.clientSaw);
    }
}

TEST_F(SystemManagementService, RequestsWithoutTheObjectsTheyNeedOrForAnotherServiceAreAnswered) {
    const auto missingObject = u"error %1 %2"_s.arg(AFXDefaultErrorDomain).arg(AFXErrorCodeMissingObject);
    Outcome environment, signOut, token;
    trip_->client->fetchEnvironmentWithID(
        nullptr, false, environment.value<std::shared_ptr<AFXEnvironment>>(showEnvironment));
    trip_->client->signOutCustomerWithID(nullptr, false, signOut.error());
    trip_->client->fetchCustomerCabinetAccessToken(nullptr, 1,
                                                   token.value<QString>([](const QString& t) { return t; }));
    EXPECT_EQ(environment.wait(), missingObject);
    EXPECT_EQ(signOut.wait(), missingObject);
    EXPECT_EQ(token.wait(), missingObject);
    EXPECT_EQ(trip_->server->seen.count(), 0);

    // A service of another kind under the same name: the request is not its to perform.
    ASSERT_TRUE(trip_->server->serve(u"foreign"_s));
    Outcome answered;
    trip_->client->fetchCurrentEnvironmentUpdated(
        false, answered.value<std::shared_ptr<AFXEnvironment>>(showEnvironment));
    EXPECT_EQ(answered.wait(), u"error %1 %2"_s.arg(AFXDefaultErrorDomain).arg(AFXErrorCodeMissingService));
}

TEST_F(SystemManagementService, ActivitiesAreStartedOnceStoppedAlwaysAndStartedAgainOnANewConnection) {
    const auto& client = trip_->client;
    const auto reading = AFXActivity::makeWithTierName(trip_->factory->tierName(), u"reading"_s);
    const auto writing = AFXActivity::makeWithTierName(trip_->factory->tierName(), u"writing"_s);
    const auto never = AFXActivity::makeWithTierName(trip_->factory->tierName(), u"never started"_s);
    client->startActivity(reading);
    const auto archived = platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(reading));
    ASSERT_TRUE(archived);
    client->startActivity(platform::KeyedUnarchiver::unarchivedObjectOfClass<AFXActivity>(*archived));
    client->startActivity(writing);
    client->stopActivity(never);
    client->stopActivity(writing);
    ASSERT_TRUE(trip_->server->seen.waitFor(4));
    Outcome poke;
    client->pokeWithCallback(poke.completion());
    ASSERT_EQ(poke.wait(), u"done"_s);
    QStringList seen = trip_->server->seen.all();
    seen.removeAll(u"pokeWithCallback"_s);
    seen.sort();
    EXPECT_EQ(
        seen.join(u", "_s),
        u"startActivity reading, startActivity writing, stopActivity never started, stopActivity writing"_s);
    const auto& established = trip_->clientDelegate->established;
    ASSERT_EQ(established.count(), 1);
    for (const QUuid& stream : trip_->server->streams.all()) {
        EXPECT_EQ(stream, established.all().first()) << "activities come with the sender's stream";
    }

    // The desktop client restarts; the next request reaches the new one on a new stream.
    trip_->stopServer();
    ASSERT_TRUE(trip_->startServer());
    Outcome reconnected;
    client->pokeWithCallback(reconnected.completion());
    ASSERT_EQ(reconnected.wait(), u"done"_s);
    ASSERT_TRUE(established.waitFor(2));
    const QUuid newStream = established.all().last();
    client->didEstablishInterprocessConnectionWithEsteblishedStreamID(newStream);
    ASSERT_TRUE(trip_->server->seen.waitFor(2));
    Outcome after;
    client->pokeWithCallback(after.completion());
    ASSERT_EQ(after.wait(), u"done"_s);
    ASSERT_TRUE(trip_->server->seen.waitFor(3));
    EXPECT_EQ(trip_->server->seen.all().join(u", "_s),
              u"pokeWithCallback, startActivity reading, pokeWithCallback"_s);
    EXPECT_EQ(trip_->server->streams.all(), QList<QUuid>{newStream});
}

TEST_F(SystemManagementService, RequestsOfOtherClassesAreRefusedAtBothEnds) {
    // A peer that sends a request of another class gets an error, and the server never sees it.
    const auto strayAdaptor = trip_->makeClientAdaptor(AFXSystemManagementRequestClasses()
                                                       << IPCTestUnlistedRequest::staticClass());
    auto request = IPCTestUnlistedRequest::make();
    request->setRequestingTierName(trip_->factory->tierName());
    request->setServiceID(globalServiceID());
    Answer<BRAnyValueOrError> refused;
    strayAdaptor->performRequest(request, nullptr, refused.callback());
    const auto refusal = refused.wait();
    ASSERT_TRUE(refusal);
    EXPECT_FALSE(refusal->hasValue());
    Outcome poke;
    trip_->client->pokeWithCallback(poke.completion());
    ASSERT_EQ(poke.wait(), u"done"_s);
    ASSERT_TRUE(trip_->server->seen.waitFor(1));
    EXPECT_EQ(trip_->server->seen.all(), QStringList{u"pokeWithCallback"_s});
}

// Without a bus of its own: a bus daemon started in the dying child would
// outlive it and keep the death test waiting.
TEST(SystemManagementClientAssertions, MakesOnlyRequestsOfItsService) {
    const auto factory = service_round_trip::makeServicesFactory();
    const auto adaptor = AFXRegularInterprocessClientAdaptor::makeWithServiceName(
        AFXSystemManagementServiceName(), factory->tierName(), AFXSystemManagementRequestClasses(),
        std::make_shared<service_round_trip::ClientDelegate>());
    const auto client = AFXSystemManagementClient::makeWithServiceID(globalServiceID(), factory, adaptor);
    EXPECT_TRUE(client->makeRequest<AFXPokeRequest>());
    EXPECT_DEATH(client->makeRequestOfClass(IPCTestUnlistedRequest::staticClass()),
                 "requestClasses containsObject");
}

TEST(SystemManagementRecords, ActivitiesAreEqualByIdentifierAndSurviveCoding) {
    const auto activity = AFXActivity::makeWithTierName(u"Tier"_s, u"work"_s);
    const auto other = AFXActivity::makeWithTierName(u"Tier"_s, u"work"_s);
    EXPECT_FALSE(activity->isEqual(*other)) << "each activity draws its own identifier";
    const auto archived = platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(activity));
    ASSERT_TRUE(archived);
    const auto decoded = platform::KeyedUnarchiver::unarchivedObjectOfClass<AFXActivity>(*archived);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->isEqual(*activity));
    EXPECT_EQ(decoded->hash(), activity->hash());
    EXPECT_EQ(decoded->tierName(), u"Tier"_s);
    EXPECT_EQ(decoded->reason(), u"work"_s);
}

} // namespace
