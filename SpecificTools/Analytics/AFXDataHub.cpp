#include "AFXDataHub.h"

#include "SpecificTools/AFXProductVersion.h"
#include "platform/JSONSerialization.h"
#include "platform/URLSessionDownloadTask.h"
#include "support/BRDispatch.h"
#include "support/BRLog.h"

using platform::Value;

class AFXDataHub::SessionDelegate : public platform::URLSessionDelegate {
public:
    explicit SessionDelegate(std::weak_ptr<AFXDataHub> hub) : hub_(std::move(hub)) {}

    void URLSessionTaskDidCompleteWithError(platform::URLSession&, platform::URLSessionTask& task,
                                            const std::optional<platform::Error>& error) override {
        if (const auto hub = hub_.lock()) {
            hub->didComplete(task, error);
        }
    }

private:
    const std::weak_ptr<AFXDataHub> hub_;
};

std::shared_ptr<AFXDataHub>
AFXDataHub::makeWithIdentification(std::shared_ptr<AFXAnalyticsIdentification> identification,
                                   std::shared_ptr<AFXDataHubConfiguration> configuration,
                                   std::shared_ptr<platform::UserDefaults> sharedDefaults) {
    auto hub = std::shared_ptr<AFXDataHub>(
        new AFXDataHub(std::move(identification), std::move(configuration), std::move(sharedDefaults)));
    hub->session_ = platform::URLSession::sessionWithConfiguration(
        platform::URLSessionConfiguration::defaultSessionConfiguration(),
        std::make_shared<SessionDelegate>(hub), hub->sendingEventsQueue_);
    return hub;
}

AFXDataHub::AFXDataHub(std::shared_ptr<AFXAnalyticsIdentification> identification,
                       std::shared_ptr<AFXDataHubConfiguration> configuration,
                       std::shared_ptr<platform::UserDefaults> sharedDefaults)
    : identification_(std::move(identification)), configuration_(std::move(configuration)),
      sharedDefaults_(std::move(sharedDefaults)),
      sendingEventsQueue_(BRBuildInternalDispatchQueue(QStringLiteral("sending-event-queue"))) {}

AFXDataHub::~AFXDataHub() {
    // The session holds its delegate until it is invalidated.
    session_->invalidateAndCancel();
}

QString AFXDataHub::appName() const {
    std::lock_guard lock(appNameMutex_);
    return appName_;
}

void AFXDataHub::setAppName(const QString& appName) {
    std::lock_guard lock(appNameMutex_);
    appName_ = appName;
}

QString AFXDataHub::cid() const {
    return sharedDefaults_->stringForKey(AFXDataHubUIDKey);
}

void AFXDataHub::trackEventWithParameters(const Value::Dictionary& parameters, SendCompletion completion) {
    // The name is taken now: a tracker sets it just before each event.
    sendingEventsQueue_->async(
        [weakSelf = weak_from_this(), parameters, appName = appName(), completion = std::move(completion)] {
            if (const auto self = weakSelf.lock()) {
                self->send(parameters, appName, completion);
            }
        });
}

void AFXDataHub::send(const Value::Dictionary& parameters, const QString& appName,
                      SendCompletion completion) {
    BRAssertOnQueue(sendingEventsQueue_);
    const auto finish = [&](SendOutcome outcome) {
        if (completion) {
            completion(outcome);
        }
    };
    Value::Dictionary body;
    if (const QString user = cid(); !user.isEmpty()) {
        body.insert(QStringLiteral("kestrel_uid"), user);
    }
    if (const QString address = mac(); !address.isEmpty()) {
        body.insert(QStringLiteral("mac"), address);
    }
    body.insert(QStringLiteral("an"), appName.isEmpty() ? QStringLiteral("Kestrel") : appName);
    body.insert(QStringLiteral("av"), AFXProductVersion);
    for (const QString& pair : identification_->systemInfo().split(u'&', Qt::SkipEmptyParts)) {
        const qsizetype equals = pair.indexOf(u'=');
        if (equals >= 0) {
            body.insert(pair.left(equals), pair.mid(equals + 1));
        }
    }
    for (auto entry = parameters.cbegin(); entry != parameters.cend(); ++entry) {
        body.insert(entry.key(), entry.value());
    }
    platform::Error error(QString(), 0);
    const auto json = platform::JSONSerialization::write(Value(body), &error);
    if (!json) {
        BRLogError("[Data Hub] Dropped event that has no JSON form: %@", error);
        finish(SendOutcome::Dropped);
        return;
    }
    platform::URLRequest request(configuration_->baseURL());
    request.setHTTPMethod("POST");
    request.setValueForHTTPHeaderField("application/json", "Content-Type");
    request.setValueForHTTPHeaderField(identification_->userAgentString().toUtf8(), "User-Agent");
    request.setHTTPBody(*json);
    const auto task = session_->downloadTaskWithRequest(request);
    if (!task) {
        finish(SendOutcome::Failed);
        return;
    }
    pending_.insert(task->taskIdentifier(), Pending{parameters, std::move(completion)});
    task->resume();
}

void AFXDataHub::didComplete(platform::URLSessionTask& task, const std::optional<platform::Error>& error) {
    BRAssertOnQueue(sendingEventsQueue_);
    const Pending pending = pending_.take(task.taskIdentifier());
    const int status = task.response() ? task.response()->statusCode() : 0;
    SendOutcome outcome = SendOutcome::Failed;
    if (!error && status >= 200 && status <= 299) {
        BRLogInfo("[Data Hub] Did send event with parameters %@", Value(pending.parameters));
        outcome = SendOutcome::Sent;
    } else {
        BRLogError("[Data Hub] Failed to send event with response: %@",
                   error ? Value(*error) : Value(QStringLiteral("status %1").arg(status)));
        const bool refused = !error && status >= 400 && status <= 499 && status != 408 && status != 429;
        outcome = refused ? SendOutcome::Dropped : SendOutcome::Failed;
    }
    if (pending.completion) {
        pending.completion(outcome);
    }
}
