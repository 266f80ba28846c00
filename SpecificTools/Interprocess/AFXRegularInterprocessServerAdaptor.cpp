#include "AFXRegularInterprocessServerAdaptor.h"

#include "AFXInterprocessErrors.h"
#include "AFXInterprocessModel.h"
#include "AFXRegularServiceInterfaceExportedObject.h"
#include "AFXReportsStreamInterfaceProxy.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "platform/DispatchGroup.h"
#include "platform/XPCConnection.h"
#include "platform/XPCListenerEndpoint.h"
#include "support/BRDispatch.h"
#include "support/BRLog.h"

#include <atomic>

std::shared_ptr<AFXRegularInterprocessServerAdaptor> AFXRegularInterprocessServerAdaptor::makeWithServiceName(
    const QString& serviceName, const QList<const platform::Class*>& requestClasses,
    std::weak_ptr<AFXRegularInterprocessServerAdaptorDelegate> delegate) {
    std::shared_ptr<AFXRegularInterprocessServerAdaptor> adaptor(new AFXRegularInterprocessServerAdaptor);
    adaptor->serviceName_ = serviceName;
    adaptor->requestClasses_ = requestClasses;
    adaptor->delegate_ = std::move(delegate);
    adaptor->internalQueue_ = BRBuildInternalDispatchQueue(QStringLiteral("regular-service-interface-proxy"));
    adaptor->reportsStreamInterface_ = reportsStreamInterfaceWithRequestClasses(requestClasses);
    adaptor->xpcListener_ = makeXPCListenerWithServiceName(serviceName);
    adaptor->interprocessServer_ = AFXInterprocessServer::makeWithXPCListener(
        adaptor->xpcListener_, adaptor, interprocessInterfaceWithRequestClasses(requestClasses));
    return adaptor;
}

std::shared_ptr<platform::XPCListener>
AFXRegularInterprocessServerAdaptor::makeXPCListenerWithServiceName(const QString& serviceName) {
    return platform::XPCListener::makeWithMachServiceName(serviceName);
}

AFXRegularInterprocessServerAdaptor::~AFXRegularInterprocessServerAdaptor() {
    for (const auto& connection : std::as_const(reportConnectionsByStreamID_)) {
        connection->invalidate();
    }
}

std::shared_ptr<platform::XPCExportedObject>
AFXRegularInterprocessServerAdaptor::interprocessServerMakeExportedObjectForConnection(
    AFXInterprocessServer&, const std::shared_ptr<platform::XPCConnection>&) {
    return std::make_shared<AFXRegularServiceInterfaceExportedObject>(weak_from_this());
}

void AFXRegularInterprocessServerAdaptor::establishReportingStreamWithTierNamed(
    const QString& tierName, const std::shared_ptr<platform::XPCListenerEndpoint>& endpoint,
    std::function<void(const BRValueOrError<QUuid>&)> callback) {
    BRLogInfo("Establishing reporting stream with %@", tierName);
    if (!endpoint) {
        callback(BRValueOrError<QUuid>::makeWithError(
            afx_makeErrorOfMissingObjectOfKind(QStringLiteral("endpoint"))));
        return;
    }
    const auto connection = platform::XPCConnection::makeWithListenerEndpoint(endpoint);
    connection->setRemoteObjectInterface(reportsStreamInterface_);
    const QUuid streamID = QUuid::createUuid();
    std::weak_ptr<AFXRegularInterprocessServerAdaptor> weakSelf = weak_from_this();
    const auto lost = [weakSelf, streamID] {
        if (const auto self = weakSelf.lock()) {
            self->internalQueue_->async([self, streamID] { self->dispatchedStreamWasLost(streamID); });
        }
    };
    connection->setInterruptionHandler(lost);
    connection->setInvalidationHandler(lost);
    internalQueue_->async([self = shared_from_this(), connection, streamID, callback = std::move(callback)] {
        self->reportConnectionsByStreamID_.insert(streamID, connection);
        if (const auto delegate = self->delegate()) {
            delegate->didEstablishConnectionOfRegularInterprocessServerAdaptor(*self, streamID);
        }
        connection->resume();
        callback(BRValueOrError<QUuid>::makeWithValue(streamID));
    });
}

