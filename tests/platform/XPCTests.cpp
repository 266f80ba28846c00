#include "helpers/XPCTestEcho.h"
#include "platform/DispatchSemaphore.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Paths.h"
#include "platform/Task.h"
#include "platform/XPCListener.h"
#include "testing/EnvironmentOverride.h"
#include "testing/SessionBusProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDir>
#include <QFile>

#include <atomic>
#include <csignal>
#include <map>
#include <random>
#include <variant>

using namespace platform;
using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kPeer = QStringLiteral(KESTREL_XPC_TEST_PEER);

QString uniqueServiceName(const QString& purpose) {
    static std::atomic<int> counter{0};
    return u"com.kestrel.XPCTest.p%1.%2%3"_s.arg(::getpid()).arg(purpose).arg(++counter);
}

QDBusConnection rawBus() {
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"xpc-tests-raw"_s);
}

// One program serving XPCTestEcho under a name, stopped with the test.
class Peer {
public:
    explicit Peer(const QString& name) : task_(Task::make()) {
        task_->setLaunchPath(kPeer);
        task_->setArguments({u"serve"_s, name});
        Error error(QString(), 0);
        started_ = task_->launch(&error) && testing_support::waitUntil([&] {
                       return rawBus().interface()->isServiceRegistered(name).value();
                   });
    }
    ~Peer() {
        if (task_->isRunning()) {
            ::kill(task_->processIdentifier(), SIGKILL);
        }
        task_->waitUntilExit(30s);
    }
    bool started() const { return started_; }
    pid_t pid() const { return task_->processIdentifier(); }
    bool waitForExit() { return task_->waitUntilExit(30s); }

private:
    std::shared_ptr<Task> task_;
    bool started_ = false;
};

using Outcome = std::variant<QList<Value>, Error>;

// A client connection that records how each of its calls ended, how often
// each event came and whether everything ran on the connection's queue.
// What the handlers touch is shared with them, so that an event arriving
// while a test lets its client go finds it still there.
class Client {
    struct State {
        std::atomic<int> interruptions{0};
        std::atomic<int> invalidations{0};
        std::atomic<int> offQueue{0};
        std::shared_ptr<DispatchSemaphore> interrupted = DispatchSemaphore::make();
        std::shared_ptr<DispatchSemaphore> invalidated = DispatchSemaphore::make();
        std::mutex mutex;
        std::map<int, std::vector<Outcome>> outcomes;
        std::shared_ptr<DispatchSemaphore> ended = DispatchSemaphore::make();

        void checkQueue() {
            auto queue = DispatchQueue::current();
            if (!queue || queue->label() != "com.kestrel.XPCConnection"_L1) {
                ++offQueue;
            }
        }
        void end(int index, Outcome outcome) {
            checkQueue();
            {
                std::lock_guard lock(mutex);
                outcomes[index].push_back(std::move(outcome));
            }
            ended->signal();
        }
    };

public:
    explicit Client(std::shared_ptr<XPCConnection> connection) : connection(std::move(connection)) {
        this->connection->setRemoteObjectInterface(XPCTestEcho::interface());
        this->connection->setInterruptionHandler([state = state_] {
            state->checkQueue();
            ++state->interruptions;
            state->interrupted->signal();
        });
        this->connection->setInvalidationHandler([state = state_] {
            state->checkQueue();
            ++state->invalidations;
            state->invalidated->signal();
        });
        this->connection->resume();
    }

    int call(const QString& selector, const QList<Value>& arguments = {}) {
        std::lock_guard lock(state_->mutex);
        const int index = next_++;
        connection
            ->remoteObjectProxyWithErrorHandler(
                [state = state_, index](const Error& error) { state->end(index, error); })
            ->invoke(selector, arguments,
                     [state = state_, index](const QList<Value>& reply) { state->end(index, reply); });
        return index;
    }

    // Waits for `count` more calls to end.
    bool waitForEnds(int count) {
        for (int i = 0; i < count; ++i) {
            if (!state_->ended->wait(30s)) {
                return false;
            }
        }
        return true;
    }

