#pragma once

#include "AFXInterprocessAdaptor.h"
#include "AFXInterprocessClient.h"
#include "AFXInterprocessClientDelegate.h"
#include "AFXInterprocessRequest.h"
#include "AFXRegularInterprocessClientAdaptorDelegate.h"
#include "AFXReportsStreamInterface.h"
#include "platform/DispatchQueue.h"
#include "platform/XPCListener.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

// The client end of one service: sends requests to the service's mach name
// and routes the reports the service pushes back.
//
// Every new connection first sets up a reporting stream: the service is
// given the endpoint of this adaptor's anonymous listener and answers the
// stream ID under which it will deliver reports. The connection and its
// stream ID are kept together until the connection is lost; the next
// request then makes a new connection and stream. A request is sent once
// more, on a connection fetched anew, after a transport failure.
//
// The current connection, stream ID and open report sessions live on the
// internal queue ("AFXInterprocessClient"). Response handlers run on XPC
// threads, the proactor's invocation queue or the internal queue; report
// handlers on the global utility queue.
class AFXRegularInterprocessClientAdaptor
    : public AFXInterprocessAdaptor,
      public AFXInterprocessClientDelegate,
      public AFXReportsStreamInterface,
      public platform::XPCListenerDelegate,
      public std::enable_shared_from_this<AFXRegularInterprocessClientAdaptor> {
public:
    static constexpr std::chrono::milliseconds DefaultStreamSetupTimeout{20000};

    // Pauses the transport waits for; tests shorten them.
    struct Delays {
        std::chrono::milliseconds connectionRetry = AFXInterprocessClient::DefaultRetryDelay;
        std::chrono::milliseconds streamSetupTimeout = DefaultStreamSetupTimeout;
    };
    // (connection, stream ID, error): either both of the pair or the error.
    using ConnectionCallback =
        std::function<void(const std::shared_ptr<platform::XPCConnection>&, const std::optional<QUuid>&,
                           const std::optional<platform::Error>&)>;

    static std::shared_ptr<AFXRegularInterprocessClientAdaptor>
    makeWithServiceName(const QString& serviceName, const QString& tierName,
                        const QList<const platform::Class*>& requestClasses,
                        std::weak_ptr<AFXRegularInterprocessClientAdaptorDelegate> delegate);
    static std::shared_ptr<AFXRegularInterprocessClientAdaptor>
    makeWithServiceName(const QString& serviceName, const QString& tierName,
                        const QList<const platform::Class*>& requestClasses,
                        std::weak_ptr<AFXRegularInterprocessClientAdaptorDelegate> delegate, Delays delays);
    ~AFXRegularInterprocessClientAdaptor() override;

    QString serviceName() const override { return serviceName_; }
    const QList<const platform::Class*>& requestClasses() const { return requestClasses_; }
    std::shared_ptr<AFXRegularInterprocessClientAdaptorDelegate> delegate() const { return delegate_.lock(); }
    const std::shared_ptr<AFXInterprocessClient>& interprocessClient() const { return interprocessClient_; }

    // Sends the request; the response handler is called exactly once. A
    // report handler, when given, receives the request's reports until the
    // response arrives.
    void performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                        AFXInterprocessReportHandler reportHandler,
                        AFXInterprocessResponseHandler responseHandler);
    void performRequest(const std::shared_ptr<AFXInterprocessRequest>& request, const QUuid& reportSessionID,
                        AFXInterprocessResponseHandler responseHandler);

    void makeReportingSessionWithReportHandler(AFXInterprocessReportHandler reportHandler,
                                               std::function<void(const QUuid&)> callback);
    void removeReportSessionID(const QUuid& reportSessionID);

    void fetchXPCConnectionWithCallback(ConnectionCallback callback);
    // A new connection to the service's mach name.
    void makeXPCConnectionWithCallback(AFXXPCConnectionCallback callback);

    // AFXInterprocessClientDelegate
    void interprocessClientMakeXPCConnection(AFXInterprocessClient& client,
                                             AFXXPCConnectionCallback callback) override;
    bool implementsSetupXPCConnection() const override { return true; }
    void interprocessClientSetupXPCConnection(AFXInterprocessClient& client,
                                              const std::shared_ptr<platform::XPCConnection>& connection,
                                              AFXXPCConnectionCallback callback) override;
    void interprocessClientDidEstablishConnection(
        AFXInterprocessClient& client, const std::shared_ptr<platform::XPCConnection>& connection) override;
    void
    interprocessClientDidLooseConnection(AFXInterprocessClient& client,
                                         const std::shared_ptr<platform::XPCConnection>& connection) override;

    // AFXReportsStreamInterface
    void deliverReport(const std::shared_ptr<AFXInterprocessReport>& report,
                       const QList<QUuid>& reportSessionIDs) override;
    void prepareForTerminationWithCallback(std::function<void(bool)> callback) override;

    // platform::XPCListenerDelegate
    bool
    listenerShouldAcceptNewConnection(platform::XPCListener& listener,
                                      const std::shared_ptr<platform::XPCConnection>& connection) override;

private:
    AFXRegularInterprocessClientAdaptor() = default;
    void performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                        const std::optional<QUuid>& reportSessionID, bool canRetry,
                        AFXInterprocessResponseHandler responseHandler);
    void sendRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                     const std::optional<QUuid>& reportSessionID, bool canRetry,
                     const std::shared_ptr<platform::XPCConnection>& connection, const QUuid& streamID,
                     AFXInterprocessResponseHandler responseHandler);
    // Forgets the connection if it is the current one and tells the delegate.
    void dispatchedConnectionWasLost(const std::shared_ptr<platform::XPCConnection>& connection);
    struct CurrentConnection {
        std::shared_ptr<platform::XPCConnection> connection;
        std::optional<QUuid> streamID;
    };
    CurrentConnection currentConnection() const;
    void dispatchedSetCurrentConnection(CurrentConnection current);

    QString serviceName_;
    QList<const platform::Class*> requestClasses_;
    std::weak_ptr<AFXRegularInterprocessClientAdaptorDelegate> delegate_;
    Delays delays_;
    std::shared_ptr<platform::DispatchQueue> internalQueue_;
    platform::XPCInterface reportsStreamInterface_;
    std::shared_ptr<platform::XPCListener> xpcListener_;
    std::shared_ptr<AFXInterprocessClient> interprocessClient_;

    // An open reporting session: its handler, and the serial queue that
    // hands it the session's reports one after another in their order of
    // arrival (it runs as work of the global utility queue).
    struct ReportSession {
        AFXInterprocessReportHandler handler;
        std::shared_ptr<platform::DispatchQueue> queue;
    };
    // On the internal queue.
    QHash<QUuid, ReportSession> reportHandlersBySessionID_;
    // Changed only on the internal queue, under the mutex, so that a request
    // can pick up an established connection on its caller's thread instead
    // of waiting for a turn of the internal queue.
    mutable std::mutex currentConnectionMutex_;
    CurrentConnection current_;
};
