#include "XPCConnection.h"

#include "DispatchQueue.h"
#include "KeyedArchiver.h"
#include "KeyedUnarchiver.h"
#include "XPCBusConnection.h"
#include "XPCExportedObject.h"
#include "XPCListenerEndpoint.h"
#include "XPCRemoteObjectProxy.h"
#include "XPCWire.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include <unistd.h>

// Where state lives.
//
// The interfaces, the exported object and the handlers are set before
// `resume` (by the owner, or by a listener's delegate on the connection's
// queue) and only read on the queue afterwards. Everything else that
// changes — whether the connection runs, its pending calls, the messages
// held until `resume`, the bus connection — lives on the connection's
// serial queue. The exceptions: `invalidating`, an atomic set at once by
// `invalidate` from any thread, so that nothing queued before the
// invalidation's own work item is delivered after the call; and the pending
// calls, under `callsMutex`, so that once the connection runs a call leaves
// from its caller's thread without waiting for a turn of the queue.
//
// Replies and events come from QtDBus's thread (XPCBusConnection) and hop
// onto the queue holding the connection weakly; a connection dropped with
// calls pending fails them from its destructor.

namespace platform {

const QString XPCConnection::DBusInterface = QStringLiteral("com.kestrel.XPC");
const QString XPCConnection::DBusMember = QStringLiteral("Invoke");

namespace {

enum class Kind { Service, Endpoint, Accepted };

Error makeError(std::int64_t code, const QString& description) {
    return Error(NSCocoaErrorDomain, code, {{NSLocalizedDescriptionKey, description}});
}

void registerWireTypes() {
    static std::once_flag once;
    std::call_once(once, [] { qDBusRegisterMetaType<QList<QByteArray>>(); });
}

// The archives of a message, or nothing when it does not have `signature`
// (starting at argument `first`).
std::optional<QList<QByteArray>> archivesOf(const QDBusMessage& message, const QString& signature,
                                            int first) {
    if (message.signature() != signature) {
        return std::nullopt;
    }
    const QVariant argument = message.arguments().value(first);
    if (argument.canConvert<QDBusArgument>()) {
        return qdbus_cast<QList<QByteArray>>(argument.value<QDBusArgument>());
    }
    return argument.value<QList<QByteArray>>();
}

std::optional<QList<QByteArray>> archive(const QList<Value>& values, Error* error) {
    QList<QByteArray> archives;
    qsizetype total = 0;
    for (qsizetype i = 0; i < values.size(); ++i) {
        Error archiving(QString(), 0);
        auto bytes = KeyedArchiver::archivedDataWithRootObject(values[i], &archiving);
        if (!bytes) {
            *error =
                Error(NSCocoaErrorDomain, XPCConnection::CoderInvalidValue,
                      {{NSLocalizedDescriptionKey, QStringLiteral("Argument %1 cannot be archived").arg(i)},
                       {NSUnderlyingErrorKey, archiving}});
            return std::nullopt;
        }
        total += bytes->size();
        archives.append(std::move(*bytes));
    }
    if (total > XPCConnection::MaximumMessageSize) {
        *error = makeError(XPCConnection::CoderInvalidValue,
                           QStringLiteral("The arguments take %1 bytes, more than the %2 a message may carry")
                               .arg(total)
                               .arg(XPCConnection::MaximumMessageSize));
        return std::nullopt;
    }
    return archives;
}

// Reads `archives` against the classes of `selector`'s arguments (or reply
// arguments); the description of the first refusal otherwise.
std::optional<QList<Value>> unarchive(const XPCInterface& interface, const QString& selector, bool ofReply,
                                      int expectedCount, const QList<QByteArray>& archives,
                                      QString* refusal) {
    if (archives.size() != expectedCount) {
        *refusal = QStringLiteral("“%1” carries %2 archives instead of %3")
                       .arg(selector)
                       .arg(archives.size())
                       .arg(expectedCount);
        return std::nullopt;
    }
    qsizetype total = 0;
    for (const auto& bytes : archives) {
        total += bytes.size();
    }
    if (total > XPCConnection::MaximumMessageSize) {
        *refusal = QStringLiteral("“%1” carries %2 bytes, more than the %3 allowed")
                       .arg(selector)
                       .arg(total)
                       .arg(XPCConnection::MaximumMessageSize);
        return std::nullopt;
    }
    QList<Value> values;
    values.reserve(expectedCount);
    for (int i = 0; i < expectedCount; ++i) {
        Error error(QString(), 0);
        auto value = KeyedUnarchiver::unarchivedObjectOfClasses(interface.classes(selector, i, ofReply),
                                                                archives[i], &error);
        if (!value) {
            *refusal = QStringLiteral("%1 %2 of “%3” cannot be read: %4")
                           .arg(ofReply ? QStringLiteral("Reply argument") : QStringLiteral("Argument"))
                           .arg(i)
                           .arg(selector, error.localizedDescription());
            return std::nullopt;
        }
        values.append(std::move(*value));
    }
    return values;
}

// The transport error a failed call ends with, and whether the service
// cannot be reached at all.
std::pair<Error, bool> errorOfReply(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    const QString detail = QStringLiteral("%1 (%2)").arg(reply.errorMessage(), name);
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        name.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn.")) ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
        name == XPCWire::AccessDeniedError || name == XPCWire::ConnectionInvalidError) {
        return {makeError(XPCConnection::ConnectionInvalid,
                          QStringLiteral("The connection to the service is invalid: %1").arg(detail)),
                true};
    }
    if (name == XPCWire::InvalidMessageError ||
        name == QLatin1String("org.freedesktop.DBus.Error.LimitsExceeded")) {
        return {makeError(XPCConnection::CoderInvalidValue,
                          QStringLiteral("The service could not read the message: %1").arg(detail)),
                false};
    }
    if (name == XPCWire::ReplyDroppedError || name == XPCWire::ReplyInvalidError) {
        return {makeError(XPCConnection::ReplyInvalid,
                          QStringLiteral("The service sent no valid reply: %1").arg(detail)),
                false};
    }
    return {makeError(XPCConnection::ConnectionInterrupted,
                      QStringLiteral("The connection to the service was interrupted: %1").arg(detail)),
            false};
}

void replyWithError(const QDBusConnection& connection, const QDBusMessage& message, const QString& name,
                    const QString& text) {
    if (!message.isReplyRequired()) {
        return;
    }
    connection.send(message.createErrorReply(name, text));
}

} // namespace