    // The outcome of a call that ended exactly once.
    Outcome outcome(int index) {
        std::lock_guard lock(state_->mutex);
        auto& outcomes = state_->outcomes[index];
        EXPECT_EQ(outcomes.size(), 1u) << "call " << index;
        return outcomes.empty() ? Outcome(Error(QString(), 0)) : outcomes.front();
    }
    QList<Value> reply(const QString& selector, const QList<Value>& arguments = {}) {
        const int index = call(selector, arguments);
        EXPECT_TRUE(waitForEnds(1));
        const Outcome result = outcome(index);
        EXPECT_TRUE(std::holds_alternative<QList<Value>>(result))
            << std::get<Error>(result).description().toStdString();
        return std::holds_alternative<QList<Value>>(result) ? std::get<QList<Value>>(result) : QList<Value>{};
    }
    std::int64_t errorCode(const QString& selector, const QList<Value>& arguments = {}) {
        const int index = call(selector, arguments);
        EXPECT_TRUE(waitForEnds(1));
        const Outcome result = outcome(index);
        return std::holds_alternative<Error>(result) ? std::get<Error>(result).code() : 0;
    }

private:
    const std::shared_ptr<State> state_ = std::make_shared<State>();
    int next_ = 0;

public:
    std::shared_ptr<XPCConnection> connection;
    std::atomic<int>& interruptions = state_->interruptions;
    std::atomic<int>& invalidations = state_->invalidations;
    std::atomic<int>& offQueue = state_->offQueue;
    const std::shared_ptr<DispatchSemaphore>& interrupted = state_->interrupted;
    const std::shared_ptr<DispatchSemaphore>& invalidated = state_->invalidated;
};

class EchoDelegate : public XPCListenerDelegate {
public:
    bool listenerShouldAcceptNewConnection(XPCListener&,
                                           const std::shared_ptr<XPCConnection>& connection) override {
        connection->setExportedInterface(XPCTestEcho::interface());
        connection->setExportedObject(std::make_shared<XPCTestEcho>());
        connection->setInvalidationHandler([this] { ended->signal(); });
        connection->resume();
        std::lock_guard lock(mutex);
        accepted.push_back(connection);
        return true;
    }
    std::mutex mutex;
    std::vector<std::shared_ptr<XPCConnection>> accepted;
    std::shared_ptr<DispatchSemaphore> ended = DispatchSemaphore::make();
};

QByteArray archived(const Value& value) {
    return KeyedArchiver::archivedDataWithRootObject(value).value_or(QByteArray());
}

QDBusMessage rawCall(const QString& service, const QString& selector, const QList<QByteArray>& archives) {
    static const QMetaType registered = qDBusRegisterMetaType<QList<QByteArray>>();
    (void)registered;
    QDBusMessage message = QDBusMessage::createMethodCall(
        service, u"/com/kestrel/XPC/Service"_s, XPCConnection::DBusInterface, XPCConnection::DBusMember);
    message << selector << QVariant::fromValue(archives);
    return message;
}

} // namespace

TEST(XPCTests, RoundTripsRepliesErrorsAndOneWayMessages) {
    const QString name = uniqueServiceName(u"roundTrip"_s);
    Peer peer(name);
    ASSERT_TRUE(peer.started());
    Client client(XPCConnection::makeWithMachServiceName(name));

    const Value nested = Value::Dictionary{{"text", u"Grüße ✓"_s},
                                           {"list", Value::Array{1, 2.5, QByteArray("\0\xff", 2)}},
                                           {"date", QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC)}};
    EXPECT_EQ(client.reply(XPCTestEcho::Echo, {nested}), QList<Value>{nested});
    const QList<Value> failed = client.reply(XPCTestEcho::Fail, {7});
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(failed[0].kind(), Value::Kind::Error);
    EXPECT_EQ(failed[0].toError()->code(), 7);
    EXPECT_EQ(client.reply(XPCTestEcho::Identify), QList<Value>{static_cast<std::int64_t>(peer.pid())});

    // A dropped reply, a reply of a class outside the list, an argument of
    // a class outside the server's list: errors, and the connection goes on.
    EXPECT_EQ(client.errorCode(XPCTestEcho::Drop, {1}), XPCConnection::ReplyInvalid);
    EXPECT_EQ(client.errorCode(XPCTestEcho::BadReply, {1}), XPCConnection::ReplyInvalid);
    EXPECT_EQ(client.errorCode(XPCTestEcho::Echo, {QUrl(u"https://example.invalid/"_s)}),
              XPCConnection::CoderInvalidValue);
    // One-way messages arrive, in order with the calls after them.
    for (int i = 0; i < 3; ++i) {
        client.connection->remoteObjectProxyWithErrorHandler([](const Error&) {})
            ->invoke(XPCTestEcho::Notify, {i});
    }
    EXPECT_EQ(client.reply(XPCTestEcho::Count), QList<Value>{3});

    EXPECT_TRUE(
        testing_support::waitUntil([&] { return client.connection->processIdentifier() == peer.pid(); }));
    EXPECT_EQ(client.connection->effectiveUserIdentifier(), ::geteuid());
    EXPECT_EQ(client.offQueue, 0);
    EXPECT_EQ(client.interruptions + client.invalidations, 0);
}

