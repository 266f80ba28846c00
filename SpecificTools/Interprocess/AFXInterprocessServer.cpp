#include "AFXInterprocessServer.h"

#include "platform/XPCConnection.h"
#include "platform/XPCExportedObject.h"
#include "support/BRAssertions.h"
#include "support/BRLog.h"

std::shared_ptr<AFXInterprocessServer>
AFXInterprocessServer::makeWithXPCListener(const std::shared_ptr<platform::XPCListener>& xpcListener,
                                           std::weak_ptr<AFXInterprocessServerDelegate> delegate,
                                           const platform::XPCInterface& exportedInterface) {
    std::shared_ptr<AFXInterprocessServer> server(new AFXInterprocessServer);
    server->xpcListener_ = xpcListener;
    server->exportedInterface_ = exportedInterface;
    server->delegate_ = std::move(delegate);
    xpcListener->setDelegate(server);
    platform::Error error(QString(), 0);
    if (!xpcListener->resume(&error)) {
        BRLogError("Did fail to start listening with error %@", platform::Value(error));
        server->listeningError_ = error;
    }
    return server;
}

AFXInterprocessServer::~AFXInterprocessServer() {
    xpcListener_->invalidate();
}

bool AFXInterprocessServer::listenerShouldAcceptNewConnection(
    platform::XPCListener& listener, const std::shared_ptr<platform::XPCConnection>& connection) {
    if (&listener != xpcListener_.get()) {
        BRHandleAssertionFailure(
            QStringLiteral("Invalid parameter not satisfying: self.xpcListener == listener"));
    }
    connection->setExportedInterface(exportedInterface_);
    if (const auto delegate = this->delegate()) {
        connection->setExportedObject(
            delegate->interprocessServerMakeExportedObjectForConnection(*this, connection));
    }
    connection->resume();
    return true;
}
