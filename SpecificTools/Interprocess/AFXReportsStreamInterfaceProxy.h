#pragma once

#include "AFXReportsStreamInterface.h"
#include "platform/Error.h"

#include <functional>
#include <memory>

namespace platform {
class XPCConnection;
class XPCRemoteObjectProxy;
} // namespace platform

// The reporting-stream interface of a client, reached through the
// connection the server made to the client's listener.
class AFXReportsStreamInterfaceProxy : public AFXReportsStreamInterface {
public:
    static std::shared_ptr<AFXReportsStreamInterfaceProxy>
    makeWithConnection(const std::shared_ptr<platform::XPCConnection>& connection,
                       std::function<void(const platform::Error&)> errorHandler);

    void deliverReport(const std::shared_ptr<AFXInterprocessReport>& report,
                       const QList<QUuid>& reportSessionIDs) override;
    void prepareForTerminationWithCallback(std::function<void(bool)> callback) override;

private:
    AFXReportsStreamInterfaceProxy() = default;

    std::shared_ptr<platform::XPCRemoteObjectProxy> proxy_;
};
