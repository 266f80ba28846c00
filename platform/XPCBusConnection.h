#pragma once

#include "Error.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include <sys/types.h>

class QDBusServiceWatcher;
class QObject;

namespace platform {

// One connection to the session bus as the XPC layer uses it: what QtDBus
// offers, reached the way that works without a QCoreApplication.
//
// QtDBus delivers replies, signals and incoming method calls as events to
// the thread of a QObject, and without an application object only its own
// connection thread runs an event loop (see DistributedNotificationCenter).
// So every QObject this class gives QtDBus lives in that thread, and the
// callbacks given here run there and must only hand their work on.
//
// That thread must never itself add or remove a signal hook, nor destroy an
// object QtDBus watches: QtDBus does both through blocking calls into its
// own thread, which would wait for themselves. So the name watcher and the
// exported objects are made and hooked up on the calling thread and then
// moved to QtDBus's thread, and brought back to be destroyed. Pending-call
// watchers are made in QtDBus's thread, as children of a context object
// that `close` deletes there. Everything but `call` is for threads other
// than QtDBus's own.
class XPCBusConnection {
public:
    // A new private connection (one bus peer of its own).
    static std::shared_ptr<XPCBusConnection> open(Error* error);
    // The process's shared connection, made on first use and never closed.
    static std::shared_ptr<XPCBusConnection> process(Error* error);

    ~XPCBusConnection();
    XPCBusConnection(const XPCBusConnection&) = delete;
    XPCBusConnection& operator=(const XPCBusConnection&) = delete;

    // A handle of the caller's own (QDBusConnection is thread-safe); once
    // `close` has run, one that no longer reaches the bus.
    QDBusConnection connection() const;
    QString uniqueName() const { return uniqueName_; }

    // Sends a method call with an infinite time-out (the bus answers with
    // an error should the recipient leave first); `done` gets the reply or
    // the error message, unless the connection is closed first.
    void call(const QDBusMessage& message, std::function<void(const QDBusMessage&)> done);

    // What the bus knows of a peer's process.
    struct Credentials {
        pid_t processIdentifier = 0;
        uid_t userIdentifier = static_cast<uid_t>(-1);
    };
    // Asks the bus about the peer with the unique name `peer`; `done` gets
    // nothing when the bus cannot say (the peer has left, say).
    void askCredentials(const QString& peer, std::function<void(const std::optional<Credentials>&)> done);

    // Tells `changed(oldOwner, newOwner)` whenever `name` changes owner.
    // The match rule is in place for every message sent after this returns.
    void watchName(const QString& name, std::function<void(const QString&, const QString&)> changed);
    void unwatchName(const QString& name);
    // Hands every message sent to `path` on this connection to `handler`,
    // which answers it (or not) through `connection()`.
    bool registerObject(const QString& path, std::function<void(const QDBusMessage&)> handler);
    void unregisterObject(const QString& path);
    // Stops every callback and leaves the bus (the process connection is
    // never closed). Idempotent.
    void close();

private:
    struct Watches;
    XPCBusConnection(QDBusConnection connection, QString connectionName, QObject* context,
                     QDBusServiceWatcher* watcher, std::shared_ptr<Watches> watches);
    static std::shared_ptr<XPCBusConnection> connect(const QString& connectionName, Error* error);
    // Takes an object back from QtDBus's thread and deletes it.
    static void destroy(QObject* object);

    // Guards `connection_` alone, so that taking a handle never waits for
    // `close` and its work in QtDBus's thread.
    mutable std::mutex connectionMutex_;
    QDBusConnection connection_;
    const QString uniqueName_;
    const QString connectionName_;
    const std::shared_ptr<Watches> watches_;

    // Guards what follows. `context_` lives in QtDBus's thread and is null
    // once closed; the watcher and the exported objects are touched by
    // their owners' queues.
    mutable std::mutex mutex_;
    QObject* context_;
    QDBusServiceWatcher* watcher_;
    QHash<QString, QObject*> exported_;
};

} // namespace platform
