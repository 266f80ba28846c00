#pragma once

#include "Error.h"
#include "XPCInterface.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

#include <sys/types.h>

class QDBusMessage;

namespace platform {

class DispatchQueue;
class Value;
class XPCBusConnection;
class XPCExportedObject;
class XPCListenerEndpoint;
class XPCRemoteObjectProxy;

// One connection between two processes of the user's session, carried by
// the session bus.
//
// A connection made by a client (to a named service, or to an anonymous
// listener's endpoint) is a bus connection of its own, so the serving side
// sees one peer per connection. It sends messages through its remote object
// proxies. A connection accepted by a listener stands for one such peer and
// delivers the peer's messages to its exported object.
//
// A message is one method call to the listener's object path (interface
// DBusInterface, member DBusMember) carrying the selector and the keyed
// archive of each argument (s, aay); the reply carries the keyed archive of
// each reply argument (aay). Archives are read against the interface's
// class lists. Messages over MaximumMessageSize are refused on both ends.
//
// Events:
// - the interruption handler runs when the peer goes away (quits, crashes)
//   or its name passes to another process; the connection stays usable and
//   the next message reaches the new owner, starting it through bus
//   activation when the bus knows how;
// - the invalidation handler runs once, when `invalidate` is called or the
//   service cannot be reached at all (no owner and nothing the bus can
//   start, or a peer of another user); after it nothing more is delivered
//   and every call ends in its error handler with ConnectionInvalid.
// Neither runs twice for one event. Pending calls of a lost peer end with
// ConnectionInterrupted, of an invalidated connection with
// ConnectionInvalid.
//
// Threading: every handler, reply, error handler and exported-object call
// runs on the connection's own serial queue. Setters are for before
// `resume`; `invalidate` and proxies may be used from any thread.
class XPCConnection : public std::enable_shared_from_this<XPCConnection> {
public:
    // Errors of NSCocoaErrorDomain.
    enum ErrorCode : std::int64_t {
        ConnectionInterrupted = 4097,
        ConnectionInvalid = 4099,
        ReplyInvalid = 4101,
        // The arguments cannot be archived, or the peer could not read them.
        CoderInvalidValue = 4866,
    };

    static const QString DBusInterface; // "com.kestrel.XPC"
    static const QString DBusMember;    // "Invoke"
    static constexpr std::int64_t MaximumMessageSize = 16 * 1024 * 1024;

    // A connection to the service that owns the bus name `serviceName`.
    static std::shared_ptr<XPCConnection> makeWithMachServiceName(const QString& serviceName);
    // A connection to an anonymous listener of another (or the same) process.
    static std::shared_ptr<XPCConnection>
    makeWithListenerEndpoint(const std::shared_ptr<XPCListenerEndpoint>& endpoint);

    ~XPCConnection();
    XPCConnection(const XPCConnection&) = delete;
    XPCConnection& operator=(const XPCConnection&) = delete;

    // The service name, empty for endpoint and accepted connections.
    QString serviceName() const;

    void setRemoteObjectInterface(const XPCInterface& interface);
    void setExportedInterface(const XPCInterface& interface);
    void setExportedObject(std::shared_ptr<XPCExportedObject> object);
    void setInterruptionHandler(std::function<void()> handler);
    void setInvalidationHandler(std::function<void()> handler);

    // Starts delivering events and messages. Messages sent before are held
    // until then.
    void resume();
    // Final; safe to call more than once and from any thread, including
    // from inside the connection's own handlers.
    void invalidate();

    // A proxy whose calls end in `errorHandler` on failure (see
    // XPCRemoteObjectProxy). Only connections made by a client send.
    std::shared_ptr<XPCRemoteObjectProxy>
    remoteObjectProxyWithErrorHandler(std::function<void(const Error&)> errorHandler);

    // The peer's process and user, known once a message has passed (or, for
    // accepted connections, from the start); 0 / (uid_t)-1 before.
    pid_t processIdentifier() const;
    uid_t effectiveUserIdentifier() const;

private:
    friend class XPCListener;
    friend class XPCRemoteObjectProxy;
    struct Private;
    explicit XPCConnection(std::unique_ptr<Private> d);

    // For XPCListener: the connection of one peer of a listener's bus connection.
    static std::shared_ptr<XPCConnection> makeAccepted(std::shared_ptr<XPCBusConnection> bus,
                                                       const QString& peer, pid_t processIdentifier,
                                                       uid_t userIdentifier,
                                                       std::function<void()> invalidated);
    // For XPCListener: the queue the delegate hears of the connection on.
    const std::shared_ptr<DispatchQueue>& queue() const;
    // For XPCListener: one message of the accepted connection's peer.
    void receive(const QDBusMessage& message);
    // For XPCRemoteObjectProxy.
    void send(const QString& selector, const QList<Value>& arguments,
              std::function<void(const QList<Value>&)> reply, std::function<void(const Error&)> errorHandler);

    void start();
    void dispatch(const QString& selector, const QDBusMessage& message,
                  std::function<void(const QList<Value>&)> reply,
                  std::function<void(const Error&)> errorHandler);
    // Records the call as pending and hands it to the bus; under the calls' lock.
    void startCall(const QString& selector, const QDBusMessage& message,
                   std::function<void(const QList<Value>&)> reply,
                   std::function<void(const Error&)> errorHandler);
    void complete(std::uint64_t call, const QDBusMessage& reply);
    void ownerChanged(const QString& oldOwner, const QString& newOwner);
    void handle(const QDBusMessage& message);
    // Handles a received message, or answers it with the error once invalidated.
    void deliver(const QDBusMessage& message);
    void finishInvalidation();
    std::unique_ptr<Private> d_;
};

} // namespace platform
