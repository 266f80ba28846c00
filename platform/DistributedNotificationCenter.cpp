#include "DistributedNotificationCenter.h"

#include "DispatchQueue.h"
#include "DistributedNotificationRelay.h"
#include "PropertyList.h"
#include "SanitizerAnnotations.h"
#include "ScopedBlockingCall.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

// How the signals reach us.
//
// QtDBus hands a signal to a slot by posting an event to the thread of the
// receiving QObject, so that thread must run a Qt event loop. Without a
// QCoreApplication (tests, command-line programs) Qt 6 refuses to run the
// event loop of an ordinary QThread: QEventLoop warns "Cannot be used without
// QApplication" and posted events are dropped. A thread of our own would
// therefore only work in programs with an application object. QtDBus itself
// runs every connection in a thread of its own that is exempt from that rule
// and runs whether or not an application exists; the bus-service object
// (`QDBusConnection::interface()`) is created there. The relay is moved to
// that thread, and the center checks once, with a blocking call, that the
// thread really serves it. The relay's slot only reads the message header
// and hands it to our serial queue, so it never holds up QtDBus.
//
// The relay is never deleted while its signal hook may exist: QtDBus watches
// a receiver's destruction through a blocking queued connection into its own
// thread, which would deadlock if the relay were destroyed there, and
// destroying it from another thread could race a delivery under way. The
// center is made once per process and kept, so this costs one small object.
//
// One signal hook (path, interface and member, any sender) serves every
// observer; names and objects are compared in our code. Qt's argument
// matching copies the values into the bus's match rules without escaping
// them, so it cannot carry arbitrary names, and one hook per filter would
// deliver a signal once per matching hook to the same relay. The hook is
// connected only while at least one observer exists, so a process without
// observers is not woken by other processes' notifications; observers whose
// filters do not match are never woken.

namespace platform {

const QString DistributedNotificationCenter::ErrorDomain =
    QStringLiteral("com.kestrel.DistributedNotificationCenter");
const QString DistributedNotificationCenter::DBusPath =
    QStringLiteral("/com/kestrel/DistributedNotification");
const QString DistributedNotificationCenter::DBusInterface =
    QStringLiteral("com.kestrel.DistributedNotification");
const QString DistributedNotificationCenter::DBusMember = QStringLiteral("Post");

namespace {

const QString kConnectionName = QStringLiteral("com.kestrel.DistributedNotificationCenter");
const QString kSignature = QStringLiteral("ssay");
constexpr std::chrono::milliseconds kRegistrationTimeout = std::chrono::seconds(10);

void setError(Error* error, std::int64_t code, const QString& description,
              const std::optional<Error>& underlying = std::nullopt) {
    if (!error) {
        return;
    }
    Value::Dictionary userInfo{{NSLocalizedDescriptionKey, description}};
    if (underlying) {
        userInfo.insert(NSUnderlyingErrorKey, *underlying);
    }
    *error = Error(DistributedNotificationCenter::ErrorDomain, code, userInfo);
}

// D-Bus strings are UTF-8 without NUL characters, and libplist takes its
// strings as C strings: anything else would arrive changed.
bool travelsUnchanged(const QString& text) {
    return !text.contains(QChar(u'\0')) && text.isValidUtf16();
}

QString quoted(const QString& keyPath) {
    return QStringLiteral("“%1”").arg(keyPath);
}

// Why a user-info value cannot travel exactly as a property list, or nothing
// when it can. URLs, UUIDs and sets would arrive as strings and arrays, so
// they are refused like the values a property list cannot hold at all.
std::optional<QString> untransportable(const Value& value, const QString& keyPath) {
    switch (value.kind()) {
    case Value::Kind::Bool:
    case Value::Kind::Integer:
    case Value::Kind::Double:
    case Value::Kind::Data:
    case Value::Kind::Date:
        return std::nullopt;
    case Value::Kind::Unsigned:
        // The property-list reader answers signed 64-bit integers.
        if (value.toUnsigned() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return QStringLiteral("%1 is an integer beyond the signed 64-bit range").arg(quoted(keyPath));
        }
        return std::nullopt;
    case Value::Kind::String:
        if (!travelsUnchanged(value.toString())) {
            return QStringLiteral("%1 is a string with a NUL character or broken UTF-16")
                .arg(quoted(keyPath));
        }
        return std::nullopt;
    case Value::Kind::Array: {
        const auto& elements = value.toArray();
        for (qsizetype i = 0; i < elements.size(); ++i) {
            if (auto reason = untransportable(elements[i], QStringLiteral("%1[%2]").arg(keyPath).arg(i))) {
                return reason;
            }
        }
        return std::nullopt;
    }
    case Value::Kind::Dictionary: {
        const auto& entries = value.toDictionary();
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            const QString path = keyPath.isEmpty() ? it.key() : keyPath + u'.' + it.key();
            if (!travelsUnchanged(it.key())) {
                return QStringLiteral("the key %1 has a NUL character or broken UTF-16").arg(quoted(path));
            }
            if (auto reason = untransportable(it.value(), path)) {
                return reason;
            }
        }
        return std::nullopt;
    }
    case Value::Kind::Null:
        return QStringLiteral("%1 is null").arg(quoted(keyPath));
    case Value::Kind::URL:
        return QStringLiteral("%1 is a URL").arg(quoted(keyPath));
    case Value::Kind::UUID:
        return QStringLiteral("%1 is a UUID").arg(quoted(keyPath));
    case Value::Kind::Set:
        return QStringLiteral("%1 is a set").arg(quoted(keyPath));
    case Value::Kind::Object:
        return QStringLiteral("%1 is an object").arg(quoted(keyPath));
    case Value::Kind::Error:
        return QStringLiteral("%1 is an error").arg(quoted(keyPath));
    }
    return QStringLiteral("%1 is of an unknown kind").arg(quoted(keyPath));
}

std::optional<Value::Dictionary> decodeUserInfo(const QByteArray& bytes) {
    // Only the binary form is ours; PropertyList would also read XML.
    if (!bytes.startsWith("bplist00")) {
        return std::nullopt;
    }
    const auto value = PropertyList::read(bytes);
    if (!value || value->kind() != Value::Kind::Dictionary) {
        return std::nullopt;
    }
    return value->toDictionary();
}

// Asks the bus for its identifier and waits for the answer. The bus handles
// the messages of one connection in order, so once it answers it has taken
// everything this connection sent before: posted signals and added match
// rules.
bool roundTrip(const QDBusConnection& connection, std::chrono::milliseconds timeout, Error* error) {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
    const auto milliseconds = std::clamp<std::int64_t>(timeout.count(), 0, std::numeric_limits<int>::max());
    ScopedBlockingCall blocking;
    const QDBusMessage reply = connection.call(call, QDBus::Block, static_cast<int>(milliseconds));
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return true;
    }
    setError(error, DistributedNotificationCenter::BusConnectionError,
             QStringLiteral("The D-Bus session bus did not answer: %1").arg(reply.errorMessage()));
    return false;
}

} // namespace

