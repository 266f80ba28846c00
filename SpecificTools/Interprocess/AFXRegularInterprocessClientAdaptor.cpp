#include "AFXRegularInterprocessClientAdaptor.h"

#include "AFXInterprocessErrors.h"
#include "AFXInterprocessModel.h"
#include "AFXRegularServiceInterfaceProxy.h"
#include "AFXReportsStreamInterfaceExportedObject.h"
#include "platform/XPCConnection.h"
#include "platform/XPCListenerEndpoint.h"
#include "support/BRAssertions.h"
#include "support/BRDispatch.h"
#include "support/BRLog.h"

namespace {

// Transport errors that mean the connection itself is gone, as opposed to
// one bad reply on a working connection.
bool isConnectionLoss(const platform::Error& error) {
    return error.domain() == platform::NSCocoaErrorDomain &&
           (error.code() == platform::XPCConnection::ConnectionInterrupted ||
            error.code() == platform::XPCConnection::ConnectionInvalid);
}

} // namespace

std::shared_ptr<AFXRegularInterprocessClientAdaptor> AFXRegularInterprocessClientAdaptor::makeWithServiceName(
    const QString& serviceName, const QString& tierName, const QList<const platform::Class*>& requestClasses,
    std::weak_ptr<AFXRegularInterprocessClientAdaptorDelegate> delegate) {
    return makeWithServiceName(serviceName, tierName, requestClasses, std::move(delegate), Delays());
}

std::shared_ptr<AFXRegularInterprocessClientAdaptor> AFXRegularInterprocessClientAdaptor::makeWithServiceName(
    const QString& serviceName, const QString& tierName, const QList<const platform::Class*>& requestClasses,
    std::weak_ptr<AFXRegularInterprocessClientAdaptorDelegate> delegate, Delays delays) {
    std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor(new AFXRegularInterprocessClientAdaptor);
    adaptor->serviceName_ = serviceName;
    adaptor->requestClasses_ = requestClasses;
    adaptor->delegate_ = std::move(delegate);
    adaptor->delays_ = delays;
    adaptor->internalQueue_ = BRBuildInternalDispatchQueue(QStringLiteral("AFXInterprocessClient"));
    adaptor->reportsStreamInterface_ = reportsStreamInterfaceWithRequestClasses(requestClasses);
    adaptor->interprocessClient_ = AFXInterprocessClient::makeWithRemoteObjectInterface(
        interprocessInterfaceWithRequestClasses(requestClasses), tierName, adaptor, delays.connectionRetry);
    adaptor->xpcListener_ = platform::XPCListener::anonymousListener();
    adaptor->xpcListener_->setDelegate(adaptor);
    platform::Error error(QString(), 0);
    if (!adaptor->xpcListener_->resume(&error)) {
        BRLogError("Did fail to listen for reports of %@ with error %@", serviceName, platform::Value(error));
    }
    return adaptor;
}

AFXRegularInterprocessClientAdaptor::~AFXRegularInterprocessClientAdaptor() {
    xpcListener_->invalidate();
    if (current_.connection) {
        current_.connection->invalidate();
    }
}

void AFXRegularInterprocessClientAdaptor::performRequest(
    const std::shared_ptr<AFXInterprocessRequest>& request, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    BRParameterAssertText(request && !request->requestingTierName().isNull(), "request.requestingTierName");
    BRParameterAssertText(request->serviceID(), "request.serviceID");
    if (!reportHandler) {
        performRequest(request, std::nullopt, true, std::move(responseHandler));
        return;
    }
    std::weak_ptr<AFXRegularInterprocessClientAdaptor> weakSelf = weak_from_this();
    makeReportingSessionWithReportHandler(std::move(reportHandler), [weakSelf, request, responseHandler](
                                                                        const QUuid& reportSessionID) {
        const auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        self->performRequest(request, reportSessionID, true,
                             [weakSelf, reportSessionID, responseHandler](const BRAnyValueOrError& response) {
                                 if (const auto self = weakSelf.lock()) {
                                     self->removeReportSessionID(reportSessionID);
                                 }
                                 responseHandler(response);
                             });
    });
}

