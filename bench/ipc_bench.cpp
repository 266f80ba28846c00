// Round trips between two processes of the session: an XPC call through a
// connection's proxy to an exported object, a request through the whole
// framework stack (client adaptor, proxy, bus, server adaptor, the
// service's dispatch) answered with an environment record, a bare D-Bus
// method call of a message of the XPC call's size over the same bus, and a
// ping-pong over a Unix socket. Each runs with 1 and with 8 concurrent callers; p50 and p99 are
// counters (microseconds), the batch time gives throughput.
//
// The serving end is this program started as `ipc_bench --serve NAME
// SOCKET`. A new kind of round trip needs a function that makes one caller
// (see `Caller`) and, if it needs one, a server in `serve`.

#include "BenchEnvironmentRecords.h"
#include "BenchEnvironmentService.h"
#include "BenchRatios.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessClientAdaptor.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessServerAdaptor.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "platform/DispatchSemaphore.h"
#include "platform/KeyedArchiver.h"
#include "platform/Task.h"
#include "platform/ValueClasses.h"
#include "platform/XPCBusConnection.h"
#include "platform/XPCConnection.h"
#include "platform/XPCExportedObject.h"
#include "platform/XPCListener.h"
#include "platform/XPCRemoteObjectProxy.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace platform;
using namespace std::chrono_literals;

namespace {

const QString kSelector = QStringLiteral("echo:withReply:");
const QString kRawPath = QStringLiteral("/com/kestrel/bench/Echo");
const QString kRawInterface = QStringLiteral("com.kestrel.bench.Echo");
const QString kRawMember = QStringLiteral("Echo");
const QString kTierName = QStringLiteral("IPCBench");
constexpr int kCallsPerCaller = 200;

const Value& payload() {
    static const Value value(QByteArray(64, 'x'));
    return value;
}

// The XPC message's size: the selector and the payload's archive.
qsizetype messageSize() {
    return kSelector.toUtf8().size() + KeyedArchiver::archivedDataWithRootObject(payload())->size();
}

XPCInterface echoInterface() {
    XPCInterface interface(QStringLiteral("BenchEcho"));
    interface.addSelector(kSelector, 1, 1);
    return interface;
}

class Echo : public XPCExportedObject {
public:
    void invokeSelector(const QString&, const QList<Value>& arguments, XPCReply reply) override {
        reply.send(arguments);
    }
};

class AcceptEverything : public XPCListenerDelegate {
public:
    bool listenerShouldAcceptNewConnection(XPCListener&,
                                           const std::shared_ptr<XPCConnection>& connection) override {
        connection->setExportedInterface(echoInterface());
        connection->setExportedObject(std::make_shared<Echo>());
        connection->resume();
        return true;
    }
};

// Plays the services factory: every request goes to the one service.
class ServeEnvironment : public AFXRegularInterprocessServerAdaptorDelegate {
public:
    std::shared_ptr<BenchEnvironmentService> service;

    void regularInterprocessServerAdaptorPerformRequest(
        AFXRegularInterprocessServerAdaptor&, const std::shared_ptr<AFXInterprocessRequest>& request,
        AFXInterprocessReportHandler reportHandler, AFXInterprocessResponseHandler responseHandler) override {
        service->performRequest(request, std::move(reportHandler), std::move(responseHandler));
    }
    void didEstablishConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                                  const QUuid&) override {}
    void didLooseConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                              const QUuid&) override {}
};

class IgnoreStreams : public AFXRegularInterprocessClientAdaptorDelegate {
public:
    void didEstablishConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor&,
                                                                  const QUuid&) override {}
    void didLooseConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor&,
                                                              const QUuid&) override {}
    void regularInterprocessClientAdaptorPrepareForTermination(AFXRegularInterprocessClientAdaptor&,
                                                               std::function<void(bool)> callback) override {
        callback(true);
    }
};

QString frameworkServiceName(const QString& name) {
    return name + QStringLiteral(".framework");
}

void serveSocketPeer(int peer) {
    std::vector<char> buffer(static_cast<size_t>(messageSize()));
    for (;;) {
        size_t got = 0;
        while (got < buffer.size()) {
            const ssize_t n = ::read(peer, buffer.data() + got, buffer.size() - got);
            if (n <= 0) {
                ::close(peer);
                return;
            }
            got += static_cast<size_t>(n);
        }
        if (::write(peer, buffer.data(), buffer.size()) != static_cast<ssize_t>(buffer.size())) {
            ::close(peer);
            return;
        }
    }
}

