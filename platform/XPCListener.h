#pragma once

#include "Error.h"

#include <QString>

#include <memory>

namespace platform {

class XPCConnection;
class XPCListener;
class XPCListenerEndpoint;
class XPCBusConnection;

class XPCListenerDelegate {
public:
    virtual ~XPCListenerDelegate() = default;
    // Called on the new connection's queue before any of its messages.
    // Answering true keeps the connection: the delegate sets its exported
    // interface and object and resumes it. Answering false invalidates it.
    virtual bool listenerShouldAcceptNewConnection(XPCListener& listener,
                                                   const std::shared_ptr<XPCConnection>& connection) = 0;
};

// Accepts connections, one per client connection.
//
// A listener for a named service owns that well-known name on the session
// bus; if another process owns it, `resume` fails with a clear error
// (never a silent takeover). An anonymous listener is an object on this
// process's own bus connection, reachable through its endpoint.
//
// Peers of another user are refused before the delegate hears of them.
// Accepted connections are kept by the listener until their peer goes away
// or they are invalidated. The delegate is held weakly.
class XPCListener : public std::enable_shared_from_this<XPCListener> {
public:
    static const QString ErrorDomain; // "com.kestrel.XPCListener"
    enum ErrorCode : std::int64_t {
        NoSessionBusError = 1,
        NameTakenError = 2,   // another process owns the service name
        InvalidNameError = 3, // not a valid well-known bus name
        NameRefusedError = 4, // the bus refused the claim (its policy, or no answer)
    };

    static std::shared_ptr<XPCListener> makeWithMachServiceName(const QString& serviceName);
    static std::shared_ptr<XPCListener> anonymousListener();

    ~XPCListener();
    XPCListener(const XPCListener&) = delete;
    XPCListener& operator=(const XPCListener&) = delete;

    void setDelegate(std::weak_ptr<XPCListenerDelegate> delegate);

    // Starts accepting; for a named listener, claims the name first.
    bool resume(Error* error = nullptr);
    // Stops accepting, releases the name and invalidates every accepted
    // connection. Final.
    void invalidate();

    // Only anonymous listeners have one; null otherwise.
    std::shared_ptr<XPCListenerEndpoint> endpoint() const;

private:
    struct Private;
    explicit XPCListener(std::unique_ptr<Private> d);
    // Serves the listener's object path on `bus`.
    bool listen(const std::shared_ptr<XPCBusConnection>& bus);
    std::unique_ptr<Private> d_;
};

} // namespace platform
