#include "XPCBusConnection.h"

#include "ScopedBlockingCall.h"

#include <QAtomicInteger>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVirtualObject>
#include <QThread>

#include <climits>

#include <unistd.h>

namespace platform {

namespace {

// libdbus takes INT_MAX as "no time-out": a pending call waits until the
// recipient answers or leaves the bus.
constexpr int kInfiniteTimeout = INT_MAX;

class ExportedPath : public QDBusVirtualObject {
public:
    explicit ExportedPath(std::function<void(const QDBusMessage&)> handler) : handler_(std::move(handler)) {}

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
        handler_(message);
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

private:
    const std::function<void(const QDBusMessage&)> handler_;
};

QString newConnectionName() {
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("com.kestrel.XPC.%1.%2").arg(::getpid()).arg(++counter);
}

} // namespace

// The handlers of watched names, read in QtDBus's thread.
struct XPCBusConnection::Watches {
    std::mutex mutex;
    QHash<QString, std::function<void(const QString&, const QString&)>> handlers;
};

XPCBusConnection::XPCBusConnection(QDBusConnection connection, QString connectionName, QObject* context,
                                   QDBusServiceWatcher* watcher, std::shared_ptr<Watches> watches)
    : connection_(connection), uniqueName_(connection.baseService()),
      connectionName_(std::move(connectionName)), watches_(std::move(watches)), context_(context),
      watcher_(watcher) {}

XPCBusConnection::~XPCBusConnection() {
    close();
}

QDBusConnection XPCBusConnection::connection() const {
    std::lock_guard lock(connectionMutex_);
    return connection_;
}

std::shared_ptr<XPCBusConnection> XPCBusConnection::open(Error* error) {
    return connect(newConnectionName(), error);
}

std::shared_ptr<XPCBusConnection> XPCBusConnection::process(Error* error) {
    // Kept for the life of the process: anonymous listeners of any thread
    // share it, and their endpoints name it.
    static auto* mutex = new std::mutex;
    static auto* shared = new std::shared_ptr<XPCBusConnection>;
    std::lock_guard lock(*mutex);
    if (!*shared) {
        *shared = connect(QStringLiteral("com.kestrel.XPC.process"), error);
    }
    return *shared;
}

std::shared_ptr<XPCBusConnection> XPCBusConnection::connect(const QString& connectionName, Error* error) {
    auto fail = [&](const QString& description) -> std::shared_ptr<XPCBusConnection> {
        // QtDBus keeps even a failed connection under its name.
        QDBusConnection::disconnectFromBus(connectionName);
        if (error) {
            *error = Error(NSCocoaErrorDomain, 4099, {{NSLocalizedDescriptionKey, description}});
        }
        return nullptr;
    };
    QDBusConnection connection = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
    if (!connection.isConnected()) {
        const QString detail = connection.lastError().message();
        connection = QDBusConnection(QString());
        return fail(QStringLiteral("No D-Bus session bus: %1").arg(detail));
    }
    QObject* busService = connection.interface();
    QThread* busThread = busService ? busService->thread() : nullptr;
    if (!busThread || busThread == QThread::currentThread() || !busThread->isRunning()) {
        connection = QDBusConnection(QString());
        return fail(QStringLiteral("The D-Bus connection has no running thread of its own"));
    }
    auto* context = new QObject;
    context->moveToThread(busThread);
    // Proves that the thread runs its event loop, which everything here needs.
    bool served = false;
    {
        ScopedBlockingCall blocking;
        QMetaObject::invokeMethod(
            context, [&served] { served = true; }, Qt::BlockingQueuedConnection);
    }
    if (!served) {
        delete context;
        connection = QDBusConnection(QString());
        return fail(QStringLiteral("The D-Bus connection's thread does not deliver events"));
    }
    auto watches = std::make_shared<Watches>();
    auto* watcher = new QDBusServiceWatcher;
    watcher->setConnection(connection);
    watcher->setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, watcher,
                     [watches](const QString& name, const QString& oldOwner, const QString& newOwner) {
                         std::function<void(const QString&, const QString&)> handler;
                         {
                             std::lock_guard lock(watches->mutex);
                             handler = watches->handlers.value(name);
                         }
                         if (handler) {
                             handler(oldOwner, newOwner);
                         }
                     });
    watcher->moveToThread(busThread);
    return std::shared_ptr<XPCBusConnection>(
        new XPCBusConnection(connection, connectionName, context, watcher, std::move(watches)));
}