sockaddr_un socketAddress(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = path.toLocal8Bit();
    std::memcpy(address.sun_path, bytes.constData(),
                std::min<size_t>(bytes.size(), sizeof address.sun_path - 1));
    return address;
}

// The serving process: an XPC listener for NAME, the environment service
// under NAME + ".framework", a bare D-Bus object under NAME + ".raw" and a
// Unix socket at SOCKET. Runs until killed.
int serve(const QString& name, const QString& socketPath) {
    auto listener = XPCListener::makeWithMachServiceName(name);
    auto delegate = std::make_shared<AcceptEverything>();
    listener->setDelegate(delegate);
    Error error(QString(), 0);
    if (!listener->resume(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error.localizedDescription()));
        return 1;
    }
    const auto environment = std::make_shared<ServeEnvironment>();
    const auto adaptor = AFXRegularInterprocessServerAdaptor::makeWithServiceName(
        frameworkServiceName(name), {BenchEnvironmentRequest::staticClass()}, environment);
    if (const auto& listening = adaptor->interprocessServer()->listeningError()) {
        std::fprintf(stderr, "%s\n", qPrintable(listening->description()));
        return 1;
    }
    const auto factory = AFXServicesFactory::makeWithServicesClasses({}, kTierName, nullptr);
    environment->service = BenchEnvironmentService::make(frameworkServiceName(name), adaptor, factory);
    auto raw = XPCBusConnection::open(&error);
    if (!raw ||
        !raw->registerObject(kRawPath,
                             [raw = raw.get()](const QDBusMessage& message) {
                                 raw->connection().send(message.createReply(message.arguments()));
                             }) ||
        !QDBusConnection(raw->connection()).registerService(name + QStringLiteral(".raw"))) {
        std::fprintf(stderr, "no bare D-Bus echo\n");
        return 1;
    }
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = socketAddress(socketPath);
    if (::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(server, 16) != 0) {
        std::perror("socket");
        return 1;
    }
    for (;;) {
        const int peer = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer >= 0) {
            std::thread(serveSocketPeer, peer).detach();
        }
    }
}

// One caller's round trip; made on the caller's thread, called repeatedly.
using Caller = std::function<bool()>;
using CallerFactory = std::function<Caller()>;

QString& selfPath() {
    static QString path;
    return path;
}

struct Server {
    QString name;
    QString socketPath;
    std::shared_ptr<Task> task;
    bool ready = false;

    static Server& shared() {
        static Server& server = *(*started() = new Server(start()));
        return server;
    }
    // Null until a benchmark needed the server.
    static Server** started() {
        static Server* server = nullptr;
        return &server;
    }

    static Server start() {
        Server server;
        server.name = QStringLiteral("com.kestrel.bench.Echo%1").arg(::getpid());
        server.socketPath = QStringLiteral("/tmp/kestrel-ipc-bench-%1.socket").arg(::getpid());
        ::unlink(server.socketPath.toLocal8Bit().constData());
        server.task = Task::make();
        server.task->setLaunchPath(selfPath());
        server.task->setArguments({QStringLiteral("--serve"), server.name, server.socketPath});
        if (!server.task->launch()) {
            return server;
        }
        auto bus = QDBusConnection::sessionBus();
        for (int i = 0; i < 1000 && !server.ready; ++i) {
            server.ready =
                bus.interface()->isServiceRegistered(server.name + QStringLiteral(".raw")).value() &&
                QFile::exists(server.socketPath);
            if (!server.ready) {
                std::this_thread::sleep_for(10ms);
            }
        }
        return server;
    }
};

Caller xpcCaller() {
    auto connection = XPCConnection::makeWithMachServiceName(Server::shared().name);
    connection->setRemoteObjectInterface(echoInterface());
    connection->resume();
    auto done = DispatchSemaphore::make();
    auto ok = std::make_shared<std::atomic<bool>>(false);
    auto proxy = connection->remoteObjectProxyWithErrorHandler([done, ok](const Error&) {
        *ok = false;
        done->signal();
    });
    return [connection, proxy, done, ok] {
        proxy->invoke(kSelector, {payload()}, [done, ok](const QList<Value>&) {
            *ok = true;
            done->signal();
        });
        return done->wait(60s) && *ok;
    };
}

// The archived sizes of the framework round trip's request (before the
// client adaptor adds its stream ID) and response, set once a caller has
// made its first round trip.
std::atomic<qsizetype> frameworkRequestBytes{0};
std::atomic<qsizetype> frameworkResponseBytes{0};

