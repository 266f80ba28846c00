#include "AFXAnalyticsTracker.h"

#include "AFXAnalyticsParameters.h"
#include "SpecificTools/AFXStandardUserDefaults.h"
#include "platform/PropertyList.h"
#include "support/BRDispatch.h"
#include "support/BRLog.h"

#include <QUrl>
#include <QUuid>

using platform::Value;

namespace {

const QString kSendProfileInfoKey = QStringLiteral("SUSendProfileInfo");
const QString kEnableUsageTrackingKey = QStringLiteral("RemoteConfigEnableUsageTracking");
const QString kSessionIdentifierKey = QStringLiteral("VR_SID");

// The name as it goes into a URL query: escaped where a URL would not take
// it, with "&" escaped as well so it cannot end its field.
QString escapedApplicationName(const QString& name) {
    return QString::fromUtf8(QUrl::toPercentEncoding(name, "!$&'()*+,-./:;=?@_~"))
        .replace(u'&', QStringLiteral("%26"));
}

} // namespace

std::shared_ptr<AFXAnalyticsTracker>
AFXAnalyticsTracker::trackerWithApplicationName(const QString& applicationName,
                                                const QString& applicationIdentifier) {
    const auto sharedDefaults = afx_standardUserDefaults();
    auto hub = AFXDataHub::makeWithIdentification(
        AFXAnalyticsIdentification::makeWithApplicationName(applicationName),
        AFXDataHubConfiguration::defaultConfiguration(), sharedDefaults);
    return makeWithDataHub(std::move(hub), applicationName, applicationIdentifier, sharedDefaults);
}

std::shared_ptr<AFXAnalyticsTracker>
AFXAnalyticsTracker::makeWithDataHub(std::shared_ptr<AFXDataHub> dataHub, const QString& applicationName,
                                     const QString& applicationIdentifier,
                                     std::shared_ptr<platform::UserDefaults> userDefaults) {
    return std::shared_ptr<AFXAnalyticsTracker>(new AFXAnalyticsTracker(
        std::move(dataHub), applicationName, applicationIdentifier, std::move(userDefaults)));
}

AFXAnalyticsTracker::AFXAnalyticsTracker(std::shared_ptr<AFXDataHub> dataHub, const QString& applicationName,
                                         QString applicationIdentifier,
                                         std::shared_ptr<platform::UserDefaults> userDefaults)
    : dataHub_(std::move(dataHub)), applicationName_(escapedApplicationName(applicationName)),
      applicationIdentifier_(std::move(applicationIdentifier)), userDefaults_(std::move(userDefaults)),
      internalQueue_(BRBuildInternalDispatchQueue(QStringLiteral("analytics-tracker"))) {
    userDefaults_->registerDefaults({{kSendProfileInfoKey, true}, {kEnableUsageTrackingKey, true}});
    enabled_ =
        userDefaults_->boolForKey(kSendProfileInfoKey) && userDefaults_->boolForKey(kEnableUsageTrackingKey);
}

QString AFXAnalyticsTracker::applicationVersion() const {
    return dataHub_->identification()->applicationVersion();
}

QString AFXAnalyticsTracker::vireoSessionIdentifier() {
    std::lock_guard lock(sessionIdentifierMutex_);
    QString identifier = userDefaults_->stringForKey(kSessionIdentifierKey);
    if (identifier.isEmpty()) {
        identifier = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        userDefaults_->setObject(identifier, kSessionIdentifierKey);
    }
    return identifier;
}

Value::Dictionary AFXAnalyticsTracker::completeParameters(const Value::Dictionary& parameters,
                                                          const QString& hitType,
                                                          bool addContentDescription) {
    Value::Dictionary completed = parameters;
    completed.insert(kCMAnalyticsHitTypeKey, hitType);
    if (addContentDescription && !completed.contains(kCMAnalyticsContentDescriptionKey)) {
        const QString screen = modalScreens_.isEmpty() ? currentScreen_ : modalScreens_.first();
        if (!screen.isEmpty()) {
            completed.insert(kCMAnalyticsContentDescriptionKey, screen);
        }
    }
    if (!completed.contains(kCMAnalyticsUniqueIdentifierKey)) {
        if (const QString session = vireoSessionIdentifier(); !session.isEmpty()) {
            completed.insert(kCMAnalyticsUniqueIdentifierKey, session);
        }
    }
    for (auto entry = completed.begin(); entry != completed.end();) {
        entry = entry.value().isNull() ? completed.erase(entry) : std::next(entry);
    }
    return completed;
}