struct XPCConnection::Private {
    struct PendingCall {
        QString selector;
        std::function<void(const QList<Value>&)> reply;
        std::function<void(const Error&)> errorHandler;
    };

    Private(Kind kind, QString serviceName, QString destination, QString path)
        : kind(kind), serviceName(std::move(serviceName)), destination(std::move(destination)),
          path(std::move(path)), queue(DispatchQueue::make(QStringLiteral("com.kestrel.XPCConnection"),
                                                           {false, QualityOfService::Utility})) {}

    const Kind kind;
    const QString serviceName;
    // Where calls go (a well-known or unique name) or, for accepted
    // connections, the peer's unique name.
    const QString destination;
    const QString path;
    const std::shared_ptr<DispatchQueue> queue;

    // Set before `resume`, read on `queue`.
    XPCInterface remoteInterface;
    XPCInterface exportedInterface;
    std::shared_ptr<XPCExportedObject> exportedObject;
    std::function<void()> interruptionHandler;
    std::function<void()> invalidationHandler;

    std::atomic<bool> invalidating{false};
    std::atomic<pid_t> processIdentifier{0};
    std::atomic<uid_t> userIdentifier{static_cast<uid_t>(-1)};

    // On `queue`:
    bool resumed = false;
    bool invalidated = false;
    // Accepted connections share their listener's; clients open their own at `resume`.
    std::shared_ptr<XPCBusConnection> bus;