void XPCBusConnection::destroy(QObject* object) {
    QThread* here = QThread::currentThread();
    Q_ASSERT(object->thread() != here);
    {
        ScopedBlockingCall blocking;
        QMetaObject::invokeMethod(
            object, [object, here] { object->moveToThread(here); }, Qt::BlockingQueuedConnection);
    }
    delete object;
}

void XPCBusConnection::call(const QDBusMessage& message, std::function<void(const QDBusMessage&)> done) {
    std::lock_guard lock(mutex_);
    if (!context_) {
        return;
    }
    // A call still waiting in the context's event queue when `close` deletes
    // the context is dropped with it.
    QMetaObject::invokeMethod(
        context_,
        [connection = connection_, context = context_, message, done = std::move(done)] {
            QDBusPendingCall pending = connection.asyncCall(message, kInfiniteTimeout);
            auto* watcher = new QDBusPendingCallWatcher(pending, context);
            QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                             [done](QDBusPendingCallWatcher* finished) {
                                 done(finished->reply());
                                 finished->deleteLater();
                             });
        },
        Qt::QueuedConnection);
}

void XPCBusConnection::askCredentials(const QString& peer,
                                      std::function<void(const std::optional<Credentials>&)> done) {
    QDBusMessage question = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionCredentials"));
    question << peer;
    call(question, [done = std::move(done)](const QDBusMessage& answer) {
        if (answer.type() != QDBusMessage::ReplyMessage || answer.signature() != QLatin1String("a{sv}")) {
            done(std::nullopt);
            return;
        }
        const auto values = qdbus_cast<QVariantMap>(answer.arguments().constFirst().value<QDBusArgument>());
        bool knowsUser = false;
        bool knowsProcess = false;
        Credentials credentials;
        credentials.userIdentifier = values.value(QStringLiteral("UnixUserID")).toUInt(&knowsUser);
        credentials.processIdentifier =
            static_cast<pid_t>(values.value(QStringLiteral("ProcessID")).toUInt(&knowsProcess));
        done(knowsUser && knowsProcess ? std::optional(credentials) : std::nullopt);
    });
}

void XPCBusConnection::watchName(const QString& name,
                                 std::function<void(const QString&, const QString&)> changed) {
    {
        std::lock_guard lock(watches_->mutex);
        watches_->handlers.insert(name, std::move(changed));
    }
    std::lock_guard lock(mutex_);
    if (watcher_) {
        watcher_->addWatchedService(name);
    }
}

void XPCBusConnection::unwatchName(const QString& name) {
    {
        std::lock_guard lock(watches_->mutex);
        watches_->handlers.remove(name);
    }
    std::lock_guard lock(mutex_);
    if (watcher_) {
        watcher_->removeWatchedService(name);
    }
}

bool XPCBusConnection::registerObject(const QString& path, std::function<void(const QDBusMessage&)> handler) {
    std::lock_guard lock(mutex_);
    if (!context_ || exported_.contains(path)) {
        return false;
    }
    auto* object = new ExportedPath(std::move(handler));
    object->moveToThread(context_->thread());
    if (!connection_.registerVirtualObject(path, object, QDBusConnection::SingleNode)) {
        destroy(object);
        return false;
    }
    exported_.insert(path, object);
    return true;
}

void XPCBusConnection::unregisterObject(const QString& path) {
    std::lock_guard lock(mutex_);
    if (QObject* object = exported_.take(path)) {
        connection_.unregisterObject(path);
        destroy(object);
    }
}

void XPCBusConnection::close() {
    std::lock_guard lock(mutex_);
    if (!context_) {
        return;
    }
    {
        std::lock_guard watchesLock(watches_->mutex);
        watches_->handlers.clear();
    }
    for (auto it = exported_.cbegin(); it != exported_.cend(); ++it) {
        connection_.unregisterObject(it.key());
        destroy(it.value());
    }
    exported_.clear();
    destroy(std::exchange(watcher_, nullptr));
    QObject* context = std::exchange(context_, nullptr);
    {
        ScopedBlockingCall blocking;
        QMetaObject::invokeMethod(
            context, [context] { delete context; }, Qt::BlockingQueuedConnection);
    }
    // QtDBus leaves the bus only once no handle is left: ours goes now, and
    // those taken for replies under way go as they end. Replies sent after
    // this go nowhere.
    QDBusConnection left{QString()};
    {
        std::lock_guard connectionLock(connectionMutex_);
        std::swap(left, connection_);
    }
    QDBusConnection::disconnectFromBus(connectionName_);
}

} // namespace platform