void AFXAnalyticsTracker::trackEventWithParameters(const Value::Dictionary& parameters) {
    send(completeParameters(parameters, kCMAnalyticsHitTypeEvent, true));
}

void AFXAnalyticsTracker::trackTimingWithParameters(const Value::Dictionary& parameters) {
    send(completeParameters(parameters, kCMAnalyticsHitTypeTiming, false));
}

void AFXAnalyticsTracker::trackView(const QString& screenName) {
    currentScreen_ = screenName;
    send({{kCMAnalyticsHitTypeKey, kCMAnalyticsHitTypeAppView},
          {kCMAnalyticsContentDescriptionKey, screenName}});
}

void AFXAnalyticsTracker::trackModalView(const QString& screenName) {
    if (modalScreens_.contains(screenName)) {
        return;
    }
    modalScreens_.prepend(screenName);
    send({{kCMAnalyticsHitTypeKey, kCMAnalyticsHitTypeAppView},
          {kCMAnalyticsContentDescriptionKey, screenName}});
}

void AFXAnalyticsTracker::switchToModalView(const QString& screenName) {
    if (modalScreens_.isEmpty()) {
        modalScreens_.prepend(screenName);
    } else {
        modalScreens_.first() = screenName;
    }
}

void AFXAnalyticsTracker::stopTrackingModalView() {
    if (modalScreens_.isEmpty()) {
        return;
    }
    modalScreens_.removeFirst();
    if (modalScreens_.isEmpty()) {
        trackView(currentScreen_);
    }
}

void AFXAnalyticsTracker::send(const Value::Dictionary& parameters) {
    if (!enabled_) {
        return;
    }
    dataHub_->setAppName(applicationName_);
    dataHub_->trackEventWithParameters(
        parameters, [weakSelf = weak_from_this(), parameters](AFXDataHub::SendOutcome outcome) {
            const auto self = weakSelf.lock();
            if (!self || outcome != AFXDataHub::SendOutcome::Failed) {
                return;
            }
            self->internalQueue_->async([self, parameters] { self->appendDeferred({Value(parameters)}); });
        });
}

void AFXAnalyticsTracker::deferEventWithParameters(const Value::Dictionary& parameters) {
    if (!platform::PropertyList::write(Value(parameters), platform::PropertyList::Format::Binary)) {
        BRLogError("Dropped deferred event whose parameters are not property-list values: %@",
                   Value(parameters));
        return;
    }
    internalQueue_->async([weakSelf = weak_from_this(), parameters] {
        if (const auto self = weakSelf.lock()) {
            self->appendDeferred({Value(parameters)});
        }
    });
}

void AFXAnalyticsTracker::appendDeferred(const Value::Array& events) {
    BRAssertOnQueue(internalQueue_);
    Value::Array queue = userDefaults_->arrayForKey(AFXAnalyticsTrackerDeferredQueueKey);
    queue.append(events);
    if (queue.size() > MaximumDeferredEvents) {
        const qsizetype excess = queue.size() - MaximumDeferredEvents;
        BRLogWarn("Dropped the %ld oldest deferred analytics events to keep %ld", long(excess),
                  long(MaximumDeferredEvents));
        queue.remove(0, excess);
    }
    if (!userDefaults_->setObject(Value(queue), AFXAnalyticsTrackerDeferredQueueKey)) {
        BRLogError("Could not store %ld deferred analytics events", long(queue.size()));
    }
}

void AFXAnalyticsTracker::cancelDeferredEvents() {
    internalQueue_->async([weakSelf = weak_from_this()] {
        if (const auto self = weakSelf.lock()) {
            self->userDefaults_->removeObjectForKey(AFXAnalyticsTrackerDeferredQueueKey);
        }
    });
}

void AFXAnalyticsTracker::sendDeferredEvents() {
    Value::Array events;
    internalQueue_->sync([&] {
        events = userDefaults_->arrayForKey(AFXAnalyticsTrackerDeferredQueueKey);
        userDefaults_->removeObjectForKey(AFXAnalyticsTrackerDeferredQueueKey);
    });
    for (const Value& event : events) {
        const Value::Dictionary& parameters = event.toDictionary();
        // An event that already has its hit type was completed when it was
        // first tracked and kept after its post failed: it goes as it was.
        if (parameters.contains(kCMAnalyticsHitTypeKey)) {
            send(parameters);
        } else {
            trackEventWithParameters(parameters);
        }
    }
}
