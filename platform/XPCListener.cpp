#include "XPCListener.h"

#include "DispatchQueue.h"
#include "XPCBusConnection.h"
#include "XPCConnection.h"
#include "XPCListenerEndpoint.h"
#include "XPCWire.h"

#include <QAtomicInteger>
#include <QDBusMessage>
#include <QRegularExpression>

#include <map>
#include <vector>

#include <unistd.h>

// Where state lives: everything below `queue` in Private is read and
// written on the listener's serial queue only. Messages arrive on QtDBus's
// thread and hop onto it; each peer's messages then go, in order, to its
// accepted connection, whose own queue runs the delegate and the exported
// object.
//
// A peer is known by its unique bus name. Its first message starts a watch
// on that name (so its end is seen) and then one question to the bus about
// its credentials; messages that arrive meanwhile wait. The answer is kept
// for as long as the peer stays on the bus.

namespace platform {

const QString XPCListener::ErrorDomain = QStringLiteral("com.kestrel.XPCListener");

namespace {

Error listenerError(std::int64_t code, const QString& description) {
    return Error(XPCListener::ErrorDomain, code, {{NSLocalizedDescriptionKey, description}});
}

bool isValidWellKnownName(const QString& name) {
    static const QRegularExpression pattern(
        QStringLiteral("^[A-Za-z_-][A-Za-z0-9_-]*(\\.[A-Za-z_-][A-Za-z0-9_-]*)+$"));
    return name.size() <= 255 && pattern.match(name).hasMatch();
}

QDBusMessage busMethod(const QString& member) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                          QStringLiteral("/org/freedesktop/DBus"),
                                          QStringLiteral("org.freedesktop.DBus"), member);
}

void refuse(const QDBusConnection& connection, const QDBusMessage& message, const QString& name,
            const QString& text) {
    if (message.isReplyRequired()) {
        connection.send(message.createErrorReply(name, text));
    }
}

} // namespace

struct XPCListener::Private {
    struct Peer {
        enum class State { Checking, Accepted, Closed };
        State state = State::Checking;
        std::vector<QDBusMessage> waiting;
        std::shared_ptr<XPCConnection> connection;
    };

    Private(QString serviceName, QString path)
        : serviceName(std::move(serviceName)), path(std::move(path)),
          queue(DispatchQueue::make(QStringLiteral("com.kestrel.XPCListener"),
                                    {false, QualityOfService::Utility})) {}

    const QString serviceName;
    const QString path;
    const std::shared_ptr<DispatchQueue> queue;

    // On `queue`:
    std::weak_ptr<XPCListenerDelegate> delegate;
    std::shared_ptr<XPCBusConnection> bus;
    std::shared_ptr<XPCListenerEndpoint> endpoint;
    bool resumed = false;
    bool invalidated = false;
    std::vector<QDBusMessage> held;
    // Anonymous listeners, once closed: the process's shared connection, on
    // which messages already under way are still answered (a named
    // listener's own connection closes, and the bus answers for it).
    std::shared_ptr<XPCBusConnection> closedSharedBus;
    std::map<QString, Peer> peers;

    void receive(const std::shared_ptr<XPCListener>& listener, const QDBusMessage& message);
    void checked(const std::shared_ptr<XPCListener>& listener, const QString& peer,
                 const std::optional<XPCBusConnection::Credentials>& credentials);
    void peerGone(const QString& peer);
    void close();
};

XPCListener::XPCListener(std::unique_ptr<Private> d) : d_(std::move(d)) {}

XPCListener::~XPCListener() {
    d_->close();
}

std::shared_ptr<XPCListener> XPCListener::makeWithMachServiceName(const QString& serviceName) {
    return std::shared_ptr<XPCListener>(
        new XPCListener(std::make_unique<Private>(serviceName, XPCWire::ServicePath)));
}

std::shared_ptr<XPCListener> XPCListener::anonymousListener() {
    static QAtomicInteger<quint64> counter;
    auto listener = std::shared_ptr<XPCListener>(new XPCListener(
        std::make_unique<Private>(QString(), XPCWire::AnonymousPathPrefix + QString::number(++counter))));
    // The endpoint exists from the start, so the listener is reachable from
    // now on; its messages wait for `resume`.
    listener->d_->queue->sync([&] {
        auto bus = XPCBusConnection::process(nullptr);
        if (!bus || !listener->listen(bus)) {
            return;
        }
        listener->d_->endpoint = XPCListenerEndpoint::make(bus->uniqueName(), listener->d_->path);
    });
    return listener;
}