TEST(XPCTests, AnonymousEndpointTravelsInsideAMessageAndIsCalledBack) {
    auto endpointClass = XPCListenerEndpoint::staticClass();
    EXPECT_EQ(endpointClass->name(), "NSXPCListenerEndpoint"_L1);
    auto listener = XPCListener::anonymousListener();
    auto delegate = std::make_shared<EchoDelegate>();
    listener->setDelegate(delegate);
    ASSERT_TRUE(listener->resume());
    auto endpoint = listener->endpoint();
    ASSERT_TRUE(endpoint);
    EXPECT_TRUE(endpoint->uniqueBusName().startsWith(u':'));
    // Archives keep it; names that are not the bus's are refused on reading.
    auto copy = KeyedUnarchiver::unarchivedObjectOfClass<XPCListenerEndpoint>(archived(Value(endpoint)));
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->isEqual(*endpoint));
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClass<XPCListenerEndpoint>(
        archived(Value(XPCListenerEndpoint::make(u"com.kestrel.notUnique"_s, u"/a"_s)))));
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClass<XPCListenerEndpoint>(
        archived(Value(XPCListenerEndpoint::make(u":1.2"_s, u"/a//b"_s)))));

    const QString name = uniqueServiceName(u"callBack"_s);
    Peer peer(name);
    ASSERT_TRUE(peer.started());
    Client client(XPCConnection::makeWithMachServiceName(name));
    EXPECT_EQ(client.reply(XPCTestEcho::CallBack, {endpoint, u"back again"_s}),
              QList<Value>{u"back again"_s});
    {
        std::lock_guard lock(delegate->mutex);
        ASSERT_EQ(delegate->accepted.size(), 1u);
        EXPECT_EQ(delegate->accepted[0]->processIdentifier(), peer.pid());
        EXPECT_EQ(delegate->accepted[0]->effectiveUserIdentifier(), ::geteuid());
    }
    // The peer's end ends its accepted connection here.
    ::kill(peer.pid(), SIGKILL);
    EXPECT_TRUE(delegate->ended->wait(30s));
    listener->invalidate();
}

TEST(XPCTests, PeerKilledWithCallsPendingEndsEveryCallOnceAndInterruptsOnce) {
    const QString name = uniqueServiceName(u"killed"_s);
    auto peer = std::make_unique<Peer>(name);
    ASSERT_TRUE(peer->started());
    Client client(XPCConnection::makeWithMachServiceName(name));
    ASSERT_EQ(client.reply(XPCTestEcho::Echo, {1}), QList<Value>{1});
    std::vector<int> pending;
    for (int i = 0; i < 5; ++i) {
        pending.push_back(client.call(XPCTestEcho::Hang, {i}));
    }
    pending.push_back(client.call(XPCTestEcho::Crash, {0}));
    ASSERT_TRUE(client.waitForEnds(static_cast<int>(pending.size())));
    for (int index : pending) {
        const Outcome outcome = client.outcome(index);
        ASSERT_TRUE(std::holds_alternative<Error>(outcome));
        EXPECT_EQ(std::get<Error>(outcome).code(), XPCConnection::ConnectionInterrupted);
    }
    ASSERT_TRUE(client.interrupted->wait(30s));
    ASSERT_TRUE(peer->waitForExit());

    // The connection stays usable: the next message reaches the next owner.
    peer = std::make_unique<Peer>(name);
    ASSERT_TRUE(peer->started());
    EXPECT_EQ(client.reply(XPCTestEcho::Identify), QList<Value>{static_cast<std::int64_t>(peer->pid())});
    EXPECT_EQ(client.interruptions, 1);
    EXPECT_EQ(client.invalidations, 0);
    EXPECT_EQ(client.offQueue, 0);
}

