#pragma once

#include "AFXInterprocessAdaptor.h"
#include "AFXInterprocessServer.h"
#include "AFXRegularInterprocessServerAdaptorDelegate.h"
#include "AFXRegularServiceInterface.h"
#include "platform/DispatchQueue.h"

#include <QHash>
#include <QList>
#include <QUuid>

#include <functional>
#include <memory>

// The serving end of one service: owns the service's mach name, gives every
// client a reporting stream of its own (a connection back to the client's
// listener, under a new stream ID), and hands each request to the delegate
// with a report handler that sends reports back over the stream the
// request names.
//
// The stream table lives on the internal queue
// ("regular-service-interface-proxy"); requests arrive on XPC threads and
// reports may be sent from any thread.
class AFXRegularInterprocessServerAdaptor
    : public AFXInterprocessAdaptor,
      public AFXRegularServiceInterface,
      public AFXInterprocessServerDelegate,
      public std::enable_shared_from_this<AFXRegularInterprocessServerAdaptor> {
public:
    static std::shared_ptr<AFXRegularInterprocessServerAdaptor>
    makeWithServiceName(const QString& serviceName, const QList<const platform::Class*>& requestClasses,
                        std::weak_ptr<AFXRegularInterprocessServerAdaptorDelegate> delegate);
    static std::shared_ptr<platform::XPCListener> makeXPCListenerWithServiceName(const QString& serviceName);
    ~AFXRegularInterprocessServerAdaptor() override;

    QString serviceName() const override { return serviceName_; }
    const QList<const platform::Class*>& requestClasses() const { return requestClasses_; }
    std::shared_ptr<AFXRegularInterprocessServerAdaptorDelegate> delegate() const { return delegate_.lock(); }
    const std::shared_ptr<AFXInterprocessServer>& interprocessServer() const { return interprocessServer_; }

    // AFXInterprocessServerDelegate
    std::shared_ptr<platform::XPCExportedObject> interprocessServerMakeExportedObjectForConnection(
        AFXInterprocessServer& server, const std::shared_ptr<platform::XPCConnection>& connection) override;

    // AFXRegularServiceInterface
    void establishReportingStreamWithTierNamed(
        const QString& tierName, const std::shared_ptr<platform::XPCListenerEndpoint>& endpoint,
        std::function<void(const BRValueOrError<QUuid>&)> callback) override;
    void performInterprocessRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                                    AFXInterprocessResponseHandler responseHandler) override;

    void performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                        AFXInterprocessReportHandler reportHandler,
                        AFXInterprocessResponseHandler responseHandler);

    // Asks every connected client; true when none refuses. A client that
    // cannot be reached counts as agreeing.
    void prepareForTerminationWithCallback(std::function<void(bool)> callback);
    void xpcConnectionPrepareForTermination(const std::shared_ptr<platform::XPCConnection>& connection,
                                            std::function<void(bool)> callback);

private:
    AFXRegularInterprocessServerAdaptor() = default;
    void dispatchedStreamWasLost(const QUuid& streamID);

    QString serviceName_;
    QList<const platform::Class*> requestClasses_;
    std::weak_ptr<AFXRegularInterprocessServerAdaptorDelegate> delegate_;
    std::shared_ptr<platform::DispatchQueue> internalQueue_;
    platform::XPCInterface reportsStreamInterface_;
    std::shared_ptr<platform::XPCListener> xpcListener_;
    std::shared_ptr<AFXInterprocessServer> interprocessServer_;

    // On the internal queue.
    QHash<QUuid, std::shared_ptr<platform::XPCConnection>> reportConnectionsByStreamID_;
};
