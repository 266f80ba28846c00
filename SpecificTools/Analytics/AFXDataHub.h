#pragma once

#include "AFXAnalyticsIdentification.h"
#include "AFXDataHubConfiguration.h"
#include "platform/DispatchQueue.h"
#include "platform/URLSession.h"
#include "platform/UserDefaults.h"
#include "platform/Value.h"

#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>

// The key of the shared defaults holding the store's identifier of this
// user, sent with every event as "kestrel_uid".
inline const QString AFXDataHubUIDKey = QStringLiteral("AFXDataHubUID");

// Posts analytics events as JSON objects to the configuration's base URL.
// Each event's body holds who sends it (user, machine, application,
// framework version, screen, window and language) and then the event's own
// parameters, which win over the rest. Requests are built and started on the
// sending queue, which is also the session's delegate queue: completions
// arrive there too. Nothing is retried here; the completion says what
// became of the event so the caller can keep it for later.
class AFXDataHub : public std::enable_shared_from_this<AFXDataHub> {
public:
    enum class SendOutcome {
        // The server took it (a 2xx status).
        Sent,
        // It cannot be sent as it is: no JSON form, or the server refused it
        // for good (a 4xx status other than 408 and 429).
        Dropped,
        // The server could not be reached or could not take it now.
        Failed,
    };
    using SendCompletion = std::function<void(SendOutcome)>;

    // `sharedDefaults` is where the user identifier is read from.
    static std::shared_ptr<AFXDataHub>
    makeWithIdentification(std::shared_ptr<AFXAnalyticsIdentification> identification,
                           std::shared_ptr<AFXDataHubConfiguration> configuration,
                           std::shared_ptr<platform::UserDefaults> sharedDefaults);
    ~AFXDataHub();
    AFXDataHub(const AFXDataHub&) = delete;
    AFXDataHub& operator=(const AFXDataHub&) = delete;

    const std::shared_ptr<AFXAnalyticsIdentification>& identification() const { return identification_; }
    const std::shared_ptr<AFXDataHubConfiguration>& configuration() const { return configuration_; }
    QString appName() const;
    void setAppName(const QString& appName);
    // The string stored under AFXDataHubUIDKey in the shared defaults.
    QString cid() const;
    QString mac() const { return identification_->primaryMACAddress(); }

    // Posts the event; the completion runs on the sending queue.
    void trackEventWithParameters(const platform::Value::Dictionary& parameters,
                                  SendCompletion completion = {});

private:
    class SessionDelegate;
    struct Pending {
        platform::Value::Dictionary parameters;
        SendCompletion completion;
    };

    AFXDataHub(std::shared_ptr<AFXAnalyticsIdentification> identification,
               std::shared_ptr<AFXDataHubConfiguration> configuration,
               std::shared_ptr<platform::UserDefaults> sharedDefaults);

    // On the sending queue.
    void send(const platform::Value::Dictionary& parameters, const QString& appName,
              SendCompletion completion);
    void didComplete(platform::URLSessionTask& task, const std::optional<platform::Error>& error);

    const std::shared_ptr<AFXAnalyticsIdentification> identification_;
    const std::shared_ptr<AFXDataHubConfiguration> configuration_;
    const std::shared_ptr<platform::UserDefaults> sharedDefaults_;
    const std::shared_ptr<platform::DispatchQueue> sendingEventsQueue_;
    std::shared_ptr<platform::URLSession> session_;
    mutable std::mutex appNameMutex_;
    QString appName_;
    // On the sending queue: the events of running posts, by task.
    QHash<std::uint64_t, Pending> pending_;
};