void AFXRegularInterprocessClientAdaptor::performRequest(
    const std::shared_ptr<AFXInterprocessRequest>& request, const QUuid& reportSessionID,
    AFXInterprocessResponseHandler responseHandler) {
    performRequest(request, reportSessionID.isNull() ? std::nullopt : std::optional<QUuid>(reportSessionID),
                   true, std::move(responseHandler));
}

void AFXRegularInterprocessClientAdaptor::performRequest(
    const std::shared_ptr<AFXInterprocessRequest>& request, const std::optional<QUuid>& reportSessionID,
    bool canRetry, AFXInterprocessResponseHandler responseHandler) {
    std::weak_ptr<AFXRegularInterprocessClientAdaptor> weakSelf = weak_from_this();
    fetchXPCConnectionWithCallback(
        [weakSelf, request, reportSessionID, canRetry,
         responseHandler](const std::shared_ptr<platform::XPCConnection>& connection,
                          const std::optional<QUuid>& streamID, const std::optional<platform::Error>& error) {
            if (error) {
                responseHandler(BRAnyValueOrError::makeWithError(*error));
                return;
            }
            const auto self = weakSelf.lock();
            if (!self || !connection || !streamID) {
                responseHandler(BRAnyValueOrError::makeWithError(afx_makeInterprocessClientError(
                    QStringLiteral("The connection was lost before the request could be sent"))));
                return;
            }
            self->sendRequest(request, reportSessionID, canRetry, connection, *streamID, responseHandler);
        });
}

void AFXRegularInterprocessClientAdaptor::sendRequest(
    const std::shared_ptr<AFXInterprocessRequest>& request, const std::optional<QUuid>& reportSessionID,
    bool canRetry, const std::shared_ptr<platform::XPCConnection>& connection, const QUuid& streamID,
    AFXInterprocessResponseHandler responseHandler) {
    std::weak_ptr<AFXRegularInterprocessClientAdaptor> weakSelf = weak_from_this();
    std::weak_ptr<platform::XPCConnection> weakConnection = connection;
    const auto proxy = AFXRegularServiceInterfaceProxy::makeWithConnection(
        connection, [weakSelf, weakConnection, request, reportSessionID, canRetry,
                     responseHandler](const platform::Error& error) {
            const auto self = weakSelf.lock();
            if (!self || !canRetry) {
                responseHandler(BRAnyValueOrError::makeWithError(error));
                return;
            }
            // The loss is processed here when the connection's own event has
            // not arrived yet, so that the resend makes a new connection.
            self->internalQueue_->async(
                [self, weakConnection, error, request, reportSessionID, responseHandler] {
                    const auto connection = weakConnection.lock();
                    if (connection && isConnectionLoss(error)) {
                        self->dispatchedConnectionWasLost(connection);
                    }
                    self->performRequest(request, reportSessionID, false, responseHandler);
                });
        });
    request->setReportStreamID(streamID);
    request->setReportSessionID(reportSessionID.value_or(QUuid()));
    proxy->performInterprocessRequest(request, std::move(responseHandler));
}

void AFXRegularInterprocessClientAdaptor::makeReportingSessionWithReportHandler(
    AFXInterprocessReportHandler reportHandler, std::function<void(const QUuid&)> callback) {
    const QUuid reportSessionID = QUuid::createUuid();
    internalQueue_->async([self = shared_from_this(), reportSessionID,
                           reportHandler = std::move(reportHandler), callback = std::move(callback)] {
        self->reportHandlersBySessionID_.insert(
            reportSessionID,
            ReportSession{reportHandler,
                          platform::DispatchQueue::make(
                              QStringLiteral("AFXInterprocessClient.reports"),
                              {false, platform::QualityOfService::Utility},
                              platform::DispatchQueue::global(platform::QualityOfService::Utility))});
        callback(reportSessionID);
    });
}

