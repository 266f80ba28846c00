#include "AFXRegularServiceInterfaceProxy.h"

#include "platform/XPCConnection.h"
#include "platform/XPCListenerEndpoint.h"
#include "platform/XPCRemoteObjectProxy.h"
#include "support/BRValueOrErrorObject.h"

const QString AFXRegularServiceInterface::EstablishReportingStreamSelector =
    QStringLiteral("establishReportingStreamWithTierNamed:endpoint:callback:");
const QString AFXRegularServiceInterface::PerformInterprocessRequestSelector =
    QStringLiteral("performInterprocessRequest:responseHandler:");

namespace {

// A reply that passed the class lists but does not hold a result of the
// expected form is a transport failure like any other bad reply.
platform::Error replyInvalidError() {
    return platform::Error(platform::NSCocoaErrorDomain, platform::XPCConnection::ReplyInvalid);
}

} // namespace

std::shared_ptr<AFXRegularServiceInterfaceProxy> AFXRegularServiceInterfaceProxy::makeWithConnection(
    const std::shared_ptr<platform::XPCConnection>& connection,
    std::function<void(const platform::Error&)> errorHandler) {
    std::shared_ptr<AFXRegularServiceInterfaceProxy> proxy(new AFXRegularServiceInterfaceProxy);
    proxy->errorHandler_ = std::move(errorHandler);
    proxy->proxy_ = connection->remoteObjectProxyWithErrorHandler(proxy->errorHandler_);
    return proxy;
}

void AFXRegularServiceInterfaceProxy::establishReportingStreamWithTierNamed(
    const QString& tierName, const std::shared_ptr<platform::XPCListenerEndpoint>& endpoint,
    std::function<void(const BRValueOrError<QUuid>&)> callback) {
    proxy_->invoke(
        EstablishReportingStreamSelector, {platform::Value(tierName), platform::Value(endpoint)},
        [callback = std::move(callback), errorHandler = errorHandler_](const QList<platform::Value>& reply) {
            const auto holder = BRValueOrErrorObject::holderOf(reply.value(0));
            if (!holder || (holder->hasValue() && holder->value()->kind() != platform::Value::Kind::UUID)) {
                errorHandler(replyInvalidError());
                return;
            }
            callback(holder->hasValue() ? BRValueOrError<QUuid>::makeWithValue(holder->value()->toUUID())
                                        : BRValueOrError<QUuid>::makeWithError(*holder->error()));
        });
}

void AFXRegularServiceInterfaceProxy::performInterprocessRequest(
    const std::shared_ptr<AFXInterprocessRequest>& request, AFXInterprocessResponseHandler responseHandler) {
    proxy_->invoke(PerformInterprocessRequestSelector, {platform::Value(request)},
                   [responseHandler = std::move(responseHandler),
                    errorHandler = errorHandler_](const QList<platform::Value>& reply) {
                       const auto holder = BRValueOrErrorObject::holderOf(reply.value(0));
                       if (!holder) {
                           errorHandler(replyInvalidError());
                           return;
                       }
                       responseHandler(*holder);
                   });
}