// An observer: its filter, its queue and its block. Removal and delivery
// meet here from different threads (the block runs on the observer's queue,
// removal on the caller's), and removal must be able to wait for a call
// under way, which a queue cannot express: hence the mutex, held while the
// block runs.
class DistributedNotificationCenter::ObserverToken {
public:
    ObserverToken(std::uint64_t id, QString name, QString object, std::shared_ptr<DispatchQueue> queue,
                  std::function<void(const Notification&)> block)
        : id(id), name(std::move(name)), object(std::move(object)), queue(std::move(queue)),
          block_(std::move(block)) {}

    bool matches(const QString& notificationName, const QString& notificationObject) const {
        return (name.isEmpty() || name == notificationName) &&
               (object.isEmpty() || object == notificationObject);
    }

    // Runs on the observer's queue.
    void deliver(const Notification& notification) {
        std::lock_guard lock(callMutex_);
        if (!active_) {
            return;
        }
        runningBlocks().push_back(this);
        block_(notification);
        runningBlocks().pop_back();
        if (!active_) {
            // Removed from inside its own block: let go of what it holds now that it has returned.
            block_ = nullptr;
        }
    }

    void deactivate() {
        const auto& running = runningBlocks();
        if (std::find(running.begin(), running.end(), this) != running.end()) {
            // Called from this very block, which holds the mutex: deliver() lets go of it on return.
            active_ = false;
            return;
        }
        if (!running.empty()) {
            std::unique_lock lock(callMutex_, std::try_to_lock);
            active_ = false;
            if (lock.owns_lock()) {
                block_ = nullptr;
            }
            return;
        }
        std::lock_guard lock(callMutex_);
        active_ = false;
        block_ = nullptr;
    }

    const std::uint64_t id;
    const QString name;
    const QString object;
    const std::shared_ptr<DispatchQueue> queue;

private:
    // The observer blocks running on this thread, innermost last (a block
    // can run another queue's work inline through a synchronous call).
    static std::vector<const ObserverToken*>& runningBlocks() {
        thread_local std::vector<const ObserverToken*> blocks;
        return blocks;
    }

