#pragma once

#include <memory>

namespace platform {
class XPCConnection;
class XPCExportedObject;
} // namespace platform
class AFXInterprocessServer;

// Supplies the object an interprocess server exports on each connection.
class AFXInterprocessServerDelegate {
public:
    virtual ~AFXInterprocessServerDelegate() = default;
    virtual std::shared_ptr<platform::XPCExportedObject> interprocessServerMakeExportedObjectForConnection(
        AFXInterprocessServer& server, const std::shared_ptr<platform::XPCConnection>& connection) = 0;
};
