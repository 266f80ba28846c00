// The user-interface management service end to end: its client in this
// process and its test server (UIManagementTestServer) in a process of its
// own, talking over a private bus.

#include "ServiceProcessRoundTrip.h"
#include "ServiceTestServers/UIManagementTestServer.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Model/AFXCodedApp.h"
#include "SpecificTools/Services/UIManagement/AFXUIManagementClient.h"
#include "SpecificTools/Services/UIManagement/AFXUIManagementRequests.h"
#include "testing/ArchiveRoundTrip.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using platform::Value;
using service_round_trip::Answer;

namespace {

std::shared_ptr<AFXRunningApplication> runningApplication(const QString& bundleIdentifier, std::int64_t pid) {
    auto application = AFXRunningApplication::make();
    application->setBundleIdentifier(bundleIdentifier);
    application->setProcessIdentifier(pid);
    return application;
}

QStringList bundleIdentifiers(const QList<std::shared_ptr<AFXRunningApplication>>& applications) {
    return UIManagementTestServer::bundleIdentifiers(applications);
}

std::shared_ptr<AFXCodedApp> codedApp(std::int64_t identifier) {
    auto app = std::make_shared<AFXCodedApp>();
    app->setIdentifier(identifier);
    return app;
}

std::shared_ptr<AFXCustomerID> customerID() {
    return UIManagementTestServer::customerID();
}

// The fields the test server last noted for the operation; none before it ran.
std::optional<Value> seenFields(const QStringList& seen, const QString& operation) {
    for (auto note = seen.crbegin(); note != seen.crend(); ++note) {
        if (note->section(u' ', 0, 0) == operation) {
            const auto fields = UIManagementTestServer::decodeFields(note->section(u' ', 1));
            return fields ? Value(*fields) : Value(u"undecodable"_s);
        }
    }
    return std::nullopt;
}
std::optional<Value> seenFields(const ServiceServerProcess& server, const QString& operation) {
    return seenFields(server.seen.all(), operation);
}

using UIRoundTrip = service_round_trip::ProcessRoundTrip<AFXUIManagementClient>;

// One operation: how to call it, what the server must see, and the
// callback's result (as a value) when served and when the request fails.
// Operations without a callback have null results.
struct UICase {
    QString operation;
    std::function<void(AFXUIManagementClient&, std::function<void(const Value&)>)> call;
    Value::Dictionary seen;
    Value served;
    Value failed;
};

const Value kCalledBack = Value(u"called back"_s);

QList<UICase> uiCases() {
    const auto flag = [](std::function<void(const Value&)> answer) {
        return [answer = std::move(answer)](bool value) { answer(Value(value)); };
    };
    const auto plain = [](std::function<void(const Value&)> answer) {
        return [answer = std::move(answer)] { answer(kCalledBack); };
    };
    const platform::Error presented(u"com.example.presented"_s, 42);
    return {
        {u"fetchCredentials"_s,
         [](AFXUIManagementClient& client, auto answer) {
             client.fetchCredentialsWithAccountName(
                 u"ada@example.com"_s, runningApplication(u"com.example.editor"_s, 7),
                 [answer](const BRValueOrError<std::shared_ptr<AFXCustomerCredentials>>& result) {
                     answer(result.value() ? Value((*result.value())->authToken())
                                           : Value(result.error()->code()));
                 });
         },
         {{u"accountName"_s, u"ada@example.com"_s}, {u"runningApplication"_s, u"com.example.editor"_s}},
         Value(u"token-1"_s),
         Value(std::int64_t(AFXErrorCodeMissingService))},
        {u"presentError"_s,
         [presented, plain](AFXUIManagementClient& client, auto answer) {
             client.presentError(presented, plain(answer));
         },
         {{u"domain"_s, u"com.example.presented"_s}, {u"code"_s, 42}},
         kCalledBack,
         kCalledBack},
        {u"presentUserNotificationOfKind"_s,
         [](AFXUIManagementClient& client, auto) { client.presentUserNotificationOfKind(3); },
         {{u"kind"_s, 3}},
         {},
         {}},
        {u"presentUserNotificationOfBrandNewApps"_s,
         [](AFXUIManagementClient& client, auto) {
             client.presentUserNotificationOfBrandNewApps({codedApp(230), codedApp(12)});
         },
         {{u"brandNewApps"_s, Value(Value::Array{12, 230})}},
         {},
         {}},
        {u"presentUserNotificationOfUpdatedApps"_s,
         [](AFXUIManagementClient& client, auto) {
             client.presentUserNotificationOfUpdatedApps({codedApp(5)});
         },
         {{u"updatedApps"_s, Value(Value::Array{5})}},
         {},
         {}},
        {u"proposeToUpdateRunningApplications"_s,
         [](AFXUIManagementClient& client, auto answer) {
             client.proposeToUpdateRunningApplications(
                 {runningApplication(u"com.example.a"_s, 1), runningApplication(u"com.example.b"_s, 2)}, true,
                 QByteArray("extra"), [answer](const QList<std::shared_ptr<AFXRunningApplication>>& quitted) {
                     answer(Value(bundleIdentifiers(quitted)));
                 });
         },
         {{u"runningApplications"_s, QStringList{u"com.example.a"_s, u"com.example.b"_s}},
          {u"showUserNotification"_s, true},
          {u"additionalNotificationData"_s, QByteArray("extra")}},
         // The server quits those of odd process identifiers.
         Value(QStringList{u"com.example.a"_s}),
         Value(QStringList{})},
        {u"proposeToUninstallKestrel"_s,
         [flag](AFXUIManagementClient& client, auto answer) {
             client.proposeToUninstallKestrelWithCallback(flag(answer));
         },
         {},
         Value(true),
         Value(false)},
        {u"poke"_s,
         [plain](AFXUIManagementClient& client, auto answer) { client.pokeWithCallback(plain(answer)); },
         {},
         kCalledBack,
         kCalledBack},
        {u"presentAboutWindow"_s,
         [plain](AFXUIManagementClient& client, auto answer) {
             client.presentAboutWindowWithCallback(plain(answer));
         },
         {},
         kCalledBack,
         kCalledBack},
        {u"askUserForConsumptiveInternetUsage"_s,
         [flag](AFXUIManagementClient& client, auto answer) {
             client.askUserForConsumptiveInternetUsageWithReason(2, flag(answer));
         },
         {{u"reason"_s, 2}},
         Value(true),
         Value(false)},
        {u"openOnlineHelp"_s,
         [flag](AFXUIManagementClient& client, auto answer) {
             client.openOnlineHelpWithCallback(flag(answer));
         },
         {},
         Value(true),
         Value(false)},
        {u"openFeedbackForm"_s,
         [plain](AFXUIManagementClient& client, auto answer) {
             client.openFeedbackFormWithCallback(plain(answer));
         },
         {},
         kCalledBack,
         kCalledBack},
        {u"openCustomerWebAccount"_s,
         [flag](AFXUIManagementClient& client, auto answer) {
             AFXCustomer::Fields fields;
             fields.identifier = customerID();
             client.openCustomerWebAccount(AFXCustomer::makeWithFields(fields), true, flag(answer));
         },
         {{u"customer"_s, u"ada@example.com"_s}, {u"openAddPaymentPage"_s, true}},
         Value(true),
         Value(false)},
        {u"changeStatusItemVisibility"_s,
         [flag](AFXUIManagementClient& client, auto answer) {
             client.changeStatusItemVisibilityToState(true, flag(answer));
         },
         {{u"isVisible"_s, true}},
         Value(true),
         Value(false)},
    };
}

} // namespace