    // Under `callsMutex`. Calls leave directly while `sendsDirectly` (the
    // connection runs and is not invalidated) and no call waits on the
    // queue, which keeps the calls of one thread in order.
    std::mutex callsMutex;
    std::map<std::uint64_t, PendingCall> pendingCalls;
    std::uint64_t nextCall = 1;
    bool sendsDirectly = false;
    int queuedCalls = 0;
    // Clients: the unique name of the peer that answered last.
    QString peer;
    // Work that waits for `resume`: calls to send (with the error handler
    // that ends them should the connection go without running), messages
    // to handle.
    struct Held {
        std::function<void()> run;
        std::function<void(const Error&)> abandon;
    };
    std::vector<Held> held;
    // Accepted connections: tells the listener.
    std::function<void()> onInvalidated;
};

XPCConnection::XPCConnection(std::unique_ptr<Private> d) : d_(std::move(d)) {
    registerWireTypes();
}

XPCConnection::~XPCConnection() {
    // Dropped without `invalidate`: nothing of ours can run any more, so the
    // calls still pending, or held for a `resume` that never came, end
    // here, on the queue as always.
    if (d_->kind != Kind::Accepted && d_->bus) {
        d_->bus->close();
    }
    std::vector<std::function<void(const Error&)>> errorHandlers;
    for (auto& work : d_->held) {
        if (work.abandon) {
            errorHandlers.push_back(std::move(work.abandon));
        }
    }
    {
        std::lock_guard lock(d_->callsMutex);
        for (auto& [id, call] : d_->pendingCalls) {
            errorHandlers.push_back(std::move(call.errorHandler));
        }
    }
    if (errorHandlers.empty()) {
        return;
    }
    d_->queue->async([errorHandlers = std::move(errorHandlers)] {
        for (const auto& errorHandler : errorHandlers) {
            errorHandler(makeError(ConnectionInvalid, QStringLiteral("The connection was released")));
        }
    });
}

std::shared_ptr<XPCConnection> XPCConnection::makeWithMachServiceName(const QString& serviceName) {
    return std::shared_ptr<XPCConnection>(new XPCConnection(
        std::make_unique<Private>(Kind::Service, serviceName, serviceName, XPCWire::ServicePath)));
}

std::shared_ptr<XPCConnection>
XPCConnection::makeWithListenerEndpoint(const std::shared_ptr<XPCListenerEndpoint>& endpoint) {
    Q_ASSERT(endpoint);
    return std::shared_ptr<XPCConnection>(new XPCConnection(std::make_unique<Private>(
        Kind::Endpoint, QString(), endpoint->uniqueBusName(), endpoint->objectPath())));
}

std::shared_ptr<XPCConnection> XPCConnection::makeAccepted(std::shared_ptr<XPCBusConnection> bus,
                                                           const QString& peer, pid_t processIdentifier,
                                                           uid_t userIdentifier,
                                                           std::function<void()> invalidated) {
    auto d = std::make_unique<Private>(Kind::Accepted, QString(), peer, QString());
    d->bus = std::move(bus);
    d->processIdentifier = processIdentifier;
    d->userIdentifier = userIdentifier;
    d->onInvalidated = std::move(invalidated);
    return std::shared_ptr<XPCConnection>(new XPCConnection(std::move(d)));
}

const std::shared_ptr<DispatchQueue>& XPCConnection::queue() const {
    return d_->queue;
}

QString XPCConnection::serviceName() const {
    return d_->serviceName;
}

void XPCConnection::setRemoteObjectInterface(const XPCInterface& interface) {
    d_->remoteInterface = interface;
}

void XPCConnection::setExportedInterface(const XPCInterface& interface) {
    d_->exportedInterface = interface;
}

void XPCConnection::setExportedObject(std::shared_ptr<XPCExportedObject> object) {
    d_->exportedObject = std::move(object);
}

void XPCConnection::setInterruptionHandler(std::function<void()> handler) {
    d_->interruptionHandler = std::move(handler);
}

void XPCConnection::setInvalidationHandler(std::function<void()> handler) {
    d_->invalidationHandler = std::move(handler);
}

pid_t XPCConnection::processIdentifier() const {
    return d_->processIdentifier;
}

uid_t XPCConnection::effectiveUserIdentifier() const {
    return d_->userIdentifier;
}

