// The apps management service end to end on a private session bus: the
// client in this process sends each request through its adaptor to the
// test server (AppsManagementTestServer) in a process of its own, which
// notes what it saw.

#include "IPCTestService/IPCTestRecords.h"
#include "ServiceProcessRoundTrip.h"
#include "ServiceTestServers/AppsManagementTestServer.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Services/AppsManagement/AFXAppsManagementClient.h"
#include "SpecificTools/Services/AppsManagement/AFXAppsManagementRequests.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QCborMap>
#include <QCborValue>
#include <QDir>

#include <algorithm>

using namespace Qt::StringLiterals;
using service_round_trip::Answer;
using service_round_trip::describeError;

namespace {

const std::int64_t kAppID = AppsManagementTestServer::kAppID;

QString describe(const std::shared_ptr<AFXAppInstance>& instance) {
    return AppsManagementTestServer::describeInstance(instance);
}

// The elements' descriptions in a stable order: sets arrive in any order.
template <typename T, typename F> QString describeAll(const QList<T>& elements, F describeOne) {
    QStringList descriptions;
    for (const T& element : elements) {
        descriptions.append(describeOne(element));
    }
    descriptions.sort();
    return descriptions.join(u',');
}

template <typename T, typename F> QString describe(const BRValueOrError<T>& result, F describeValue) {
    return result.error() ? describeError(result.error()) : describeValue(*result.value());
}

using Received = Answer<QString>;

using AppsRoundTrip = service_round_trip::ProcessRoundTrip<AFXAppsManagementClient>;

// A private bus, the served service and a client of it.
class AppsManagementService : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(appPath_));
        trip_ = AppsRoundTrip::start(u"apps"_s, {appPath_});
        ASSERT_TRUE(trip_);
        client_ = trip_->client;
    }

    const QString appPath_ = testing_support::testRoot() + u"/Applications/Orbit Notes.app"_s;
    std::unique_ptr<AppsRoundTrip> trip_;
    std::shared_ptr<AFXAppsManagementClient> client_;
};

// One call of the client, given where the server's apps live: what the
// server saw, and what the callback got when the server answered and when
// it failed (empty: no callback).
struct RoundTrip {
    QString seen;
    std::function<void(AFXAppsManagementClient&, const QString&, const Received&)> call;
    QString answered;
    QString failed;
};

// A callback that adds what its result shows to `got`.
template <typename F> auto showing(const Received& got, F show) {
    return [got, show](const auto& result) { got.add(describe(result, show)); };
}
AFXErrorCallback noting(const Received& got) {
    return [got](const std::optional<platform::Error>& error) { got.add(describeError(error)); };
}