TEST(XPCTests, InvalidationEndsPendingCallsOnceAndIsFinal) {
    const QString name = uniqueServiceName(u"invalidated"_s);
    Peer peer(name);
    ASSERT_TRUE(peer.started());
    Client client(XPCConnection::makeWithMachServiceName(name));
    ASSERT_EQ(client.reply(XPCTestEcho::Echo, {1}), QList<Value>{1});
    std::vector<int> pending;
    for (int i = 0; i < 4; ++i) {
        pending.push_back(client.call(XPCTestEcho::Hang, {i}));
    }
    client.connection->invalidate();
    client.connection->invalidate();
    ASSERT_TRUE(client.waitForEnds(4));
    for (int index : pending) {
        const Outcome outcome = client.outcome(index);
        ASSERT_TRUE(std::holds_alternative<Error>(outcome));
        EXPECT_EQ(std::get<Error>(outcome).code(), XPCConnection::ConnectionInvalid);
    }
    EXPECT_EQ(client.errorCode(XPCTestEcho::Echo, {2}), XPCConnection::ConnectionInvalid);
    ASSERT_TRUE(client.invalidated->wait(30s));
    EXPECT_EQ(client.invalidations, 1);
    EXPECT_EQ(client.interruptions, 0);
    EXPECT_EQ(client.offQueue, 0);
}

TEST(XPCTests, CallsHeldUntilResumeEndWhenTheBusCannotBeReached) {
    const auto connection = XPCConnection::makeWithMachServiceName(uniqueServiceName(u"unresumed"_s));
    connection->setRemoteObjectInterface(XPCTestEcho::interface());
    const auto ended = DispatchSemaphore::make();
    std::atomic<int> invalid{0};
    std::atomic<int> replies{0};
    for (int i = 0; i < 3; ++i) {
        connection
            ->remoteObjectProxyWithErrorHandler([&](const Error& error) {
                invalid += error.code() == XPCConnection::ConnectionInvalid ? 1 : 0;
                ended->signal();
            })
            ->invoke(XPCTestEcho::Echo, {i}, [&](const QList<Value>&) {
                ++replies;
                ended->signal();
            });
    }
    // The calls wait for `resume`, which finds no bus and invalidates the
    // connection: held calls must still end, each in its error handler.
    testing_support::EnvironmentOverride noBus{
        {"DBUS_SESSION_BUS_ADDRESS",
         QByteArray("unix:path=") + QFile::encodeName(testing_support::testRoot()) + "/no-bus"}};
    connection->resume();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(ended->wait(30s)) << "a held call never ended";
    }
    EXPECT_EQ(invalid, 3);
    EXPECT_EQ(replies, 0);
}

TEST(XPCTests, ACallHeldForAResumeThatNeverComesEndsWhenTheConnectionIsReleased) {
    struct Ends {
        std::atomic<int> errors{0};
        std::atomic<int> replies{0};
        std::shared_ptr<DispatchSemaphore> ended = DispatchSemaphore::make();
    };
    const auto ends = std::make_shared<Ends>();
    auto connection = XPCConnection::makeWithMachServiceName(uniqueServiceName(u"neverResumed"_s));
    connection->setRemoteObjectInterface(XPCTestEcho::interface());
    connection
        ->remoteObjectProxyWithErrorHandler([ends](const Error& error) {
            EXPECT_EQ(error.code(), XPCConnection::ConnectionInvalid);
            ++ends->errors;
            ends->ended->signal();
        })
        ->invoke(XPCTestEcho::Echo, {1}, [ends](const QList<Value>&) {
            ++ends->replies;
            ends->ended->signal();
        });
    connection.reset();
    ASSERT_TRUE(ends->ended->wait(30s));
    EXPECT_FALSE(ends->ended->wait(500ms));
    EXPECT_EQ(ends->errors, 1);
    EXPECT_EQ(ends->replies, 0);
}