void AFXRegularInterprocessClientAdaptor::removeReportSessionID(const QUuid& reportSessionID) {
    internalQueue_->async([self = shared_from_this(), reportSessionID] {
        self->reportHandlersBySessionID_.remove(reportSessionID);
    });
}

void AFXRegularInterprocessClientAdaptor::fetchXPCConnectionWithCallback(ConnectionCallback callback) {
    if (auto current = currentConnection(); current.connection && current.streamID) {
        callback(current.connection, current.streamID, std::nullopt);
        return;
    }
    std::weak_ptr<AFXRegularInterprocessClientAdaptor> weakSelf = weak_from_this();
    internalQueue_->async([self = shared_from_this(), weakSelf, callback = std::move(callback)] {
        BRAssertOnQueue(self->internalQueue_);
        if (self->current_.connection && self->current_.streamID) {
            callback(self->current_.connection, self->current_.streamID, std::nullopt);
            return;
        }
        self->interprocessClient_->fetchXPCConnectionWithCallback(
            [weakSelf, callback](const AFXXPCConnectionOrError& outcome) {
                if (const auto error = outcome.error()) {
                    callback(nullptr, std::nullopt, error);
                    return;
                }
                const auto self = weakSelf.lock();
                if (!self) {
                    callback(nullptr, std::nullopt, std::nullopt);
                    return;
                }
                // The set-up has stored the connection and its stream; a
                // loss since then leaves neither.
                const auto current = self->currentConnection();
                callback(current.connection, current.streamID, std::nullopt);
            });
    });
}

AFXRegularInterprocessClientAdaptor::CurrentConnection
AFXRegularInterprocessClientAdaptor::currentConnection() const {
    std::lock_guard lock(currentConnectionMutex_);
    return current_;
}

void AFXRegularInterprocessClientAdaptor::dispatchedSetCurrentConnection(CurrentConnection current) {
    BRAssertOnQueue(internalQueue_);
    std::lock_guard lock(currentConnectionMutex_);
    current_ = std::move(current);
}

void AFXRegularInterprocessClientAdaptor::makeXPCConnectionWithCallback(AFXXPCConnectionCallback callback) {
    callback(AFXXPCConnectionOrError::makeWithValue(
        platform::XPCConnection::makeWithMachServiceName(serviceName_)));
}

void AFXRegularInterprocessClientAdaptor::interprocessClientMakeXPCConnection(
    AFXInterprocessClient&, AFXXPCConnectionCallback callback) {
    makeXPCConnectionWithCallback(std::move(callback));
}

void AFXRegularInterprocessClientAdaptor::interprocessClientSetupXPCConnection(
    AFXInterprocessClient& client, const std::shared_ptr<platform::XPCConnection>& connection,
    AFXXPCConnectionCallback callback) {
    // Only the first of reply, transport error and time-out counts; the flag
    // lives on the internal queue.
    auto finished = std::make_shared<bool>(false);
    const auto queue = internalQueue_;
    std::weak_ptr<platform::XPCConnection> weakConnection = connection;
    const auto fail = [finished, weakConnection, callback](const platform::Error& error) {
        *finished = true;
        if (const auto connection = weakConnection.lock()) {
            connection->invalidate();
        }
        callback(AFXXPCConnectionOrError::makeWithError(error));
    };
    const auto proxy = AFXRegularServiceInterfaceProxy::makeWithConnection(
        connection, [queue, finished, fail](const platform::Error& error) {
            queue->async([finished, fail, error] {
                if (*finished) {
                    return;
                }
                BRLogError("Did fail to establish reporting stream with error %@", platform::Value(error));
                fail(afx_makeInterprocessClientError(QStringLiteral("Did fail to establish reporting stream"),
                                                     error));
            });
        });
    queue->after(delays_.streamSetupTimeout, [finished, fail] {
        if (*finished) {
            return;
        }
        BRLogError("Did fail to establish reporting stream with timeout");
        fail(afx_makeInterprocessClientError(
            QStringLiteral("Did fail to establish reporting stream in time")));
    });
    std::weak_ptr<AFXRegularInterprocessClientAdaptor> weakSelf = weak_from_this();
    proxy->establishReportingStreamWithTierNamed(
        client.tierName(), xpcListener_->endpoint(),
        [queue, weakSelf, finished, fail, connection, callback](const BRValueOrError<QUuid>& reply) {
            queue->async([weakSelf, finished, fail, connection, callback, reply] {
                if (*finished) {
                    return;
                }
                if (const auto error = reply.error()) {
                    fail(*error);
                    return;
                }
                *finished = true;
                if (const auto self = weakSelf.lock()) {
                    self->dispatchedSetCurrentConnection({connection, *reply.value()});
                }
                callback(AFXXPCConnectionOrError::makeWithValue(connection));
            });
        });
}

