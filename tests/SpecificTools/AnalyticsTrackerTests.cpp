#include "SpecificTools/AFXStandardUserDefaults.h"
#include "SpecificTools/Analytics/AFXAnalyticsTracker.h"
#include "SpecificTools/Model/AFXEnvironmentID.h"
#include "platform/JSONSerialization.h"
#include "platform/PropertyList.h"
#include "support/BRSystemInfo.h"
#include "tests/testing/EnvironmentOverride.h"
#include "tests/testing/StoreProcess.h"
#include "tests/testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QUuid>

#include <algorithm>
#include <memory>

namespace {

using platform::Value;
using testing_support::EnvironmentOverride;
using testing_support::StoreProcess;
using testing_support::waitUntil;

const QString kDeferredKey = QStringLiteral("AFXAnalyticsTrackerDeferredQueue");

// The store as statistics host: every body it takes lands in one file.
class StatisticsHost {
public:
    StatisticsHost()
        : served_(testing_support::testRoot() + QStringLiteral("/served")),
          eventsFile_(testing_support::testRoot() + QStringLiteral("/events.jsonl")),
          stateDir_(testing_support::testRoot() + QStringLiteral("/store-state")) {
        QDir().mkpath(served_);
    }

    // Starts the store, on the port it had before once it has run.
    bool start() {
        QStringList arguments{QStringLiteral("--events-file"), eventsFile_, QStringLiteral("--state-dir"),
                              stateDir_};
        if (port_ != 0) {
            arguments << QStringLiteral("--port") << QString::number(port_);
        }
        store_ = StoreProcess::start(served_, arguments);
        if (!store_) {
            return false;
        }
        port_ = store_->baseURL().port();
        baseURL_ = store_->baseURL();
        caBundlePath_ = store_->caBundlePath();
        return true;
    }
    void stop() { store_.reset(); }

    QByteArray baseURL() const { return baseURL_.toString().toUtf8(); }
    QByteArray caBundlePath() const { return caBundlePath_.toUtf8(); }

