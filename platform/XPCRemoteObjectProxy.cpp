#include "XPCRemoteObjectProxy.h"

#include "DispatchQueue.h"
#include "XPCConnection.h"

namespace platform {

XPCRemoteObjectProxy::XPCRemoteObjectProxy(std::weak_ptr<XPCConnection> connection,
                                           std::function<void(const Error&)> errorHandler)
    : connection_(std::move(connection)), errorHandler_(std::move(errorHandler)) {}

void XPCRemoteObjectProxy::invoke(const QString& selector, const QList<Value>& arguments,
                                  std::function<void(const QList<Value>&)> reply) const {
    auto errorHandler = errorHandler_ ? errorHandler_ : [](const Error&) {};
    auto connection = connection_.lock();
    if (!connection) {
        // The connection's queue went with it; the call still ends.
        DispatchQueue::global(QualityOfService::Utility)->async([errorHandler] {
            errorHandler(
                Error(NSCocoaErrorDomain, XPCConnection::ConnectionInvalid,
                      {{NSLocalizedDescriptionKey, QStringLiteral("The connection no longer exists")}}));
        });
        return;
    }
    connection->send(selector, arguments, std::move(reply), std::move(errorHandler));
}

} // namespace platform