void AFXRegularInterprocessServerAdaptor::dispatchedStreamWasLost(const QUuid& streamID) {
    BRAssertOnQueue(internalQueue_);
    // Interruption and invalidation may both come; the stream ends once.
    const auto connection = reportConnectionsByStreamID_.take(streamID);
    if (!connection) {
        return;
    }
    // A client that comes back makes a new stream; this one stays dead.
    connection->invalidate();
    if (const auto delegate = this->delegate()) {
        delegate->didLooseConnectionOfRegularInterprocessServerAdaptor(*this, streamID);
    }
}

void AFXRegularInterprocessServerAdaptor::performInterprocessRequest(
    const std::shared_ptr<AFXInterprocessRequest>& request, AFXInterprocessResponseHandler responseHandler) {
    if (!request) {
        responseHandler(
            BRAnyValueOrError::makeWithError(afx_makeErrorOfMissingObjectOfKind(QStringLiteral("request"))));
        return;
    }
    const QUuid streamID = request->reportStreamID();
    const QUuid sessionID = request->reportSessionID();
    if (streamID.isNull() || sessionID.isNull()) {
        performRequest(request, nullptr, std::move(responseHandler));
        return;
    }
    internalQueue_->async([self = shared_from_this(), request, streamID, sessionID,
                           responseHandler = std::move(responseHandler)] {
        const auto connection = self->reportConnectionsByStreamID_.value(streamID);
        if (!connection) {
            responseHandler(BRAnyValueOrError::makeWithError(afx_makeUnknownReportingStreamError()));
            return;
        }
        const auto reportHandler = [connection,
                                    sessionID](const std::shared_ptr<AFXInterprocessReport>& report) {
            AFXReportsStreamInterfaceProxy::makeWithConnection(connection, [report](
                                                                               const platform::Error& error) {
                BRLogWarn("Did fail to deliver report %@ with error %@", platform::Value(report),
                          platform::Value(error));
            })->deliverReport(report, {sessionID});
        };
        self->performRequest(request, reportHandler, responseHandler);
    });
}

void AFXRegularInterprocessServerAdaptor::performRequest(
    const std::shared_ptr<AFXInterprocessRequest>& request, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    const auto delegate = this->delegate();
    if (!delegate) {
        responseHandler(BRAnyValueOrError::makeWithError(
            afx_makeErrorOfMissingServiceNamed(QStringLiteral("delegate as AFXInterprocessServerDelegate"),
                                               QStringLiteral("performing request"))));
        return;
    }
    delegate->regularInterprocessServerAdaptorPerformRequest(*this, request, std::move(reportHandler),
                                                             std::move(responseHandler));
}

void AFXRegularInterprocessServerAdaptor::prepareForTerminationWithCallback(
    std::function<void(bool)> callback) {
    internalQueue_->async([self = shared_from_this(), callback = std::move(callback)] {
        // Answers arrive on XPC threads.
        auto refusals = std::make_shared<std::atomic<int>>(0);
        const auto group = platform::DispatchGroup::make();
        for (const auto& connection : std::as_const(self->reportConnectionsByStreamID_)) {
            group->enter();
            self->xpcConnectionPrepareForTermination(connection, [refusals, group](bool agrees) {
                if (!agrees) {
                    refusals->fetch_add(1);
                }
                group->leave();
            });
        }
        group->notify(self->internalQueue_, [refusals, callback] { callback(refusals->load() == 0); });
    });
}

void AFXRegularInterprocessServerAdaptor::xpcConnectionPrepareForTermination(
    const std::shared_ptr<platform::XPCConnection>& connection, std::function<void(bool)> callback) {
    AFXReportsStreamInterfaceProxy::makeWithConnection(connection, [callback](const platform::Error&) {
        callback(true);
    })->prepareForTerminationWithCallback(callback);
}