// Each caller is a client process's adaptor of its own, as each D-Bus
// caller has its own connection. Its first request sets up the connection
// and the reporting stream; that happens once in a client's life, so it is
// made here rather than counted among the round trips.
Caller frameworkCaller() {
    const QString serviceName = frameworkServiceName(Server::shared().name);
    auto delegate = std::make_shared<IgnoreStreams>();
    auto adaptor = AFXRegularInterprocessClientAdaptor::makeWithServiceName(
        serviceName, kTierName, {BenchEnvironmentRequest::staticClass()}, delegate);
    auto makeRequest = [serviceName] {
        auto request = BenchEnvironmentRequest::make();
        request->setRequestingTierName(kTierName);
        request->setServiceID(AFXGlobalServiceID::makeWithServiceName(serviceName));
        return request;
    };
    auto done = DispatchSemaphore::make();
    // Written by the response handler before it signals `done`.
    auto answer = std::make_shared<std::shared_ptr<BenchEnvironmentResponse>>();
    Caller call = [makeRequest, delegate, adaptor, done, answer] {
        adaptor->performRequest(makeRequest(), nullptr, [done, answer](const BRAnyValueOrError& outcome) {
            *answer = outcome.hasValue() ? outcome.value()->toObject<BenchEnvironmentResponse>() : nullptr;
            done->signal();
        });
        return done->wait(60s) && *answer && (*answer)->environment();
    };
    if (!call()) {
        return [] { return false; };
    }
    frameworkRequestBytes = KeyedArchiver::archivedDataWithRootObject(Value(makeRequest()))->size();
    frameworkResponseBytes = KeyedArchiver::archivedDataWithRootObject(Value(*answer))->size();
    return call;
}

Caller dbusCaller() {
    static std::atomic<int> counter{0};
    const QString connectionName = QStringLiteral("bench-raw-%1").arg(++counter);
    auto bus = std::make_shared<QDBusConnection>(
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName));
    QDBusMessage message = QDBusMessage::createMethodCall(Server::shared().name + QStringLiteral(".raw"),
                                                          kRawPath, kRawInterface, kRawMember);
    message << QByteArray(messageSize(), 'x');
    return [bus, message] {
        return bus->call(message, QDBus::Block, 60000).type() == QDBusMessage::ReplyMessage;
    };
}

Caller socketCaller() {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = socketAddress(Server::shared().socketPath);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return [] { return false; };
    }
    auto socket = std::shared_ptr<int>(new int(fd), [](int* descriptor) {
        ::close(*descriptor);
        delete descriptor;
    });
    auto buffer = std::make_shared<std::vector<char>>(static_cast<size_t>(messageSize()), 'x');
    return [socket, buffer] {
        if (::write(*socket, buffer->data(), buffer->size()) != static_cast<ssize_t>(buffer->size())) {
            return false;
        }
        size_t got = 0;
        while (got < buffer->size()) {
            const ssize_t n = ::read(*socket, buffer->data() + got, buffer->size() - got);
            if (n <= 0) {
                return false;
            }
            got += static_cast<size_t>(n);
        }
        return true;
    };
}