std::shared_ptr<XPCRemoteObjectProxy>
XPCConnection::remoteObjectProxyWithErrorHandler(std::function<void(const Error&)> errorHandler) {
    return std::make_shared<XPCRemoteObjectProxy>(weak_from_this(), std::move(errorHandler));
}

void XPCConnection::resume() {
    d_->queue->async([self = shared_from_this()] { self->start(); });
}

void XPCConnection::start() {
    Q_ASSERT(d_->queue->isCurrent());
    if (d_->resumed || d_->invalidated) {
        return;
    }
    d_->resumed = true;
    if (d_->kind != Kind::Accepted) {
        Error error(QString(), 0);
        d_->bus = XPCBusConnection::open(&error);
        if (!d_->bus) {
            d_->invalidating = true;
            finishInvalidation();
            return;
        }
        // Watched before the first call leaves, so that no loss of the
        // peer that call could meet goes unseen.
        std::weak_ptr<XPCConnection> weak = weak_from_this();
        d_->bus->watchName(d_->destination,
                           [weak, queue = d_->queue](const QString& oldOwner, const QString& newOwner) {
                               queue->async([weak, oldOwner, newOwner] {
                                   if (auto self = weak.lock()) {
                                       self->ownerChanged(oldOwner, newOwner);
                                   }
                               });
                           });
    }
    for (auto& work : std::exchange(d_->held, {})) {
        work.run();
    }
    if (d_->kind != Kind::Accepted) {
        std::lock_guard lock(d_->callsMutex);
        d_->sendsDirectly = true;
    }
}

void XPCConnection::invalidate() {
    d_->invalidating = true;
    if (d_->queue->isCurrent()) {
        finishInvalidation();
        return;
    }
    d_->queue->async([self = shared_from_this()] { self->finishInvalidation(); });
}

void XPCConnection::finishInvalidation() {
    Q_ASSERT(d_->queue->isCurrent());
    if (d_->invalidated) {
        return;
    }
    d_->invalidating = true;
    d_->invalidated = true;
    {
        std::lock_guard lock(d_->callsMutex);
        d_->sendsDirectly = false;
    }
    // Held work sees the invalidation: calls end in their error handlers,
    // messages are answered with the error.
    for (auto& work : std::exchange(d_->held, {})) {
        work.run();
    }
    if (d_->bus && d_->kind != Kind::Accepted) {
        d_->bus->close();
    }
    std::map<std::uint64_t, Private::PendingCall> pendingCalls;
    {
        std::lock_guard lock(d_->callsMutex);
        pendingCalls = std::exchange(d_->pendingCalls, {});
    }
    for (const auto& [id, call] : pendingCalls) {
        call.errorHandler(makeError(ConnectionInvalid, QStringLiteral("The connection was invalidated")));
    }
    if (auto handler = std::exchange(d_->invalidationHandler, nullptr)) {
        handler();
    }
    // Let go of what the owner's blocks hold: they often hold the owner.
    d_->interruptionHandler = nullptr;
    d_->exportedObject = nullptr;
    if (auto onInvalidated = std::exchange(d_->onInvalidated, nullptr)) {
        onInvalidated();
    }
}

void XPCConnection::ownerChanged(const QString& oldOwner, const QString& newOwner) {
    Q_ASSERT(d_->queue->isCurrent());
    if (d_->invalidating || oldOwner.isEmpty()) {
        return;
    }
    if (d_->kind == Kind::Endpoint) {
        // A unique name never comes back: the listener is gone for good.
        (void)newOwner;
        finishInvalidation();
        return;
    }
    if (d_->interruptionHandler) {
        d_->interruptionHandler();
    }
}

