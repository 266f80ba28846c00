#include "AFXInterprocessClient.h"

#include "AFXInterprocessErrors.h"
#include "platform/DispatchQueue.h"
#include "platform/XPCConnection.h"
#include "support/BRAssertions.h"

const QString AFXInterprocessClient::MakeXPCConnectionGroupID = QStringLiteral("makeXPCConnection");
const QString AFXInterprocessClient::XPCConnectionOrErrorKey = QStringLiteral("xpcConnectionOrError");

void AFXInterprocessClientDelegate::interprocessClientSetupXPCConnection(
    AFXInterprocessClient&, const std::shared_ptr<platform::XPCConnection>&, AFXXPCConnectionCallback) {
    BRAssertAbstract();
}

std::shared_ptr<AFXInterprocessClient> AFXInterprocessClient::makeWithRemoteObjectInterface(
    const platform::XPCInterface& remoteObjectInterface, const QString& tierName,
    std::weak_ptr<AFXInterprocessClientDelegate> delegate, std::chrono::milliseconds retryDelay) {
    std::shared_ptr<AFXInterprocessClient> client(new AFXInterprocessClient);
    client->remoteObjectInterface_ = remoteObjectInterface;
    client->tierName_ = tierName;
    client->delegate_ = std::move(delegate);
    client->retryDelay_ = retryDelay;
    client->makeProactor();
    return client;
}

void AFXInterprocessClient::makeProactor() {
    proactor_ = BRProactor::makeWithDelegate(shared_from_this());
    proactor_->addGroupWithID(MakeXPCConnectionGroupID, true,
                              &AFXInterprocessClient::makeXPCConnectionWithAction);
}

void AFXInterprocessClient::fetchXPCConnectionWithCallback(AFXXPCConnectionCallback callback) {
    proactor_->groupWithID(MakeXPCConnectionGroupID)
        ->defaultAction()
        ->addCompletionHandler(
            [callback = std::move(callback)](const std::shared_ptr<BRProactorResult>& result) {
                if (auto outcome = result->objectForKey<AFXXPCConnectionOrError>(XPCConnectionOrErrorKey)) {
                    callback(*outcome);
                    return;
                }
                // The run ended without an outcome: the client went away meanwhile.
                const auto error = BRProactorObjectAs<platform::Error>(result->error());
                callback(AFXXPCConnectionOrError::makeWithError(afx_makeInterprocessClientError(
                    QStringLiteral("The interprocess client no longer exists"), error)));
            });
}

void AFXInterprocessClient::makeXPCConnectionWithAction(const std::shared_ptr<BRProactorAction>& action) {
    std::weak_ptr<AFXInterprocessClient> weakSelf = weak_from_this();
    dispatchedMakeXPCConnectionCanRetry(true, [weakSelf, action](const AFXXPCConnectionOrError& outcome) {
        action->setObject(outcome, XPCConnectionOrErrorKey);
        action->complete();
        // Every waiting caller has this outcome; the next fetch makes a new connection.
        action->reset();
        const auto self = weakSelf.lock();
        const auto delegate = self ? self->delegate() : nullptr;
        if (delegate && outcome.hasValue()) {
            delegate->interprocessClientDidEstablishConnection(*self, *outcome.value());
        }
    });
}

void AFXInterprocessClient::dispatchedMakeXPCConnectionCanRetry(bool canRetry,
                                                                AFXXPCConnectionCallback callback) {
    std::weak_ptr<AFXInterprocessClient> weakSelf = weak_from_this();
    dispatchedMakeXPCConnectionWithCallback(
        [weakSelf, canRetry, callback](const AFXXPCConnectionOrError& outcome) {
            const auto self = weakSelf.lock();
            if (outcome.hasValue() || !canRetry || !self || !self->delegate()) {
                callback(outcome);
                return;
            }
            platform::DispatchQueue::main()->after(self->retryDelay_, [weakSelf, callback] {
                if (const auto self = weakSelf.lock()) {
                    self->dispatchedMakeXPCConnectionCanRetry(false, callback);
                } else {
                    callback(AFXXPCConnectionOrError::makeWithError(afx_makeInterprocessClientError(
                        QStringLiteral("The interprocess client no longer exists"))));
                }
            });
        });
}

void AFXInterprocessClient::dispatchedMakeXPCConnectionWithCallback(AFXXPCConnectionCallback callback) {
    const auto delegate = this->delegate();
    if (!delegate) {
        callback(AFXXPCConnectionOrError::makeWithError(afx_makeInterprocessClientError(
            QStringLiteral("Nobody makes connections for the interprocess client"))));
        return;
    }
    std::weak_ptr<AFXInterprocessClient> weakSelf = weak_from_this();
    delegate->interprocessClientMakeXPCConnection(*this, [weakSelf,
                                                          callback](const AFXXPCConnectionOrError& made) {
        const auto self = weakSelf.lock();
        if (!made.hasValue() || !self) {
            callback(made.hasValue() ? AFXXPCConnectionOrError::makeWithError(afx_makeInterprocessClientError(
                                           QStringLiteral("The interprocess client no longer exists")))
                                     : made);
            return;
        }
        const std::shared_ptr<platform::XPCConnection> connection = *made.value();
        connection->setRemoteObjectInterface(self->remoteObjectInterface_);
        std::weak_ptr<platform::XPCConnection> weakConnection = connection;
        const auto lost = [weakSelf, weakConnection] {
            const auto self = weakSelf.lock();
            const auto connection = weakConnection.lock();
            const auto delegate = self ? self->delegate() : nullptr;
            if (delegate && connection) {
                delegate->interprocessClientDidLooseConnection(*self, connection);
            }
        };
        connection->setInterruptionHandler(lost);
        connection->setInvalidationHandler(lost);
        connection->resume();
        const auto delegate = self->delegate();
        if (delegate && delegate->implementsSetupXPCConnection()) {
            delegate->interprocessClientSetupXPCConnection(*self, connection, callback);
        } else {
            callback(made);
        }
    });
}