TEST(XPCTests, ServiceNamesAreOwnedOnceAndUnknownNamesFailAtOnce) {
    const QString name = uniqueServiceName(u"owned"_s);
    auto listener = XPCListener::makeWithMachServiceName(name);
    ASSERT_TRUE(listener->resume());
    // Another process, and this one, are refused rather than queued.
    const auto second = testing_support::runProgram(kPeer, {u"serve"_s, name});
    EXPECT_EQ(second.status, 3);
    EXPECT_TRUE(second.errors.startsWith(QByteArray::number(XPCListener::NameTakenError) + " "))
        << second.errors.toStdString();
    Error error(QString(), 0);
    EXPECT_FALSE(XPCListener::makeWithMachServiceName(name)->resume(&error));
    EXPECT_EQ(error.domain(), XPCListener::ErrorDomain);
    EXPECT_EQ(error.code(), XPCListener::NameTakenError);
    EXPECT_FALSE(XPCListener::makeWithMachServiceName(u"not a name"_s)->resume(&error));
    EXPECT_EQ(error.code(), XPCListener::InvalidNameError);
    // Released on invalidation, the name can be claimed again.
    listener->invalidate();
    EXPECT_TRUE(XPCListener::makeWithMachServiceName(name)->resume());

    Client client(XPCConnection::makeWithMachServiceName(uniqueServiceName(u"nobody"_s)));
    EXPECT_EQ(client.errorCode(XPCTestEcho::Echo, {1}), XPCConnection::ConnectionInvalid);
    ASSERT_TRUE(client.invalidated->wait(30s));
    EXPECT_EQ(client.errorCode(XPCTestEcho::Echo, {2}), XPCConnection::ConnectionInvalid);
    EXPECT_EQ(client.invalidations, 1);
}

TEST(XPCTests, ServerSeesEachClientConnectionEndWithItsProcess) {
    const QString name = uniqueServiceName(u"clients"_s);
    auto listener = XPCListener::makeWithMachServiceName(name);
    auto delegate = std::make_shared<EchoDelegate>();
    listener->setDelegate(delegate);
    ASSERT_TRUE(listener->resume());
    for (int i = 0; i < 2; ++i) {
        const auto result = testing_support::runProgram(kPeer, {u"call"_s, name, u"hello %1"_s.arg(i)});
        ASSERT_EQ(result.status, 0) << result.output.toStdString() << result.errors.toStdString();
        EXPECT_EQ(result.output, u"hello %1\n%2\n"_s.arg(i).arg(::getpid()).toUtf8());
        EXPECT_TRUE(delegate->ended->wait(30s)) << "the accepted connection outlived its client";
    }
    // An invalidated client leaves the bus at once, though its owner keeps
    // the object: the server does not wait for the object to go.
    Client client(XPCConnection::makeWithMachServiceName(name));
    EXPECT_EQ(client.reply(XPCTestEcho::Echo, {u"hello"_s}), QList<Value>({u"hello"_s}));
    client.connection->invalidate();
    ASSERT_TRUE(client.invalidated->wait(30s));
    EXPECT_TRUE(delegate->ended->wait(10s)) << "the accepted connection outlived its invalidated client";

    std::lock_guard lock(delegate->mutex);
    ASSERT_EQ(delegate->accepted.size(), 3u);
    EXPECT_NE(delegate->accepted[0]->processIdentifier(), delegate->accepted[1]->processIdentifier());
    listener->invalidate();
}

TEST(XPCTests, ANameTheBusRefusesIsNotTakenForOneAnotherProcessOwns) {
    const QString refused = uniqueServiceName(u"refused"_s);
    const auto bus = testing_support::SessionBusProcess::start({refused});
    ASSERT_TRUE(bus);
    Error error(QString(), 0);
    EXPECT_FALSE(XPCListener::makeWithMachServiceName(refused)->resume(&error));
    EXPECT_EQ(error.domain(), XPCListener::ErrorDomain);
    EXPECT_EQ(error.code(), XPCListener::NameRefusedError) << error.localizedDescription().toStdString();
    EXPECT_TRUE(XPCListener::makeWithMachServiceName(uniqueServiceName(u"allowed"_s))->resume());
}