void XPCConnection::send(const QString& selector, const QList<Value>& arguments,
                         std::function<void(const QList<Value>&)> reply,
                         std::function<void(const Error&)> errorHandler) {
    Q_ASSERT(d_->kind != Kind::Accepted);
    Q_ASSERT(d_->remoteInterface.hasSelector(selector));
    Q_ASSERT(d_->remoteInterface.argumentCount(selector) == arguments.size());
    Error error(QString(), 0);
    auto archives = archive(arguments, &error);
    if (!archives) {
        d_->queue->async([errorHandler = std::move(errorHandler), error] { errorHandler(error); });
        return;
    }
    QDBusMessage message =
        QDBusMessage::createMethodCall(d_->destination, d_->path, DBusInterface, DBusMember);
    // Lets the bus start the service on demand.
    message.setAutoStartService(true);
    message << selector << QVariant::fromValue(*archives);
    {
        std::lock_guard lock(d_->callsMutex);
        if (d_->sendsDirectly && d_->queuedCalls == 0) {
            startCall(selector, message, std::move(reply), std::move(errorHandler));
            return;
        }
        ++d_->queuedCalls;
    }
    d_->queue->async([self = shared_from_this(), selector, message, reply = std::move(reply),
                      errorHandler = std::move(errorHandler)]() mutable {
        {
            std::lock_guard lock(self->d_->callsMutex);
            --self->d_->queuedCalls;
        }
        self->dispatch(selector, message, std::move(reply), std::move(errorHandler));
    });
}

void XPCConnection::dispatch(const QString& selector, const QDBusMessage& message,
                             std::function<void(const QList<Value>&)> reply,
                             std::function<void(const Error&)> errorHandler) {
    Q_ASSERT(d_->queue->isCurrent());
    if (d_->invalidating) {
        errorHandler(makeError(ConnectionInvalid, QStringLiteral("The connection was invalidated")));
        return;
    }
    if (!d_->resumed) {
        std::function<void(const Error&)> abandon = errorHandler;
        d_->held.push_back({[this, selector, message, reply = std::move(reply),
                             errorHandler = std::move(errorHandler)]() mutable {
                                dispatch(selector, message, std::move(reply), std::move(errorHandler));
                            },
                            std::move(abandon)});
        return;
    }
    std::lock_guard lock(d_->callsMutex);
    startCall(selector, message, std::move(reply), std::move(errorHandler));
}

void XPCConnection::startCall(const QString& selector, const QDBusMessage& message,
                              std::function<void(const QList<Value>&)> reply,
                              std::function<void(const Error&)> errorHandler) {
    // Sent under the lock, so that an invalidation either finds the call
    // pending or stops it from leaving.
    const std::uint64_t id = d_->nextCall++;
    d_->pendingCalls.emplace(id, Private::PendingCall{selector, std::move(reply), std::move(errorHandler)});
    std::weak_ptr<XPCConnection> weak = weak_from_this();
    d_->bus->call(message, [weak, queue = d_->queue, id](const QDBusMessage& answer) {
        queue->async([weak, id, answer] {
            if (auto self = weak.lock()) {
                self->complete(id, answer);
            }
        });
    });
}

void XPCConnection::complete(std::uint64_t call, const QDBusMessage& reply) {
    Q_ASSERT(d_->queue->isCurrent());
    if (d_->invalidating) {
        // The invalidation's own work ends every pending call.
        return;
    }
    std::optional<Private::PendingCall> found;
    {
        std::lock_guard lock(d_->callsMutex);
        auto it = d_->pendingCalls.find(call);
        if (it == d_->pendingCalls.end()) {
            return;
        }
        found = std::move(it->second);
        d_->pendingCalls.erase(it);
    }
    Private::PendingCall pending = std::move(*found);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        auto [error, unreachable] = errorOfReply(reply);
        pending.errorHandler(error);
        if (unreachable) {
            finishInvalidation();
        }
        return;
    }
    if (reply.service() != d_->peer) {
        // A new owner of the service: learn who it is, and end the
        // connection should it run as another user.
        d_->peer = reply.service();
        std::weak_ptr<XPCConnection> weak = weak_from_this();
        d_->bus->askCredentials(
            d_->peer, [weak, queue = d_->queue, peer = d_->peer](const auto& credentials) {
                queue->async([weak, peer, credentials] {
                    auto self = weak.lock();
                    if (!self || self->d_->invalidating || self->d_->peer != peer || !credentials) {
                        return;
                    }
                    self->d_->processIdentifier = credentials->processIdentifier;
                    self->d_->userIdentifier = credentials->userIdentifier;
                    if (credentials->userIdentifier != ::geteuid()) {
                        self->finishInvalidation();
                    }
                });
            });
    }
    const auto replyCount = d_->remoteInterface.replyArgumentCount(pending.selector);
    if (!replyCount) {
        return;
    }
    QString refusal;
    std::optional<QList<Value>> values;
    if (auto archives = archivesOf(reply, XPCWire::ReplySignature, 0)) {
        values = unarchive(d_->remoteInterface, pending.selector, true, *replyCount, *archives, &refusal);
    } else {
        refusal = QStringLiteral("The reply to “%1” has the signature “%2”")
                      .arg(pending.selector, reply.signature());
    }
    if (!values) {
        pending.errorHandler(makeError(ReplyInvalid, refusal));
        return;
    }
    if (pending.reply) {
        pending.reply(*values);
    }
}