    std::mutex callMutex_;
    std::atomic<bool> active_{true};
    std::function<void(const Notification&)> block_;
};

struct DistributedNotificationCenter::Private {
    explicit Private(QDBusConnection busConnection)
        : connection(std::move(busConnection)),
          queue(
              DispatchQueue::make(QStringLiteral("com.kestrel.DistributedNotificationCenter.internal-queue"),
                                  {false, QualityOfService::Utility})) {}

    bool connectRelay() {
        return connection.connect(QString(), DBusPath, DBusInterface, DBusMember, relay,
                                  SLOT(receive(QDBusMessage)));
    }
    void disconnectRelay() {
        connection.disconnect(QString(), DBusPath, DBusInterface, DBusMember, relay,
                              SLOT(receive(QDBusMessage)));
    }

    // QDBusConnection is thread-safe: posting uses it from any thread.
    QDBusConnection connection;
    // Lives in QtDBus's connection thread; see the top of this file.
    DistributedNotificationRelay* relay = nullptr;
    const std::shared_ptr<DispatchQueue> queue;

    // On `queue`:
    std::map<std::uint64_t, std::shared_ptr<ObserverToken>> observers;
    std::uint64_t nextObserverID = 1;
    bool relayConnected = false;
};

DistributedNotificationCenter::DistributedNotificationCenter(std::unique_ptr<Private> d) : d_(std::move(d)) {}

DistributedNotificationCenter::~DistributedNotificationCenter() {
    // Only reached when making the center failed half-way; the process's
    // center is never destroyed. The relay stays, see the top of this file.
    if (d_->relayConnected) {
        d_->disconnectRelay();
    }
}

std::shared_ptr<DistributedNotificationCenter> DistributedNotificationCenter::defaultCenter(Error* error) {
    // Callers on any thread may race to make the center before any queue of
    // ours exists; the lock makes sure only one is made. Both are kept for
    // the life of the process (the center outlives static destructors that
    // may still post).
    static auto* mutex = new std::mutex;
    static auto* center = new std::shared_ptr<DistributedNotificationCenter>;
    std::lock_guard lock(*mutex);
    if (!*center) {
        *center = make(error);
    }
    return *center;
}

std::shared_ptr<DistributedNotificationCenter> DistributedNotificationCenter::make(Error* error) {
    QDBusConnection connection = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnectionName);
    if (!connection.isConnected()) {
        const QString detail = connection.lastError().message();
        // QtDBus keeps even a failed connection under its name; forget it so
        // that a later call tries again.
        connection = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(kConnectionName);
        QString description = QStringLiteral(
            "No D-Bus session bus: DBUS_SESSION_BUS_ADDRESS is not set or the bus cannot be reached");
        if (!detail.isEmpty()) {
            description += QStringLiteral(" (%1)").arg(detail);
        }
        setError(error, NoSessionBusError, description);
        return nullptr;
    }

    QObject* busService = connection.interface();
    QThread* busThread = busService ? busService->thread() : nullptr;
    std::shared_ptr<DistributedNotificationCenter> center(
        new DistributedNotificationCenter(std::make_unique<Private>(connection)));
    std::weak_ptr<DistributedNotificationCenter> weakCenter = center;
    auto relay = std::make_unique<DistributedNotificationRelay>([weakCenter](const QDBusMessage& message) {
        if (message.signature() != kSignature) {
            return;
        }
        const QList<QVariant> arguments = message.arguments();
        if (auto strongCenter = weakCenter.lock()) {
            strongCenter->receive(arguments[0].toString(), arguments[1].toString(),
                                  arguments[2].toByteArray());
        }
    });
    bool served = false;
    if (busThread && busThread != QThread::currentThread() && busThread->isRunning()) {
        // Everything the relay holds was made here; Qt hands it to that
        // thread in a way ThreadSanitizer cannot see.
        annotateHappensBefore(relay.get());
        relay->moveToThread(busThread);
        // Without an event loop in that thread the call's event would be
        // dropped and the relay never say it serves.
        ScopedBlockingCall blocking;
        QMetaObject::invokeMethod(relay.get(), "confirmServing", Qt::BlockingQueuedConnection);
        served = relay->isServing();
    }
    if (!served) {
        center.reset();
        relay.reset();
        connection = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(kConnectionName);
        setError(error, BusConnectionError,
                 QStringLiteral("The D-Bus connection has no running thread to deliver signals to"));
        return nullptr;
    }
    center->d_->relay = relay.release();
    return center;
}