TEST(XPCTests, BusActivationStartsAServiceAndReportsOneThatCannotStart) {
    const QString name = uniqueServiceName(u"activated"_s);
    const QString broken = uniqueServiceName(u"broken"_s);
    const QString services = platform::Paths::busServicesDirectory();
    ASSERT_TRUE(testing_support::writeFile(
        services + u'/' + name + u".service"_s,
        u"[D-BUS Service]\nName=%1\nExec=%2 serve %1\n"_s.arg(name, kPeer).toUtf8()));
    ASSERT_TRUE(testing_support::writeFile(
        services + u'/' + broken + u".service"_s,
        u"[D-BUS Service]\nName=%1\nExec=%2/missing\n"_s.arg(broken, testing_support::testRoot()).toUtf8()));
    // Programs the bus starts inherit its environment, so they find this bus.
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);

    const auto started = testing_support::runProgram(kPeer, {u"call"_s, name, u"wake up"_s});
    ASSERT_EQ(started.status, 0) << started.output.toStdString() << started.errors.toStdString();
    const QStringList lines = QString::fromUtf8(started.output).trimmed().split(u'\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], u"wake up"_s);
    EXPECT_GT(lines[1].toInt(), 0) << "the started service names its process";

    const auto failed = testing_support::runProgram(kPeer, {u"call"_s, broken, u"x"_s});
    EXPECT_EQ(failed.status, 4);
    EXPECT_TRUE(failed.output.startsWith("error " + QByteArray::number(XPCConnection::ConnectionInvalid)))
        << failed.output.toStdString();
}

namespace {

// Nests `depth` arrays around an integer, written straight as CBOR so that
// no archiver limit stands in the way.
QByteArray deeplyNested(int depth) {
    return QByteArray(depth, '\x81') + '\x01';
}

// Sends raw messages to a serving peer and expects an error reply to each.
bool answeredWithError(const QDBusConnection& bus, const QDBusMessage& message, QString* errorName) {
    const QDBusMessage reply = bus.call(message, QDBus::Block, 60000);
    *errorName = reply.errorName();
    return reply.type() == QDBusMessage::ErrorMessage;
}

} // namespace

TEST(XPCTests, HostileMessagesGetErrorsWhileAnotherClientGoesOn) {
    const QString name = uniqueServiceName(u"hostile"_s);
    Peer peer(name);
    ASSERT_TRUE(peer.started());
    Client bystander(XPCConnection::makeWithMachServiceName(name));
    std::vector<int> bystanderCalls;

    const QByteArray good = archived(Value(u"fine"_s));
    std::mt19937 random(20261207);
    QByteArray noise(4096, '\0');
    for (auto& byte : noise) {
        byte = static_cast<char>(random());
    }
    QDBusMessage wrongSignature = QDBusMessage::createMethodCall(
        name, u"/com/kestrel/XPC/Service"_s, XPCConnection::DBusInterface, XPCConnection::DBusMember);
    wrongSignature << noise;
    QDBusMessage wrongMember = QDBusMessage::createMethodCall(name, u"/com/kestrel/XPC/Service"_s,
                                                              XPCConnection::DBusInterface, u"Other"_s);
    wrongMember << XPCTestEcho::Echo << QVariant::fromValue(QList<QByteArray>{good});
    const QList<QDBusMessage> hostile{
        wrongSignature,
        wrongMember,
        rawCall(name, XPCTestEcho::Echo, {noise}),
        rawCall(name, XPCTestEcho::Echo, {good.left(good.size() - 2)}),
        rawCall(name, XPCTestEcho::Echo, {archived(Value(QUrl(u"https://example.invalid/"_s)))}),
        rawCall(name, XPCTestEcho::Echo, {deeplyNested(KeyedUnarchiver::MaximumDepth + 10)}),
        rawCall(name, XPCTestEcho::Echo, {QByteArray(XPCConnection::MaximumMessageSize + 1, '\x40')}),
        rawCall(name, XPCTestEcho::Echo, {good, good}),
        rawCall(name, XPCTestEcho::Echo, {}),
        rawCall(name, u"unknown:withReply:"_s, {good}),
    };
    auto bus = rawBus();
    for (qsizetype i = 0; i < hostile.size(); ++i) {
        bystanderCalls.push_back(bystander.call(XPCTestEcho::Echo, {static_cast<std::int64_t>(i)}));
        QString errorName;
        EXPECT_TRUE(answeredWithError(bus, hostile[i], &errorName)) << "message " << i;
        EXPECT_TRUE(errorName.startsWith(u"com.kestrel.XPC.Error."_s) ||
                    errorName == u"org.freedesktop.DBus.Error.UnknownMethod"_s)
            << "message " << i << ": " << errorName.toStdString();
    }
    ASSERT_TRUE(bystander.waitForEnds(static_cast<int>(bystanderCalls.size())));
    for (qsizetype i = 0; i < static_cast<qsizetype>(bystanderCalls.size()); ++i) {
        const Outcome outcome = bystander.outcome(bystanderCalls[i]);
        ASSERT_TRUE(std::holds_alternative<QList<Value>>(outcome));
        EXPECT_EQ(std::get<QList<Value>>(outcome), QList<Value>{static_cast<std::int64_t>(i)});
    }
    // Still the same process, still serving the hostile sender too.
    const QDBusMessage answer = bus.call(rawCall(name, XPCTestEcho::Identify, {}), QDBus::Block, 60000);
    ASSERT_EQ(answer.type(), QDBusMessage::ReplyMessage) << answer.errorMessage().toStdString();
    EXPECT_EQ(bystander.reply(XPCTestEcho::Identify), QList<Value>{static_cast<std::int64_t>(peer.pid())});
    EXPECT_EQ(bystander.interruptions + bystander.invalidations, 0);
}