bool XPCListener::listen(const std::shared_ptr<XPCBusConnection>& bus) {
    Q_ASSERT(d_->queue->isCurrent());
    std::weak_ptr<XPCListener> weak = weak_from_this();
    const bool registered =
        bus->registerObject(d_->path, [weak, queue = d_->queue](const QDBusMessage& message) {
            queue->async([weak, message] {
                if (auto self = weak.lock()) {
                    self->d_->receive(self, message);
                }
            });
        });
    if (registered) {
        d_->bus = bus;
    }
    return registered;
}

void XPCListener::setDelegate(std::weak_ptr<XPCListenerDelegate> delegate) {
    d_->queue->sync([&] { d_->delegate = std::move(delegate); });
}

std::shared_ptr<XPCListenerEndpoint> XPCListener::endpoint() const {
    std::shared_ptr<XPCListenerEndpoint> endpoint;
    d_->queue->sync([&] { endpoint = d_->endpoint; });
    return endpoint;
}

bool XPCListener::resume(Error* error) {
    bool resumed = false;
    Error failure(QString(), 0);
    d_->queue->sync([&] {
        if (d_->invalidated) {
            failure = listenerError(NoSessionBusError, QStringLiteral("The listener was invalidated"));
            return;
        }
        if (d_->resumed) {
            resumed = true;
            return;
        }
        if (d_->serviceName.isEmpty()) {
            if (!d_->bus) {
                failure = listenerError(NoSessionBusError,
                                        QStringLiteral("No D-Bus session bus for the anonymous listener"));
                return;
            }
        } else {
            if (!isValidWellKnownName(d_->serviceName)) {
                failure = listenerError(InvalidNameError,
                                        QStringLiteral("“%1” is not a valid bus name").arg(d_->serviceName));
                return;
            }
            Error busError(QString(), 0);
            auto bus = XPCBusConnection::open(&busError);
            if (!bus) {
                failure = listenerError(NoSessionBusError, busError.localizedDescription());
                return;
            }
            if (!listen(bus)) {
                failure = listenerError(NoSessionBusError,
                                        QStringLiteral("The listener's object cannot be registered"));
                bus->close();
                return;
            }
            // Never queued and never taking the name from its owner: a
            // second server of a service is a mistake to report, not a
            // replacement.
            constexpr uint doNotQueue = 4;
            constexpr uint primaryOwner = 1;
            QDBusMessage request = busMethod(QStringLiteral("RequestName"));
            request << d_->serviceName << doNotQueue;
            const QDBusMessage answer = bus->connection().call(request, QDBus::Block, 25000);
            if (answer.type() != QDBusMessage::ReplyMessage ||
                answer.arguments().value(0).toUInt() != primaryOwner) {
                // Only an answer says another process owns the name; an
                // error (the bus's policy, or no answer in time) is no owner.
                const bool taken = answer.type() == QDBusMessage::ReplyMessage;
                const QString detail =
                    taken ? QStringLiteral("another process owns it") : answer.errorMessage();
                failure = listenerError(taken ? NameTakenError : NameRefusedError,
                                        QStringLiteral("The service name “%1” cannot be claimed: %2")
                                            .arg(d_->serviceName, detail));
                d_->bus = nullptr;
                bus->close();
                return;
            }
        }
        d_->resumed = true;
        resumed = true;
        auto self = shared_from_this();
        for (const auto& message : std::exchange(d_->held, {})) {
            d_->receive(self, message);
        }
    });
    if (!resumed && error) {
        *error = failure;
    }
    return resumed;
}

void XPCListener::invalidate() {
    d_->queue->sync([&] { d_->close(); });
}

void XPCListener::Private::close() {
    if (invalidated) {
        return;
    }
    invalidated = true;
    const auto refuseClosed = [&](const QDBusMessage& message) {
        if (bus) {
            refuse(bus->connection(), message, XPCWire::ConnectionInvalidError,
                   QStringLiteral("The listener was invalidated"));
        }
    };
    for (const QDBusMessage& message : std::exchange(held, {})) {
        refuseClosed(message);
    }
    for (auto& [name, peer] : std::exchange(peers, {})) {
        for (const QDBusMessage& message : std::exchange(peer.waiting, {})) {
            refuseClosed(message);
        }
        if (peer.connection) {
            peer.connection->invalidate();
        }
        if (bus) {
            bus->unwatchName(name);
        }
    }
    if (!bus) {
        return;
    }
    if (serviceName.isEmpty()) {
        bus->unregisterObject(path);
        closedSharedBus = bus;
    } else {
        // Leaving the bus gives the name up.
        bus->close();
    }
    bus = nullptr;
}