TEST(UIManagementService, EveryOperationCarriesItsFieldsAndAnswer) {
    const auto trip = UIRoundTrip::start(u"ui"_s);
    ASSERT_TRUE(trip);
    for (const UICase& c : uiCases()) {
        SCOPED_TRACE(c.operation.toStdString());
        Answer<Value> answer;
        c.call(*trip->client, answer.callback());
        if (!c.served.isNull()) {
            const auto result = answer.wait();
            ASSERT_TRUE(result);
            EXPECT_EQ(*result, c.served) << result->description().toStdString();
        }
        // Also without a callback the request is sent all the same.
        ASSERT_TRUE(
            testing_support::waitUntil([&] { return seenFields(*trip->server, c.operation).has_value(); }));
        const Value seen = *seenFields(*trip->server, c.operation);
        EXPECT_EQ(seen, Value(c.seen)) << seen.description().toStdString();
    }
}

TEST(UIManagementService, FailedRequestsGiveTheFailureValues) {
    const auto trip = UIRoundTrip::start(u"ui"_s);
    ASSERT_TRUE(trip);
    ASSERT_TRUE(trip->server->refuseWith(afx_makeErrorOfMissingServiceNamed(u"UI"_s, u"tests"_s)));
    for (const UICase& c : uiCases()) {
        if (c.failed.isNull()) {
            continue;
        }
        SCOPED_TRACE(c.operation.toStdString());
        Answer<Value> answer;
        c.call(*trip->client, answer.callback());
        const auto result = answer.wait();
        ASSERT_TRUE(result);
        EXPECT_EQ(*result, c.failed) << result->description().toStdString();
        EXPECT_EQ(answer.count(), 1);
    }
}