void XPCConnection::receive(const QDBusMessage& message) {
    d_->queue->async([self = shared_from_this(), message] {
        if (!self->d_->resumed && !self->d_->invalidating) {
            self->d_->held.push_back({[self = self.get(), message] { self->deliver(message); }, nullptr});
            return;
        }
        self->deliver(message);
    });
}

void XPCConnection::deliver(const QDBusMessage& message) {
    Q_ASSERT(d_->queue->isCurrent());
    if (d_->invalidating) {
        replyWithError(d_->bus->connection(), message, XPCWire::ConnectionInvalidError,
                       QStringLiteral("The connection was invalidated"));
        return;
    }
    handle(message);
}

void XPCConnection::handle(const QDBusMessage& message) {
    Q_ASSERT(d_->queue->isCurrent());
    const QDBusConnection connection = d_->bus->connection();
    auto refuse = [&](const QString& text) {
        replyWithError(connection, message, XPCWire::InvalidMessageError, text);
    };
    if (message.interface() != DBusInterface || message.member() != DBusMember) {
        replyWithError(connection, message, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                       QStringLiteral("Only %1.%2 is served here").arg(DBusInterface, DBusMember));
        return;
    }
    auto archives = archivesOf(message, XPCWire::CallSignature, 1);
    if (!archives) {
        refuse(QStringLiteral("A message must have the signature “%1”, not “%2”")
                   .arg(XPCWire::CallSignature, message.signature()));
        return;
    }
    const QString selector = message.arguments().constFirst().toString();
    const XPCInterface& interface = d_->exportedInterface;
    if (!interface.hasSelector(selector)) {
        refuse(
            QStringLiteral("“%1” is not part of the protocol “%2”").arg(selector, interface.protocolName()));
        return;
    }
    QString refusal;
    auto arguments =
        unarchive(interface, selector, false, interface.argumentCount(selector), *archives, &refusal);
    if (!arguments) {
        refuse(refusal);
        return;
    }
    if (!d_->exportedObject) {
        replyWithError(connection, message, XPCWire::ConnectionInvalidError,
                       QStringLiteral("Nothing is exported here"));
        return;
    }
    XPCReply reply;
    if (interface.replyArgumentCount(selector)) {
        // Replies may be sent from any thread, also after this connection
        // ends; the bus connection outlives them all.
        reply = XPCReply([bus = d_->bus, message](const QList<Value>* values) {
            if (!values) {
                replyWithError(bus->connection(), message, XPCWire::ReplyDroppedError,
                               QStringLiteral("The service dropped the reply without sending it"));
                return;
            }
            Error error(QString(), 0);
            auto archives = archive(*values, &error);
            if (!archives) {
                replyWithError(bus->connection(), message, XPCWire::ReplyInvalidError,
                               error.localizedDescription());
                return;
            }
            bus->connection().send(message.createReply(QVariant::fromValue(*archives)));
        });
    } else {
        connection.send(message.createReply(QVariant::fromValue(QList<QByteArray>())));
    }
    d_->exportedObject->invokeSelector(selector, *arguments, std::move(reply));
}

} // namespace platform