// Runs batches of kCallsPerCaller round trips on `callers` threads at
// once; reports p50 and p99 of all of them and the calls per second.
void runRoundTrips(benchmark::State& state, const CallerFactory& makeCaller) {
    if (!Server::shared().ready) {
        state.SkipWithError("the serving process did not start");
        return;
    }
    const int callers = static_cast<int>(state.range(0));
    std::vector<Caller> made;
    for (int i = 0; i < callers; ++i) {
        made.push_back(makeCaller());
    }
    std::vector<double> latencies;
    std::atomic<bool> failed{false};
    for (auto _ : state) {
        std::vector<std::vector<double>> perCaller(static_cast<size_t>(callers));
        std::vector<std::thread> threads;
        for (int i = 0; i < callers; ++i) {
            threads.emplace_back([&, i] {
                auto& mine = perCaller[static_cast<size_t>(i)];
                mine.reserve(kCallsPerCaller);
                for (int call = 0; call < kCallsPerCaller; ++call) {
                    const auto start = std::chrono::steady_clock::now();
                    if (!made[static_cast<size_t>(i)]()) {
                        failed = true;
                        return;
                    }
                    mine.push_back(
                        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                            .count());
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        for (const auto& mine : perCaller) {
            latencies.insert(latencies.end(), mine.begin(), mine.end());
        }
        if (failed) {
            state.SkipWithError("a round trip failed");
            return;
        }
    }
    std::sort(latencies.begin(), latencies.end());
    auto percentile = [&](double p) {
        return latencies[static_cast<size_t>(p * static_cast<double>(latencies.size() - 1))];
    };
    state.counters["p50_us"] = percentile(0.50);
    state.counters["p99_us"] = percentile(0.99);
    state.counters["calls_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * callers * kCallsPerCaller, benchmark::Counter::kIsRate);
}

void BM_XPCRoundTrip(benchmark::State& state) {
    runRoundTrips(state, xpcCaller);
}
void BM_FrameworkRoundTrip(benchmark::State& state) {
    runRoundTrips(state, frameworkCaller);
    state.counters["request_B"] = static_cast<double>(frameworkRequestBytes.load());
    state.counters["response_B"] = static_cast<double>(frameworkResponseBytes.load());
}
void BM_DBusRoundTrip(benchmark::State& state) {
    runRoundTrips(state, dbusCaller);
}
void BM_SocketRoundTrip(benchmark::State& state) {
    runRoundTrips(state, socketCaller);
}

// A bare call's latency drifts by a fifth and more over a run on a shared
// machine; each row repeats, all repetitions run in one random order, and
// the medians are compared, so that a drift falls on both sides alike.
constexpr int kRepetitions = 7;
BENCHMARK(BM_XPCRoundTrip)->Arg(1)->Arg(8)->UseRealTime()->Repetitions(kRepetitions)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameworkRoundTrip)->Arg(1)->Arg(8)->UseRealTime()->Repetitions(kRepetitions)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DBusRoundTrip)->Arg(1)->Arg(8)->UseRealTime()->Repetitions(kRepetitions)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SocketRoundTrip)->Arg(1)->Arg(8)->UseRealTime()->Repetitions(kRepetitions)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--serve") == 0) {
        return serve(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    selfPath() = QString::fromLocal8Bit(argv[0]);
    const int status = runBenchmarksWithRatios(
        argc, argv,
        {
            {"BM_XPCRoundTrip/1", "BM_DBusRoundTrip/1", "<= 2", BenchFigure::CounterRatio, "p50_us"},
            {"BM_XPCRoundTrip/1", "BM_DBusRoundTrip/1", "report", BenchFigure::CounterRatio, "p99_us"},
            {"BM_XPCRoundTrip/8", "BM_DBusRoundTrip/8", "<= 2", BenchFigure::CounterRatio, "p50_us"},
            {"BM_XPCRoundTrip/8", "BM_DBusRoundTrip/8", "report", BenchFigure::CounterRatio, "p99_us"},
            {"BM_XPCRoundTrip/8", "BM_DBusRoundTrip/8", ">= 0.5", BenchFigure::CounterRatio, "calls_per_s"},
            {"BM_XPCRoundTrip/1", "BM_SocketRoundTrip/1", "report", BenchFigure::CounterRatio, "p50_us"},
            {"BM_XPCRoundTrip/8", "BM_SocketRoundTrip/8", "report", BenchFigure::CounterRatio, "p50_us"},
            {"BM_FrameworkRoundTrip/1", "BM_DBusRoundTrip/1", "<= 2", BenchFigure::CounterRatio, "p50_us"},
            {"BM_FrameworkRoundTrip/1", "BM_DBusRoundTrip/1", "report", BenchFigure::CounterRatio, "p99_us"},
            {"BM_FrameworkRoundTrip/8", "BM_DBusRoundTrip/8", "<= 2", BenchFigure::CounterRatio, "p50_us"},
            {"BM_FrameworkRoundTrip/8", "BM_DBusRoundTrip/8", "report", BenchFigure::CounterRatio, "p99_us"},
            {"BM_FrameworkRoundTrip/8", "BM_DBusRoundTrip/8", ">= 0.5", BenchFigure::CounterRatio,
             "calls_per_s"},
            {"BM_FrameworkRoundTrip/1", "BM_SocketRoundTrip/1", "report", BenchFigure::CounterRatio,
             "p50_us"},
            {"BM_FrameworkRoundTrip/8", "BM_SocketRoundTrip/8", "report", BenchFigure::CounterRatio,
             "p50_us"},
        },
        interleavedRepetitionFlags());
    if (Server* server = *Server::started()) {
        if (server->task && server->task->isRunning()) {
            ::kill(server->task->processIdentifier(), SIGKILL);
            server->task->waitUntilExit();
        }
        ::unlink(server->socketPath.toLocal8Bit().constData());
    }
    return status;
}
