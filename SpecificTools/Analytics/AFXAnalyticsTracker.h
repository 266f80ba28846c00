#pragma once

#include "AFXDataHub.h"
#include "AFXDeferredAnalyticsProtocol.h"
#include "platform/DispatchQueue.h"
#include "platform/UserDefaults.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>

// The key of the tracker's defaults holding the events kept for later.
inline const QString AFXAnalyticsTrackerDeferredQueueKey = QStringLiteral("AFXAnalyticsTrackerDeferredQueue");

// The process's usage-analytics recorder. It completes the parameters of
// events, timings and screen views (hit type, screen, session identifier)
// and, while enabled, hands them to its data hub; while disabled they are
// dropped. Events can be deferred: they wait in the defaults, across
// restarts, until `sendDeferredEvents`. An event whose post fails because
// the statistics host cannot take it joins that queue too, complete as it
// was, so nothing tracked while enabled is lost to an outage; the queue is
// taken out of the defaults before it is replayed, so nothing is sent twice.
// It keeps at most MaximumDeferredEvents, dropping the oldest first.
//
// Tracking may be called from any thread, but the screen state (the current
// screen and the modal screens) is meant for one thread, the main thread of
// the user interface. The deferred queue is changed only on the internal
// queue ("analytics-tracker").
class AFXAnalyticsTracker : public AFXDeferredAnalyticsProtocol,
                            public std::enable_shared_from_this<AFXAnalyticsTracker> {
public:
    static constexpr qsizetype MaximumDeferredEvents = 1000;

    // A tracker for the application with a data hub posting to the store's
    // statistics endpoint, recording into the shared defaults.
    static std::shared_ptr<AFXAnalyticsTracker>
    trackerWithApplicationName(const QString& applicationName, const QString& applicationIdentifier);
    static std::shared_ptr<AFXAnalyticsTracker>
    makeWithDataHub(std::shared_ptr<AFXDataHub> dataHub, const QString& applicationName,
                    const QString& applicationIdentifier,
                    std::shared_ptr<platform::UserDefaults> userDefaults);
    AFXAnalyticsTracker(const AFXAnalyticsTracker&) = delete;
    AFXAnalyticsTracker& operator=(const AFXAnalyticsTracker&) = delete;

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

    const std::shared_ptr<AFXDataHub>& dataHub() const { return dataHub_; }
    // The given name, percent-escaped, with "&" as "%26".
    const QString& applicationName() const { return applicationName_; }
    const QString& applicationIdentifier() const { return applicationIdentifier_; }
    // The main bundle's "CFBundleVersion", or "Unknown".
    QString applicationVersion() const;
    // The defaults' "VR_SID"; a new UUID is stored there first when it has none.
    QString vireoSessionIdentifier();
    const QString& currentScreen() const { return currentScreen_; }
    // Newest first.
    const QStringList& modalScreens() const { return modalScreens_; }
    const std::shared_ptr<platform::UserDefaults>& userDefaults() const { return userDefaults_; }

    void trackEventWithParameters(const platform::Value::Dictionary& parameters) override;
    void trackTimingWithParameters(const platform::Value::Dictionary& parameters) override;
    void trackView(const QString& screenName) override;
    void trackModalView(const QString& screenName) override;
    void switchToModalView(const QString& screenName) override;
    void stopTrackingModalView() override;

    // Parameters that are not all property-list values are dropped.
    void deferEventWithParameters(const platform::Value::Dictionary& parameters) override;
    void cancelDeferredEvents() override;
    void sendDeferredEvents() override;

private:
    AFXAnalyticsTracker(std::shared_ptr<AFXDataHub> dataHub, const QString& applicationName,
                        QString applicationIdentifier, std::shared_ptr<platform::UserDefaults> userDefaults);

    platform::Value::Dictionary completeParameters(const platform::Value::Dictionary& parameters,
                                                   const QString& hitType, bool addContentDescription);
    void send(const platform::Value::Dictionary& parameters);
    // On the internal queue.
    void appendDeferred(const platform::Value::Array& events);

    const std::shared_ptr<AFXDataHub> dataHub_;
    const QString applicationName_;
    const QString applicationIdentifier_;
    const std::shared_ptr<platform::UserDefaults> userDefaults_;
    const std::shared_ptr<platform::DispatchQueue> internalQueue_;
    std::atomic<bool> enabled_{false};
    std::mutex sessionIdentifierMutex_;
    // The screen state of the one thread that tracks views.
    QString currentScreen_;
    QStringList modalScreens_;
};
