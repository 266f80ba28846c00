#include "AFXReportsStreamInterfaceProxy.h"

#include "platform/XPCConnection.h"
#include "platform/XPCRemoteObjectProxy.h"

const QString AFXReportsStreamInterface::DeliverReportSelector =
    QStringLiteral("deliverReport:reportSessionIDs:");
const QString AFXReportsStreamInterface::PrepareForTerminationSelector =
    QStringLiteral("prepareForTerminationWithCallback:");

std::shared_ptr<AFXReportsStreamInterfaceProxy>
AFXReportsStreamInterfaceProxy::makeWithConnection(const std::shared_ptr<platform::XPCConnection>& connection,
                                                   std::function<void(const platform::Error&)> errorHandler) {
    std::shared_ptr<AFXReportsStreamInterfaceProxy> proxy(new AFXReportsStreamInterfaceProxy);
    proxy->proxy_ = connection->remoteObjectProxyWithErrorHandler(std::move(errorHandler));
    return proxy;
}

void AFXReportsStreamInterfaceProxy::deliverReport(const std::shared_ptr<AFXInterprocessReport>& report,
                                                   const QList<QUuid>& reportSessionIDs) {
    platform::Value::Array sessionIDs;
    for (const QUuid& sessionID : reportSessionIDs) {
        sessionIDs.append(platform::Value(sessionID));
    }
    proxy_->invoke(DeliverReportSelector, {platform::Value(report), platform::Value(sessionIDs)});
}

void AFXReportsStreamInterfaceProxy::prepareForTerminationWithCallback(std::function<void(bool)> callback) {
    proxy_->invoke(PrepareForTerminationSelector, {},
                   [callback = std::move(callback)](const QList<platform::Value>& reply) {
                       callback(reply.value(0).toBool());
                   });
}