void XPCListener::Private::receive(const std::shared_ptr<XPCListener>& listener,
                                   const QDBusMessage& message) {
    Q_ASSERT(queue->isCurrent());
    if (invalidated) {
        if (closedSharedBus) {
            refuse(closedSharedBus->connection(), message, XPCWire::ConnectionInvalidError,
                   QStringLiteral("The listener was invalidated"));
        }
        return;
    }
    if (!resumed) {
        held.push_back(message);
        return;
    }
    const QString name = message.service();
    auto it = peers.find(name);
    if (it == peers.end()) {
        Peer& peer = peers[name];
        peer.waiting.push_back(message);
        // The watch goes first: should the peer leave before the bus
        // answers, the question fails or the watch tells.
        std::weak_ptr<XPCListener> weak = listener;
        bus->watchName(name, [weak, queue = queue, name](const QString&, const QString& newOwner) {
            if (newOwner.isEmpty()) {
                queue->async([weak, name] {
                    if (auto self = weak.lock()) {
                        self->d_->peerGone(name);
                    }
                });
            }
        });
        bus->askCredentials(name, [weak, queue = queue, name](const auto& credentials) {
            queue->async([weak, name, credentials] {
                if (auto self = weak.lock()) {
                    self->d_->checked(self, name, credentials);
                }
            });
        });
        return;
    }
    switch (it->second.state) {
    case Peer::State::Checking:
        it->second.waiting.push_back(message);
        break;
    case Peer::State::Accepted:
        it->second.connection->receive(message);
        break;
    case Peer::State::Closed:
        refuse(bus->connection(), message, XPCWire::ConnectionInvalidError,
               QStringLiteral("The connection was invalidated"));
        break;
    }
}

void XPCListener::Private::checked(const std::shared_ptr<XPCListener>& listener, const QString& name,
                                   const std::optional<XPCBusConnection::Credentials>& credentials) {
    Q_ASSERT(queue->isCurrent());
    auto it = peers.find(name);
    if (invalidated || it == peers.end() || it->second.state != Peer::State::Checking) {
        return;
    }
    Peer& peer = it->second;
    if (!credentials) {
        // The peer left before the bus could answer: nothing waits for the
        // refusals, which are sent all the same.
        for (const auto& message : std::exchange(peer.waiting, {})) {
            refuse(bus->connection(), message, XPCWire::AccessDeniedError,
                   QStringLiteral("The peer's user cannot be established"));
        }
        peerGone(name);
        return;
    }
    if (credentials->userIdentifier != ::geteuid()) {
        peer.state = Peer::State::Closed;
        for (const auto& message : std::exchange(peer.waiting, {})) {
            refuse(bus->connection(), message, XPCWire::AccessDeniedError,
                   QStringLiteral("Peers of another user are refused"));
        }
        return;
    }
    std::weak_ptr<XPCListener> weak = listener;
    auto connection = XPCConnection::makeAccepted(bus, name, credentials->processIdentifier,
                                                  credentials->userIdentifier, [weak, queue = queue, name] {
                                                      queue->async([weak, name] {
                                                          if (auto self = weak.lock()) {
                                                              auto it = self->d_->peers.find(name);
                                                              if (it != self->d_->peers.end()) {
                                                                  it->second.state = Peer::State::Closed;
                                                                  it->second.connection = nullptr;
                                                              }
                                                          }
                                                      });
                                                  });
    peer.state = Peer::State::Accepted;
    peer.connection = connection;
    connection->queue()->async([listener, connection, delegate = delegate] {
        auto strongDelegate = delegate.lock();
        if (!strongDelegate || !strongDelegate->listenerShouldAcceptNewConnection(*listener, connection)) {
            connection->invalidate();
        }
    });
    for (const auto& message : std::exchange(peer.waiting, {})) {
        connection->receive(message);
    }
}

void XPCListener::Private::peerGone(const QString& name) {
    Q_ASSERT(queue->isCurrent());
    auto it = peers.find(name);
    if (it == peers.end()) {
        return;
    }
    if (it->second.connection) {
        it->second.connection->invalidate();
    }
    peers.erase(it);
    if (bus) {
        bus->unwatchName(name);
    }
}

} // namespace platform