void AFXRegularInterprocessClientAdaptor::interprocessClientDidEstablishConnection(
    AFXInterprocessClient&, const std::shared_ptr<platform::XPCConnection>& connection) {
    internalQueue_->async([self = shared_from_this(), connection] {
        if (connection != self->current_.connection) {
            return;
        }
        BRParameterAssertText(self->current_.streamID, "self.streamID");
        if (const auto delegate = self->delegate()) {
            delegate->didEstablishConnectionOfRegularInterprocessClientAdaptor(*self,
                                                                               *self->current_.streamID);
        }
    });
}

void AFXRegularInterprocessClientAdaptor::interprocessClientDidLooseConnection(
    AFXInterprocessClient&, const std::shared_ptr<platform::XPCConnection>& connection) {
    internalQueue_->async(
        [self = shared_from_this(), connection] { self->dispatchedConnectionWasLost(connection); });
}

void AFXRegularInterprocessClientAdaptor::dispatchedConnectionWasLost(
    const std::shared_ptr<platform::XPCConnection>& connection) {
    BRAssertOnQueue(internalQueue_);
    if (!connection || connection != current_.connection) {
        return;
    }
    const QUuid streamID = current_.streamID.value_or(QUuid());
    dispatchedSetCurrentConnection({});
    // An interrupted connection would carry later messages to a new server
    // process under a stream that process never made.
    connection->invalidate();
    if (const auto delegate = this->delegate()) {
        delegate->didLooseConnectionOfRegularInterprocessClientAdaptor(*this, streamID);
    }
}

void AFXRegularInterprocessClientAdaptor::deliverReport(const std::shared_ptr<AFXInterprocessReport>& report,
                                                        const QList<QUuid>& reportSessionIDs) {
    internalQueue_->async([self = shared_from_this(), report, reportSessionIDs] {
        // A session's reports run one at a time and in order, so that a
        // progress value never overtakes the one reported before it.
        for (const QUuid& reportSessionID : reportSessionIDs) {
            const auto session = self->reportHandlersBySessionID_.constFind(reportSessionID);
            if (session != self->reportHandlersBySessionID_.constEnd()) {
                session->queue->async([handler = session->handler, report] { handler(report); });
            }
        }
    });
}

void AFXRegularInterprocessClientAdaptor::prepareForTerminationWithCallback(
    std::function<void(bool)> callback) {
    if (const auto delegate = this->delegate()) {
        delegate->regularInterprocessClientAdaptorPrepareForTermination(*this, std::move(callback));
    } else {
        callback(true);
    }
}

bool AFXRegularInterprocessClientAdaptor::listenerShouldAcceptNewConnection(
    platform::XPCListener&, const std::shared_ptr<platform::XPCConnection>& connection) {
    connection->setExportedInterface(reportsStreamInterface_);
    connection->setExportedObject(
        std::make_shared<AFXReportsStreamInterfaceExportedObject>(weak_from_this()));
    connection->resume();
    return true;
}