TEST(UIManagementService, ServerBaseAnswersThatTheServiceIsMissing) {
    const auto trip = UIRoundTrip::startWithServerBase(u"ui"_s);
    ASSERT_TRUE(trip);

    Answer<BRValueOrError<std::shared_ptr<AFXCustomerCredentials>>> credentials;
    trip->client->fetchCredentialsWithAccountName(u"ada@example.com"_s, nullptr, credentials.callback());
    const auto result = credentials.wait();
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->error());
    EXPECT_EQ(result->error()->code(), AFXErrorCodeMissingService);
    EXPECT_EQ(result->error()->userInfo().value(AFXErrorServiceNameKey),
              Value(AFXUIManagementService::interprocessServiceName()));

    Answer<bool> help;
    trip->client->openOnlineHelpWithCallback(help.callback());
    EXPECT_EQ(help.wait(), std::optional<bool>(false));
}

TEST(UIManagementService, TerminationWindowPairIsNotAmongTheServedRequests) {
    const auto trip = UIRoundTrip::start(u"ui"_s);
    ASSERT_TRUE(trip);
    EXPECT_FALSE(AFXUIManagementRequestClasses().contains(AFXPresentTerminationWindowRequest::staticClass()));

    // The client cannot send it: it answers at once, cancelled, with nothing quitted.
    Answer<std::pair<bool, QList<QUrl>>> answer;
    trip->client->presentTerminationWindowWithReason(
        4, [callback = answer.callback()](bool cancelled, const QList<QUrl>& urls) {
            callback({cancelled, urls});
        });
    const auto result = answer.wait();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->first);
    EXPECT_TRUE(result->second.isEmpty());
    EXPECT_TRUE(!seenFields(*trip->server, u"presentTerminationWindow"_s));

    // Sent by an adaptor that lists it, the server refuses it; the service goes on.
    auto classes = AFXUIManagementRequestClasses();
    classes << AFXPresentTerminationWindowRequest::staticClass();
    const auto adaptor = trip->makeClientAdaptor(classes);
    auto request = AFXPresentTerminationWindowRequest::make();
    request->setServiceID(trip->client->serviceID());
    request->setRequestingTierName(u"ServiceTests"_s);
    request->setReason(4);
    Answer<BRAnyValueOrError> refused;
    adaptor->performRequest(request, nullptr, refused.callback());
    const auto refusal = refused.wait();
    ASSERT_TRUE(refusal);
    EXPECT_FALSE(refusal->hasValue());
    EXPECT_TRUE(!seenFields(*trip->server, u"presentTerminationWindow"_s));

    // Its records still bind a process that serves it: the dispatch, run
    // here against a test server of this process, fills the response.
    const auto localAdaptor = AFXRegularInterprocessServerAdaptor::makeWithServiceName(
        u"com.kestrel.tests.UIManagementDispatch"_s, classes,
        std::make_shared<service_round_trip::ServerDelegate>());
    Answer<QString> localSeen;
    const auto localServer = UIManagementTestServer::make(
        trip->client->serviceID(), localAdaptor, trip->factory,
        [localSeen](const QString&, const QString& text) { localSeen.add(text); });
    const auto decoded = testing_support::archiveRoundTrip(request);
    ASSERT_TRUE(decoded);
    Answer<BRAnyValueOrError> served;
    decoded->performOnService(*localServer, nullptr, served.callback());
    const auto outcome = served.wait();
    ASSERT_TRUE(outcome && outcome->value());
    const auto response =
        testing_support::archiveRoundTrip(outcome->value()->toObject<AFXPresentTerminationWindowResponse>());
    ASSERT_TRUE(response);
    EXPECT_FALSE(response->cancelledByUser());
    EXPECT_EQ(response->quittedAppURLs(), QList<QUrl>{QUrl(u"file:///Applications/Orbit%20Notes.app"_s)});
    EXPECT_EQ(seenFields(localSeen.all(), u"presentTerminationWindow"_s),
              Value(Value::Dictionary{{u"reason"_s, 4}}));
}

TEST(UIManagementService, AbsentFlagsDecodeAsFalse) {
    const auto response = testing_support::archiveRoundTrip(AFXChangeStatusItemVisibilityResponse::make());
    ASSERT_TRUE(response);
    EXPECT_FALSE(response->isVisible());
}