QList<RoundTrip> roundTrips() {
    const auto numbers = [](const auto& list) {
        return describeAll(list, [](const auto& one) { return QString::number(one->identifier()); });
    };
    const auto names = [](const auto& list) {
        return describeAll(list, [](const auto& one) { return one->identifier(); });
    };
    const auto app = [](const std::shared_ptr<AFXCodedApp>& app) {
        return u"app %1"_s.arg(app->identifier());
    };
    const auto instances = [](const QList<std::shared_ptr<AFXAppInstance>>& list) {
        return u"instances "_s + describeAll(list, [](const auto& instance) { return describe(instance); });
    };
    const auto instance = [](const std::shared_ptr<AFXAppInstance>& one) {
        return u"instance "_s + describe(one);
    };
    const QString failure = u"error com.kestrel.tests 7"_s;
    const QList<QUrl> documents{QUrl(u"file:///docs/a.txt"_s), QUrl(u"file:///docs/b.txt"_s)};
    return {
        {u"apps collection=none"_s,
         [=](auto& client, auto&, auto& got) { client.fetchAppsWithCallback(showing(got, numbers)); },
         u"230,231"_s, failure},
        {u"apps collection=12"_s,
         [=](auto& client, auto&, auto& got) {
             client.fetchAppsForCollectionWithID(12, showing(got, numbers));
         },
         u"230,231"_s, failure},
        {u"app 230"_s,
         [=](auto& client, auto&, auto& got) { client.fetchAppWithID(kAppID, showing(got, app)); },
         u"app 230"_s, failure},
        {u"bundle com.orbit.notes"_s,
         [=](auto& client, auto&, auto& got) {
             client.fetchAppWithBundleId(
                 u"com.orbit.notes"_s, showing(got, [](const auto& one) { return one->bundleIdentifier(); }));
         },
         u"com.orbit.notes"_s, failure},
        // An array keeps its order.
        {u"screenshots app=230 version=4.2"_s,
         [=](auto& client, auto&, auto& got) {
             client.fetchScreenshotsForAppWithID(kAppID, u"4.2"_s, showing(got, [](const auto& list) {
                                                     QStringList identifiers;
                                                     for (const auto& screenshot : list) {
                                                         identifiers.append(screenshot->identifier());
                                                     }
                                                     return identifiers.join(u',');
                                                 }));
         },
         u"s2,s1"_s, failure},
        {u"instances"_s,
         [=](auto& client, auto&, auto& got) {
             client.fetchAppInstancesWithCallback(showing(got, instances));
         },
         u"instances teaser:230,vendor:230"_s, failure},
        {u"instances app=230"_s,
         [=](auto& client, auto&, auto& got) {
             client.fetchAppInstancesWithAppID(kAppID, showing(got, instances));
         },
         u"instances teaser:230"_s, failure},
        // The reporting requests, without a handler of the caller's.
        {u"resources app=230 priority=2"_s,
         [=](auto& client, auto&, auto& got) {
             client.prepareResourcesForApp(AppsManagementTestServer::app(), 2, nullptr, showing(got, names));
         },
         u"r1"_s, failure},
        {u"teaser install app=230 options=3"_s,
         [=](auto& client, auto&, auto& got) {
             client.installTeaserAppWithID(kAppID, nullptr, 3, showing(got, instance));
         },
         u"instance teaser:230"_s, failure},
        {u"absent teasers options=1"_s,
         [=](auto& client, auto&, auto& got) {
             client.installAbsentTeaserAppsWithReportHandler(nullptr, 1, showing(got, instances));
         },
         u"instances teaser:230"_s, failure},
        {u"internal update from=1.2"_s,
         [=](auto& client, auto&, auto& got) {
             client.fetchInternalUpdateForVersion(u"1.2"_s, showing(got, [](const auto& one) {
                                                      return one->identifier() + u' ' + one->version();
                                                  }));
         },
         u"u1 1.3"_s, failure},
        {u"cleanup"_s,
         [=](auto& client, auto&, auto& got) { client.cleanupAfterInternalUpdateWithCallback(noting(got)); },
         u"done"_s, failure},
        {u"refresh r9 priority=1"_s,
         [=](auto& client, auto&, auto& got) {
             client.fetchRefreshedResourceWithID(
                 u"r9"_s, 1, nullptr, showing(got, [](const auto& one) { return one->identifier(); }));
         },
         u"r9"_s, failure},
        // No error reaches this callback: a failure is no changer.
        {u"priority changer r9"_s,
         [=](auto& client, auto&, auto& got) {
             client.fetchDownloadPriorityChangerForResourceWithID(u"r9"_s, [got](const auto& changer) {
                 const auto holder = std::dynamic_pointer_cast<AFXResourceDownloadPriorityHolder>(changer);
                 got.add(holder ? u"changer %1 %2"_s.arg(holder->identifier()).arg(holder->priority())
                                : u"no changer"_s);
             });
         },
         u"changer r9 2"_s, u"no changer"_s},
        {u"launch app=230"_s,
         [=](auto& client, auto&, auto& got) {
             client.launchApp(AppsManagementTestServer::app(), showing(got, instance));
         },
         u"instance vendor:230"_s, failure},
        {u"viewed app=230"_s,
         [=](auto& client, auto&, auto& got) {
             client.markAppAsViewed(AppsManagementTestServer::app(), noting(got));
         },
         u"done"_s, failure},
        {u"teaser launched 230"_s,
         [=](auto& client, auto&, auto&) { client.noteTeaserDidLaunchWithID(kAppID); },
         {},
         {}},
        {u"refresh store user=1"_s,
         [=](auto& client, auto&, auto& got) { client.refreshStoreInitiatedByUser(true, noting(got)); },
         u"done"_s, failure},
        {u"app launched 230 version=4.2"_s,
         [=](auto& client, auto&, auto&) { client.noteAppDidLaunchWithID(kAppID, u"4.2"_s); },
         {},
         {}},
        {u"running apps 0 data=notify"_s,
         [=](auto& client, auto&, auto& got) {
             client.updateRunningApplicationsWithAvailableUpdates({}, "notify",
                                                                  [got] { got.add(u"called"_s); });
         },
         u"called"_s, u"called"_s},
        {u"search notes ignore=0 limit=5"_s,
         [=](auto& client, auto&, auto& got) {
             client.searchAppsWithString(
                 u"notes"_s, false, 5, showing(got, [](const auto& list) {
                     return describeAll(list, [](const auto& one) {
                         return u"%1:%2"_s.arg(one->app()->identifier()).arg(one->score());
                     });
                 }));
         },
         u"230:0.5"_s, failure},
        {u"collections"_s,
         [=](auto& client, auto&, auto& got) {
             client.fetchAppCollectionsWithCallback(showing(got, numbers));
         },
         u"7"_s, failure},
        {u"teaser workflow teaser:230 0.3"_s,
         [=](auto& client, auto& appPath, auto& got) {
             client.fetchTeaserWorkflowForInstance(
                 AppsManagementTestServer::teaserInstance(appPath), showing(got, [](const auto& workflow) {
                     return u"state=%1 fraction=%2 %3 workflow=%4"_s.arg(workflow->state())
                         .arg(workflow->fractionCompleted())
                         .arg(describe(workflow->appInstance()))
                         .arg(workflow->appWorkflow() ? workflow->appWorkflow()->appID() : 0);
                 }));
         },
         u"state=3 fraction=0.5 teaser:230 workflow=230"_s, failure},
        {u"instead teaser:230 replace=0"_s,
         [=](auto& client, auto& appPath, auto& got) {
             client.installVendorAppInsteadOfInstance(
                 AppsManagementTestServer::teaserInstance(appPath), false,
                 showing(got, [](const QUrl& url) { return url.toString(); }));
         },
         u"file:///tmp/waiting.app"_s, failure},
        {u"stop instead teaser:230"_s,
         [=](auto& client, auto& appPath, auto& got) {
             client.stopInstallVendorAppInsteadOfInstance(AppsManagementTestServer::teaserInstance(appPath),
                                                          noting(got));
         },
         u"done"_s, failure},
        {u"replace teaser:230 launch=0 documents=file:///docs/a.txt,file:///docs/b.txt"_s,
         [=](auto& client, auto& appPath, auto& got) {
             client.prepareToReplaceTeaserAppInstance(AppsManagementTestServer::teaserInstance(appPath),
                                                      false, documents, noting(got));
         },
         u"done"_s, failure},
        {u"workflow app=230"_s,
         [=](auto& client, auto&, auto& got) {
             client.fetchAppWorkflowForApp(
                 AppsManagementTestServer::app(), showing(got, [](const auto& workflow) {
                     return u"workflow %1 state=%2"_s.arg(workflow->appID()).arg(workflow->state());
                 }));
         },
         u"workflow 230 state=2"_s, failure},
        {u"install app=230 launch=0"_s,
         [=](auto& client, auto&, auto& got) {
             client.installVendorApp(AppsManagementTestServer::app(), false, showing(got, instance));
         },
         u"instance vendor:230"_s, failure},
        {u"stop install app=230"_s,
         [=](auto& client, auto&, auto& got) {
             client.stopInstallVendorApp(AppsManagementTestServer::app(), noting(got));
         },
         u"done"_s, failure},
        {u"place app=230 launch=0 documents=file:///docs/a.txt"_s,
         [=](auto& client, auto&, auto& got) {
             client.placeVendorAppInstance(
                 AppsManagementTestServer::app(), false, {documents.first()},
                 showing(got, [](const auto& one) {
                     return u"vendor %1 %2"_s.arg(one->appID()).arg(one->appVersionID());
                 }));
         },
         u"vendor 230 4.2"_s, failure},
    };
}

