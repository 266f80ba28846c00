#pragma once

#include "AFXInterprocessServerDelegate.h"
#include "platform/Error.h"
#include "platform/XPCInterface.h"
#include "platform/XPCListener.h"

#include <memory>
#include <optional>

// Serves one listener: every connection is accepted, given the exported
// interface and the object the delegate makes for it, and resumed.
class AFXInterprocessServer : public platform::XPCListenerDelegate,
                              public std::enable_shared_from_this<AFXInterprocessServer> {
public:
    // Resumes the listener at once; see `listeningError`.
    static std::shared_ptr<AFXInterprocessServer>
    makeWithXPCListener(const std::shared_ptr<platform::XPCListener>& xpcListener,
                        std::weak_ptr<AFXInterprocessServerDelegate> delegate,
                        const platform::XPCInterface& exportedInterface);
    ~AFXInterprocessServer() override;

    const std::shared_ptr<platform::XPCListener>& xpcListener() const { return xpcListener_; }
    const platform::XPCInterface& exportedInterface() const { return exportedInterface_; }
    std::shared_ptr<AFXInterprocessServerDelegate> delegate() const { return delegate_.lock(); }
    // Why the listener could not start (its name is taken, no bus), if it could not.
    const std::optional<platform::Error>& listeningError() const { return listeningError_; }

    bool
    listenerShouldAcceptNewConnection(platform::XPCListener& listener,
                                      const std::shared_ptr<platform::XPCConnection>& connection) override;

private:
    AFXInterprocessServer() = default;

    std::shared_ptr<platform::XPCListener> xpcListener_;
    platform::XPCInterface exportedInterface_;
    std::weak_ptr<AFXInterprocessServerDelegate> delegate_;
    std::optional<platform::Error> listeningError_;
};
