#pragma once

#include "support/BRValueOrError.h"

#include <functional>
#include <memory>

namespace platform {
class XPCConnection;
}
class AFXInterprocessClient;

using AFXXPCConnectionOrError = BRValueOrError<std::shared_ptr<platform::XPCConnection>>;
using AFXXPCConnectionCallback = std::function<void(const AFXXPCConnectionOrError&)>;

// Makes and prepares an interprocess client's connections and hears of
// their life. Every method may be called on any thread.
class AFXInterprocessClientDelegate {
public:
    virtual ~AFXInterprocessClientDelegate() = default;

    // A new connection, not yet resumed, or an error.
    virtual void interprocessClientMakeXPCConnection(AFXInterprocessClient& client,
                                                     AFXXPCConnectionCallback callback) = 0;
    virtual void interprocessClientDidEstablishConnection(AFXInterprocessClient&,
                                                          const std::shared_ptr<platform::XPCConnection>&) {}
    // The connection was interrupted or invalidated.
    virtual void interprocessClientDidLooseConnection(AFXInterprocessClient&,
                                                      const std::shared_ptr<platform::XPCConnection>&) {}
    // Whether the delegate prepares resumed connections before they are
    // handed out; when it does, the client calls the method below.
    virtual bool implementsSetupXPCConnection() const { return false; }
    // The callback receives the connection when it is ready, or an error.
    virtual void
    interprocessClientSetupXPCConnection(AFXInterprocessClient& client,
                                         const std::shared_ptr<platform::XPCConnection>& connection,
                                         AFXXPCConnectionCallback callback);
};