    QList<Value::Dictionary> events() const {
        QList<Value::Dictionary> events;
        for (const QByteArray& line : testing_support::readFile(eventsFile_).split('\n')) {
            if (!line.isEmpty()) {
                events.append(platform::JSONSerialization::read(line).value_or(Value()).toDictionary());
            }
        }
        return events;
    }
    bool waitForEvents(qsizetype count) const {
        return waitUntil([&] { return events().size() >= count; });
    }
    // The events whose key has the value, however many.
    qsizetype count(const QString& key, const QString& value) const {
        const auto all = events();
        return std::count_if(all.begin(), all.end(), [&](const Value::Dictionary& event) {
            return event.value(key).toString() == value;
        });
    }
    Value::Dictionary eventWith(const QString& key, const QString& value) const {
        for (const auto& event : events()) {
            if (event.value(key).toString() == value) {
                return event;
            }
        }
        return {};
    }

private:
    QString served_, eventsFile_, stateDir_, caBundlePath_;
    QUrl baseURL_;
    int port_ = 0;
    std::unique_ptr<StoreProcess> store_;
};

Value::Dictionary event(const QString& action) {
    return {{QStringLiteral("ec"), QStringLiteral("Tests")}, {QStringLiteral("ea"), action}};
}

TEST(AnalyticsTracker, PostsCompletedEventsTimingsAndViewsToTheStatisticsHost) {
    StatisticsHost host;
    ASSERT_TRUE(host.start());
    EnvironmentOverride environment{{"KESTREL_CA_BUNDLE", host.caBundlePath()},
                                    {"KESTREL_STATISTICS_HOST", host.baseURL()}};
    afx_standardUserDefaults()->setObject(QStringLiteral("user-7"), QStringLiteral("AFXDataHubUID"));
    const auto tracker = AFXAnalyticsTracker::trackerWithApplicationName(QStringLiteral("Orbit & Notes"),
                                                                         QStringLiteral("com.kestrel.Tests"));
    ASSERT_TRUE(tracker->isEnabled());
    EXPECT_EQ(tracker->dataHub()->identification()->userAgentString().section(u'/', 0, 0),
              QStringLiteral("Orbit & Notes"));

    tracker->trackView(QStringLiteral("Library"));
    Value::Dictionary plain = event(QStringLiteral("plain"));
    plain.insert(QStringLiteral("el"), Value());
    tracker->trackEventWithParameters(plain);
    tracker->trackModalView(QStringLiteral("Settings"));
    tracker->trackModalView(QStringLiteral("Account"));
    tracker->trackModalView(QStringLiteral("Account"));
    tracker->trackEventWithParameters(event(QStringLiteral("modal")));
    Value::Dictionary given = event(QStringLiteral("given"));
    given.insert(QStringLiteral("cd"), QStringLiteral("Given"));
    tracker->trackEventWithParameters(given);
    tracker->trackTimingWithParameters(
        {{QStringLiteral("utc"), QStringLiteral("load")}, {QStringLiteral("utt"), 120}});
    tracker->stopTrackingModalView();
    tracker->stopTrackingModalView();
    tracker->trackEventWithParameters(event(QStringLiteral("last")));

    ASSERT_TRUE(host.waitForEvents(9));
    const auto events = host.events();
    ASSERT_EQ(events.size(), 9);
    const QString session = tracker->vireoSessionIdentifier();
    for (const auto& posted : events) {
        EXPECT_EQ(posted.value(QStringLiteral("an")).toString(), QStringLiteral("Orbit%20%26%20Notes"));
        EXPECT_EQ(posted.value(QStringLiteral("av")).toString(), QStringLiteral("1.9.8"));
        EXPECT_EQ(posted.value(QStringLiteral("kestrel_uid")).toString(), QStringLiteral("user-7"));
        EXPECT_EQ(posted.value(QStringLiteral("mac")).toString(), BRSystemInfo::MACAddress());
        EXPECT_TRUE(posted.contains(QStringLiteral("sr")) && posted.contains(QStringLiteral("vp")) &&
                    posted.contains(QStringLiteral("ul")));
        const QString type = posted.value(QStringLiteral("t")).toString();
        // Views are sent as they are; events and timings carry the session.
        EXPECT_EQ(posted.value(QStringLiteral("uid")).toString(),
                  type == QStringLiteral("appview") ? QString() : session);
    }
    EXPECT_EQ(host.count(QStringLiteral("t"), QStringLiteral("appview")), 4);
    EXPECT_EQ(host.count(QStringLiteral("cd"), QStringLiteral("Library")), 4);
    EXPECT_EQ(host.count(QStringLiteral("cd"), QStringLiteral("Settings")), 1);
    EXPECT_EQ(host.count(QStringLiteral("cd"), QStringLiteral("Account")), 2);

    const auto plainPosted = host.eventWith(QStringLiteral("ea"), QStringLiteral("plain"));
    EXPECT_EQ(plainPosted.value(QStringLiteral("t")).toString(), QStringLiteral("event"));
    EXPECT_EQ(plainPosted.value(QStringLiteral("cd")).toString(), QStringLiteral("Library"));
    EXPECT_FALSE(plainPosted.contains(QStringLiteral("el")));
    EXPECT_EQ(
        host.eventWith(QStringLiteral("ea"), QStringLiteral("modal")).value(QStringLiteral("cd")).toString(),
        QStringLiteral("Account"));
    EXPECT_EQ(
        host.eventWith(QStringLiteral("ea"), QStringLiteral("given")).value(QStringLiteral("cd")).toString(),
        QStringLiteral("Given"));
    EXPECT_EQ(
        host.eventWith(QStringLiteral("ea"), QStringLiteral("last")).value(QStringLiteral("cd")).toString(),
        QStringLiteral("Library"));
    const auto timing = host.eventWith(QStringLiteral("t"), QStringLiteral("timing"));
    EXPECT_EQ(timing.value(QStringLiteral("utt")), Value(120));
    EXPECT_FALSE(timing.contains(QStringLiteral("cd")));
}

TEST(AnalyticsTracker, SendsOnlyWhileEnabledAsTheEnvironmentSays) {
    StatisticsHost host;
    ASSERT_TRUE(host.start());
    EnvironmentOverride environment{{"KESTREL_CA_BUNDLE", host.caBundlePath()},
                                    {"KESTREL_STATISTICS_HOST", host.baseURL()}};
    afx_standardUserDefaults()->setObject(false, QStringLiteral("SUSendProfileInfo"));
    const auto tracker = AFXAnalyticsTracker::trackerWithApplicationName(QStringLiteral("KestrelInstaller"),
                                                                         QStringLiteral("com.kestrel.Tests"));
    EXPECT_FALSE(tracker->isEnabled());
    tracker->trackEventWithParameters(event(QStringLiteral("while-off")));

    tracker->setEnabled(AFXEnvironmentID::defaultEnvironmentID()->isAnalyticsTrackingEnabled());
    tracker->trackEventWithParameters(event(QStringLiteral("default-environment")));
    tracker->setEnabled(AFXEnvironmentID::environmentIDWithManifestURL(
                            QUrl(QStringLiteral("https://staging.example/endpoints.json")))
                            ->isAnalyticsTrackingEnabled());
    tracker->trackView(QStringLiteral("other-environment"));
    // Deferred events replayed while disabled are dropped, and the queue with them.
    tracker->deferEventWithParameters(event(QStringLiteral("deferred")));
    tracker->sendDeferredEvents();
    EXPECT_TRUE(afx_standardUserDefaults()->arrayForKey(kDeferredKey).isEmpty());

    tracker->setEnabled(true);
    tracker->trackEventWithParameters(event(QStringLiteral("marker")));
    ASSERT_TRUE(host.waitForEvents(2));
    EXPECT_EQ(host.events().size(), 2);
    EXPECT_EQ(host.count(QStringLiteral("ea"), QStringLiteral("default-environment")), 1);
    EXPECT_EQ(host.count(QStringLiteral("ea"), QStringLiteral("marker")), 1);
    EXPECT_EQ(host.events().value(0).value(QStringLiteral("an")).toString(),
              QStringLiteral("KestrelInstaller"));
}

TEST(AnalyticsTracker, KeepsEventsWhileTheHostIsDownAndSendsEachOnceWhenItIsBack) {
    StatisticsHost host;
    ASSERT_TRUE(host.start());
    EnvironmentOverride environment{{"KESTREL_CA_BUNDLE", host.caBundlePath()},
                                    {"KESTREL_STATISTICS_HOST", host.baseURL()}};
    host.stop();
    const auto deferred = [] { return afx_standardUserDefaults()->arrayForKey(kDeferredKey); };
    {
        const auto tracker = AFXAnalyticsTracker::trackerWithApplicationName(
            QStringLiteral("KestrelInstaller"), QStringLiteral("com.kestrel.Tests"));
        tracker->trackEventWithParameters(event(QStringLiteral("a")));
        tracker->trackEventWithParameters(event(QStringLiteral("b")));
        tracker->trackTimingWithParameters({{QStringLiteral("utv"), QStringLiteral("c")}});
        tracker->deferEventWithParameters(event(QStringLiteral("d")));
        ASSERT_TRUE(waitUntil([&] { return deferred().size() == 4; }));
    }
    EXPECT_TRUE(host.events().isEmpty());

    // A new process's tracker finds them in the shared defaults.
    ASSERT_TRUE(host.start());
    const auto tracker = AFXAnalyticsTracker::trackerWithApplicationName(QStringLiteral("KestrelInstaller"),
                                                                         QStringLiteral("com.kestrel.Tests"));
    tracker->sendDeferredEvents();
    EXPECT_TRUE(deferred().isEmpty());
    ASSERT_TRUE(host.waitForEvents(4));
    tracker->sendDeferredEvents();
    tracker->trackEventWithParameters(event(QStringLiteral("marker")));
    ASSERT_TRUE(host.waitForEvents(5));

    EXPECT_EQ(host.events().size(), 5);
    for (const QString& action :
         {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("d"), QStringLiteral("marker")}) {
        EXPECT_EQ(host.count(QStringLiteral("ea"), action), 1) << action.toStdString();
    }
    const auto timing = host.eventWith(QStringLiteral("utv"), QStringLiteral("c"));
    EXPECT_EQ(timing.value(QStringLiteral("t")).toString(), QStringLiteral("timing"));
    EXPECT_EQ(host.eventWith(QStringLiteral("ea"), QStringLiteral("d")).value(QStringLiteral("t")).toString(),
              QStringLiteral("event"));
    EXPECT_TRUE(deferred().isEmpty());
}

TEST(AnalyticsTracker, KeepsOneSessionIdentifierInTheSharedDefaults) {
    const auto first = AFXAnalyticsTracker::trackerWithApplicationName(QStringLiteral("KestrelInstaller"),
                                                                       QStringLiteral("com.kestrel.Tests"));
    EXPECT_EQ(first->userDefaults()->domain(), QStringLiteral("com.kestrel.DesktopClient"));
    const QString session = first->vireoSessionIdentifier();
    EXPECT_FALSE(QUuid::fromString(session).isNull()) << session.toStdString();

    const auto stored = platform::PropertyList::read(testing_support::readFile(
        platform::UserDefaults::filePathForDomain(QStringLiteral("com.kestrel.DesktopClient"))));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->toDictionary().value(QStringLiteral("VR_SID")).toString(), session);

    const auto second = AFXAnalyticsTracker::trackerWithApplicationName(QStringLiteral("Other"),
                                                                        QStringLiteral("com.kestrel.Tests"));
    EXPECT_EQ(second->vireoSessionIdentifier(), session);
}

} // namespace