bool DistributedNotificationCenter::postNotificationName(const QString& name, const QString& object,
                                                         const Value::Dictionary& userInfo,
                                                         bool deliverImmediately, Error* error) {
    (void)deliverImmediately; // see the header
    const QString refusal = QStringLiteral("The notification “%1” cannot be posted: %2");
    if (name.isEmpty()) {
        setError(error, InvalidNotificationError,
                 QStringLiteral("A notification cannot be posted without a name"));
        return false;
    }
    if (!travelsUnchanged(name) || !travelsUnchanged(object)) {
        setError(
            error, InvalidNotificationError,
            refusal.arg(name, QStringLiteral("its name or object has a NUL character or broken UTF-16")));
        return false;
    }
    if (auto reason = untransportable(Value(userInfo), QString())) {
        setError(error, InvalidNotificationError,
                 refusal.arg(name,
                             QStringLiteral("in its user info, %1, which a property list cannot hold exactly")
                                 .arg(*reason)));
        return false;
    }
    Error encodingError(QString(), 0);
    const auto bytes = PropertyList::write(Value(userInfo), PropertyList::Format::Binary, &encodingError);
    if (!bytes) {
        setError(error, InvalidNotificationError,
                 refusal.arg(name, QStringLiteral("its user info cannot be written as a property list")),
                 encodingError);
        return false;
    }
    if (bytes->size() > MaximumUserInfoSize) {
        setError(error, InvalidNotificationError,
                 refusal.arg(name, QStringLiteral("its user info takes %1 bytes, more than the %2 allowed")
                                       .arg(bytes->size())
                                       .arg(MaximumUserInfoSize)));
        return false;
    }

    QDBusMessage signal = QDBusMessage::createSignal(DBusPath, DBusInterface, DBusMember);
    signal << name << object << *bytes;
    if (!d_->connection.send(signal)) {
        setError(error, BusConnectionError,
                 refusal.arg(name, QStringLiteral("the session bus connection refused it (%1)")
                                       .arg(d_->connection.lastError().message())));
        return false;
    }
    return true;
}

bool DistributedNotificationCenter::flushPostedNotifications(std::chrono::milliseconds timeout,
                                                             Error* error) {
    return roundTrip(d_->connection, timeout, error);
}

std::shared_ptr<DistributedNotificationCenter::ObserverToken>
DistributedNotificationCenter::addObserver(const QString& name, const QString& object,
                                           std::shared_ptr<DispatchQueue> queue,
                                           std::function<void(const Notification&)> block, Error* error) {
    if (!queue) {
        queue = DispatchQueue::main();
    }
    std::shared_ptr<ObserverToken> token;
    d_->queue->sync([&] {
        if (!d_->relayConnected) {
            if (!d_->connectRelay()) {
                setError(error, BusConnectionError,
                         QStringLiteral("Cannot listen on the D-Bus session bus: %1")
                             .arg(d_->connection.lastError().message()));
                return;
            }
            d_->relayConnected = true;
            // The match rule travels ahead of this call: once the bus has
            // answered, it routes every later notification to us.
            if (!roundTrip(d_->connection, kRegistrationTimeout, error)) {
                d_->disconnectRelay();
                d_->relayConnected = false;
                return;
            }
        }
        token = std::make_shared<ObserverToken>(d_->nextObserverID++, name, object, std::move(queue),
                                                std::move(block));
        d_->observers.emplace(token->id, token);
    });
    return token;
}

void DistributedNotificationCenter::removeObserver(const std::shared_ptr<ObserverToken>& observer) {
    if (!observer) {
        return;
    }
    observer->deactivate();
    d_->queue->sync([&] {
        if (d_->observers.erase(observer->id) && d_->observers.empty() && d_->relayConnected) {
            d_->disconnectRelay();
            d_->relayConnected = false;
        }
    });
}

void DistributedNotificationCenter::receive(const QString& name, const QString& object,
                                            const QByteArray& userInfo) {
    // Called on QtDBus's thread: hand over at once, in arrival order.
    d_->queue->async([self = shared_from_this(), name, object, userInfo] {
        std::vector<std::shared_ptr<ObserverToken>> matching;
        for (const auto& [id, observer] : self->d_->observers) {
            if (observer->matches(name, object)) {
                matching.push_back(observer);
            }
        }
        if (matching.empty()) {
            return;
        }
        // A payload that is not ours (another program speaking on this
        // interface) is dropped rather than delivered half-read.
        auto decoded = decodeUserInfo(userInfo);
        if (!decoded) {
            return;
        }
        const Notification notification(name, object, std::move(*decoded));
        for (const auto& observer : matching) {
            observer->queue->async([observer, notification] { observer->deliver(notification); });
        }
    });
}

} // namespace platform