TEST_F(AppsManagementService, EveryRequestTravelsAndAnswersItsCallback) {
    for (const bool failing : {false, true}) {
        ASSERT_TRUE(trip_->server->control(u"fail"_s, failing ? u"1"_s : u"0"_s));
        for (const RoundTrip& roundTrip : roundTrips()) {
            SCOPED_TRACE((roundTrip.seen + (failing ? u" (failing)"_s : QString())).toStdString());
            const int seenBefore = int(trip_->server->seen.all().size());
            Received got;
            roundTrip.call(*client_, appPath_, got);
            ASSERT_TRUE(trip_->server->seen.waitFor(seenBefore + 1));
            EXPECT_EQ(trip_->server->seen.all().value(seenBefore), roundTrip.seen);
            const QString expected = failing ? roundTrip.failed : roundTrip.answered;
            if (expected.isEmpty()) {
                continue;
            }
            ASSERT_TRUE(got.waitFor(1));
            EXPECT_EQ(got.all(), QStringList{expected});
        }
    }
}

TEST_F(AppsManagementService, ReportsReachTheCallersHandlerBeforeTheAnswer) {
    ASSERT_TRUE(trip_->server->control(u"hold"_s, u"1"_s));
    Received reports;
    Received answers;
    const auto app = AppsManagementTestServer::app();
    client_->prepareResourcesForApp(
        app, 2, [&](double fraction) { reports.add(u"resources %1"_s.arg(fraction)); },
        [&](const auto& result) {
            answers.add(
                describe(result, [](const auto& list) { return u"%1 resources"_s.arg(list.size()); }));
        });
    client_->installTeaserAppWithID(
        kAppID,
        [&](bool fetched, double fraction) { reports.add(u"teaser %1 %2"_s.arg(fetched).arg(fraction)); }, 0,
        [&](const auto& result) {
            answers.add(describe(result, [](const auto& one) { return describe(one); }));
        });
    client_->installAbsentTeaserAppsWithReportHandler(
        [&](bool fetched, std::int64_t installed, double fraction) {
            reports.add(u"absent %1 %2 %3"_s.arg(fetched).arg(installed).arg(fraction));
        },
        1,
        [&](const auto& result) {
            answers.add(describe(result, [](const auto& list) { return u"%1 teasers"_s.arg(list.size()); }));
        });
    client_->fetchRefreshedResourceWithID(
        u"r9"_s, 1, [&](double fraction) { reports.add(u"refresh %1"_s.arg(fraction)); },
        [&](const auto& result) {
            answers.add(describe(result, [](const auto& one) { return one->identifier(); }));
        });

    ASSERT_TRUE(reports.waitFor(5));
    EXPECT_TRUE(answers.all().isEmpty());
    ASSERT_TRUE(trip_->server->control(u"release"_s, u"4"_s));
    ASSERT_TRUE(answers.waitFor(4));

    QStringList gotReports = reports.all();
    gotReports.sort();
    EXPECT_EQ(gotReports, (QStringList{u"absent 1 2 0.75"_s, u"refresh 0.4"_s, u"resources 0.25"_s,
                                       u"resources 0.5"_s, u"teaser 1 0.5"_s}));
    QStringList gotAnswers = answers.all();
    gotAnswers.sort();
    EXPECT_EQ(gotAnswers, (QStringList{u"1 resources"_s, u"1 teasers"_s, u"r9"_s, u"teaser:230"_s}));
}

