#pragma once

#include "AFXRegularServiceInterface.h"
#include "platform/Error.h"

#include <functional>
#include <memory>

namespace platform {
class XPCConnection;
class XPCRemoteObjectProxy;
} // namespace platform

// The service interface of a remote process, reached through one
// connection. Every call ends in exactly one of its callback or the error
// handler; a reply that does not hold a result ends in the error handler.
class AFXRegularServiceInterfaceProxy : public AFXRegularServiceInterface {
public:
    static std::shared_ptr<AFXRegularServiceInterfaceProxy>
    makeWithConnection(const std::shared_ptr<platform::XPCConnection>& connection,
                       std::function<void(const platform::Error&)> errorHandler);

    void establishReportingStreamWithTierNamed(
        const QString& tierName, const std::shared_ptr<platform::XPCListenerEndpoint>& endpoint,
        std::function<void(const BRValueOrError<QUuid>&)> callback) override;
    void performInterprocessRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                                    AFXInterprocessResponseHandler responseHandler) override;

private:
    AFXRegularServiceInterfaceProxy() = default;

    std::shared_ptr<platform::XPCRemoteObjectProxy> proxy_;
    std::function<void(const platform::Error&)> errorHandler_;
};