// Real request bodies, mutated with a fixed seed, all answered: the peer
// neither hangs nor ends. XPC_MUTATION_RUNS sets the number of messages.
TEST(XPCTests, MutatedRequestsAreAllAnsweredAndTheServerSurvives) {
    const int runs = qEnvironmentVariableIsSet("XPC_MUTATION_RUNS")
                         ? qEnvironmentVariableIntValue("XPC_MUTATION_RUNS")
                         : 2000;
    const QString name = uniqueServiceName(u"mutated"_s);
    Peer peer(name);
    ASSERT_TRUE(peer.started());

    // Recorded as a client sends them.
    const QList<std::pair<QString, QList<QByteArray>>> bodies{
        {XPCTestEcho::Echo,
         {archived(Value::Dictionary{{"list", Value::Array{1, u"two"_s, 3.5}}, {"flag", true}})}},
        {XPCTestEcho::Fail, {archived(Value(42))}},
        {XPCTestEcho::Drop, {archived(Value(QByteArray("bytes")))}},
        {XPCTestEcho::BadReply, {archived(Value(u"x"_s))}},
        {XPCTestEcho::Count, {}},
        {XPCTestEcho::Echo,
         {archived(Value(Error(u"domain"_s, 3, {{NSLocalizedDescriptionKey, u"text"_s}})))}},
    };
    std::mt19937 random(4711);
    auto bus = rawBus();
    int errors = 0;
    for (int run = 0; run < runs; ++run) {
        auto [selector, archives] = bodies[static_cast<qsizetype>(random() % bodies.size())];
        switch (random() % 6) {
        case 0: // drop an archive or add one
            if (!archives.isEmpty() && random() % 2) {
                archives.removeLast();
            } else {
                archives.append(archives.value(0));
            }
            break;
        case 1: // truncate
            if (!archives.isEmpty()) {
                archives[0].truncate(static_cast<qsizetype>(random() % (archives[0].size() + 1)));
            }
            break;
        case 2: // change the selector
            selector[static_cast<qsizetype>(random() % selector.size())] =
                QChar(static_cast<char16_t>(u'a' + random() % 26));
            break;
        default: // flip bytes
            if (!archives.isEmpty() && !archives[0].isEmpty()) {
                for (unsigned flips = 1 + random() % 4; flips > 0; --flips) {
                    archives[0][static_cast<qsizetype>(random() % archives[0].size())] ^=
                        static_cast<char>(1u << (random() % 8));
                }
            }
            break;
        }
        const QDBusMessage reply = bus.call(rawCall(name, selector, archives), QDBus::Block, 60000);
        ASSERT_NE(reply.type(), QDBusMessage::InvalidMessage) << "run " << run;
        ASSERT_NE(reply.errorName(), u"org.freedesktop.DBus.Error.NoReply"_s) << "run " << run;
        errors += reply.type() == QDBusMessage::ErrorMessage ? 1 : 0;
    }
    EXPECT_GT(errors, runs / 4) << "the mutations should mostly break the messages";
    const QDBusMessage answer = bus.call(rawCall(name, XPCTestEcho::Identify, {}), QDBus::Block, 60000);
    ASSERT_EQ(answer.type(), QDBusMessage::ReplyMessage);
    std::printf("%d mutated messages, %d refused\n", runs, errors);
}