TEST_F(AppsManagementService, ReportsWithoutAHandlerAreDroppedAndTheCallbackComesOnce) {
    ASSERT_TRUE(trip_->server->control(u"hold"_s, u"1"_s));
    Received answers;
    client_->prepareResourcesForApp(AppsManagementTestServer::app(), 2, nullptr, [&](const auto& result) {
        answers.add(describe(result, [](const auto& list) { return u"%1 resources"_s.arg(list.size()); }));
    });
    ASSERT_TRUE(trip_->server->control(u"release"_s, u"1"_s));
    ASSERT_TRUE(answers.waitFor(1));
    // Anything late would have come by the time a second round trip ends.
    Received second;
    client_->fetchAppWithID(kAppID, [&](const auto& result) {
        second.add(describe(result, [](const auto& app) { return QString::number(app->identifier()); }));
    });
    ASSERT_TRUE(second.waitFor(1));
    EXPECT_EQ(answers.all(), QStringList{u"1 resources"_s});
}

// A server offering nothing, or a client whose factory is gone, answers
// every caller with the missing service error; the test server sees nothing.
TEST_F(AppsManagementService, WithoutAServingServiceCallersGetTheMissingServiceError) {
    const std::pair<const char*, std::function<void(AppsRoundTrip&)>> scenarios[] = {
        {"a server base offering nothing",
         [](AppsRoundTrip& trip) { EXPECT_TRUE(trip.server->serve(u"base"_s)); }},
        {"no factory left", [](AppsRoundTrip& trip) { trip.factory.reset(); }},
    };
    const QString missing = u"error %1 %2"_s.arg(AFXDefaultErrorDomain).arg(AFXErrorCodeMissingService);
    const auto app = AppsManagementTestServer::app();
    for (const auto& [name, breakService] : scenarios) {
        SCOPED_TRACE(name);
        breakService(*trip_);
        Received got;
        client_->fetchAppWithID(kAppID, [&](const auto& result) {
            got.add(describe(result, [](const auto&) { return u"app"_s; }));
        });
        client_->stopInstallVendorApp(app, [&](const auto& error) { got.add(describeError(error)); });
        client_->fetchDownloadPriorityChangerForResourceWithID(
            u"r1"_s, [&](const auto& changer) { got.add(changer ? u"changer"_s : u"no changer"_s); });
        ASSERT_TRUE(got.waitFor(3));
        QStringList entries = got.all();
        entries.sort();
        EXPECT_EQ(entries, (QStringList{missing, missing, u"no changer"_s}));
    }
    EXPECT_EQ(trip_->server->seen.count(), 0);
}

// A reply without the value asked for, or of another response class, is an
// error for the caller rather than an empty result or a success.
TEST_F(AppsManagementService, AnIncompleteOrMismatchedResponseIsAnError) {
    // Every request is answered with an install response holding no instance.
    ASSERT_TRUE(trip_->server->answerWith(AFXInstallVendorAppResponse::staticClass()));
    const auto app = AppsManagementTestServer::app();
    Received installed, fetched, stopped;
    client_->installVendorApp(app, false, [&](const auto& result) {
        installed.add(describe(result, [](const auto& one) { return describe(one); }));
    });
    client_->fetchAppWithID(kAppID, [&](const auto& result) {
        fetched.add(describe(result, [](const auto&) { return u"app"_s; }));
    });
    client_->stopInstallVendorApp(app, [&](const auto& error) { stopped.add(describeError(error)); });
    ASSERT_TRUE(installed.waitFor(1) && fetched.waitFor(1) && stopped.waitFor(1));
    const auto errorOf = [](AFXErrorCode code) {
        return u"error %1 %2"_s.arg(AFXDefaultErrorDomain).arg(code);
    };
    EXPECT_EQ(installed.all(), QStringList{errorOf(AFXErrorCodeMissingObject)});
    EXPECT_EQ(fetched.all(), QStringList{errorOf(AFXErrorCodeServerResponseParsing)});
    EXPECT_EQ(stopped.all(), QStringList{errorOf(AFXErrorCodeServerResponseParsing)});
}

TEST_F(AppsManagementService, ARequestTheServiceDoesNotListIsRefused) {
    auto request = IPCTestUnlistedRequest::make();
    request->setRequestingTierName(trip_->factory->tierName());
    request->setServiceID(client_->serviceID());
    const auto adaptor =
        trip_->makeClientAdaptor(AFXAppsManagementRequestClasses() << IPCTestUnlistedRequest::staticClass());
    Received got;
    adaptor->performRequest(request, nullptr, [&](const BRAnyValueOrError& outcome) {
        got.add(outcome.error() ? u"error"_s : u"value"_s);
    });
    ASSERT_TRUE(got.waitFor(1));
    EXPECT_EQ(got.all(), QStringList{u"error"_s});
    EXPECT_EQ(trip_->server->seen.count(), 0);
}

// The archive of the record without one of its keys.
QByteArray archiveWithout(const std::shared_ptr<platform::Object>& record, const QString& key) {
    const auto data = platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(record));
    if (!data) {
        ADD_FAILURE() << "not archived";
        return {};
    }
    QCborMap map = QCborValue::fromCbor(*data).toMap();
    const auto encodedKey = QString::fromUtf8(platform::KeyedArchiver::encodedKey(key));
    EXPECT_TRUE(map.contains(encodedKey)) << key.toStdString();
    map.remove(encodedKey);
    return map.toCborValue().toCbor();
}

TEST(AppsManagementRecords, AbsentFlagsAndOptionsDecodeToTheirDefaults) {
    const auto decode = [](const std::shared_ptr<platform::Object>& record, const QString& key) {
        return platform::KeyedUnarchiver::unarchivedObjectOfClasses({record->objectClass()},
                                                                    archiveWithout(record, key));
    };
    auto install = AFXInstallVendorAppRequest::make();
    install->setShouldLaunch(false);
    auto place = AFXPlaceVendorAppInstanceRequest::make();
    auto replace = AFXPrepareToReplaceTeaserAppInstanceRequest::make();
    auto instead = AFXInstallVendorAppInsteadOfInstanceRequest::make();
    auto search = AFXSearchAppsWithStringRequest::make();
    const QList<std::pair<std::shared_ptr<platform::Object>, QString>> flags{
        {install, u"shouldLaunch"_s},
        {place, u"shouldLaunch"_s},
        {replace, u"shouldLaunch"_s},
        {instead, u"shouldReplaceIfTeaserWillQuit"_s},
        {search, u"ignoreAppsWithoutInstance"_s}};
    for (const auto& [record, key] : flags) {
        SCOPED_TRACE(key.toStdString());
        const auto decoded = decode(record, key);
        ASSERT_TRUE(decoded && decoded->toObject<platform::Object>());
        EXPECT_TRUE(decoded->toObject<platform::Object>()->valueForKey(key).toBool());
    }

    auto teaser = AFXInstallTeaserAppWithIDRequest::make();
    teaser->setOptions(5);
    auto absent = AFXInstallAbsentTeaserAppsRequest::make();
    absent->setOptions(5);
    for (const std::shared_ptr<platform::Object>& record :
         {std::static_pointer_cast<platform::Object>(teaser),
          std::static_pointer_cast<platform::Object>(absent)}) {
        const auto decoded = decode(record, u"options"_s);
        ASSERT_TRUE(decoded && decoded->toObject<platform::Object>());
        EXPECT_EQ(decoded->toObject<platform::Object>()->valueForKey(u"options"_s).toUnsigned(), 0u);
    }

    // Present, the flag keeps its value.
    const auto kept = platform::KeyedUnarchiver::unarchivedObjectOfClass<AFXInstallVendorAppRequest>(
        *platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(install)));
    ASSERT_TRUE(kept);
    EXPECT_FALSE(kept->shouldLaunch());
}

} // namespace
