// The transport between two real processes on the session bus: this test
// program is the client, ipc_test_server serves the test service.

#include "IPCTestService/IPCTestRecords.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "SpecificTools/Interprocess/AFXInterprocessModel.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessClientAdaptor.h"
#include "SpecificTools/Interprocess/AFXRegularServiceInterfaceProxy.h"
#include "platform/Pipe.h"
#include "platform/ProcessEnvironment.h"
#include "platform/Task.h"
#include "platform/Tools.h"
#include "platform/XPCConnection.h"
#include "platform/XPCExportedObject.h"
#include "platform/XPCListener.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <numeric>
#include <thread>

#include <poll.h>
#include <signal.h>

using namespace std::chrono_literals;
using testing_support::waitUntil;

namespace {

// This program's own service name, so that test programs running side by
// side never claim the same one.
[[maybe_unused]] const bool kServiceNameChosen = [] {
    platform::ProcessEnvironment::setValue(
        "KESTREL_IPC_TEST_SERVICE",
        QStringLiteral("com.kestrel.tests.InterprocessTestService.p%1").arg(::getpid()).toUtf8());
    return true;
}();

// One run of ipc_test_server, killed when the object goes away.
class ServerProcess {
public:
    static std::unique_ptr<ServerProcess> start(const QStringList& arguments = {}) {
        std::unique_ptr<ServerProcess> server(new ServerProcess);
        server->output_ = platform::Pipe::make();
        server->task_ = platform::Task::make();
        server->task_->setLaunchPath(platform::Tools::directory() + QStringLiteral("/ipc_test_server"));
        server->task_->setArguments(arguments);
        server->task_->setStandardInput(platform::Task::Stream::NullDevice);
        server->task_->setStandardOutput(server->output_);
        platform::Error error(QString(), 0);
        if (!server->task_->launch(&error)) {
            ADD_FAILURE() << error.description().toStdString();
            return nullptr;
        }
        return server;
    }
    ~ServerProcess() { kill(); }

    // Waits for the server to own the service name.
    bool waitUntilReady() {
        pollfd watched{output_->readDescriptor(), POLLIN, 0};
        if (::poll(&watched, 1, 20000) <= 0) {
            return false;
        }
        char buffer[16] = {};
        return ::read(output_->readDescriptor(), buffer, sizeof buffer - 1) > 0 &&
               QByteArray(buffer).startsWith("ready");
    }
    pid_t processIdentifier() const { return task_->processIdentifier(); }
    void kill() {
        if (task_->isRunning()) {
            ::kill(task_->processIdentifier(), SIGKILL);
            task_->waitUntilExit(10s);
        }
    }

private:
    ServerProcess() = default;
    std::shared_ptr<platform::Pipe> output_;
    std::shared_ptr<platform::Task> task_;
};

std::unique_ptr<ServerProcess> startReadyServer(const QStringList& arguments = {}) {
    auto server = ServerProcess::start(arguments);
    if (server && !server->waitUntilReady()) {
        ADD_FAILURE() << "ipc_test_server did not come up";
        return nullptr;
    }
    return server;
}

class RecordingDelegate : public AFXRegularInterprocessClientAdaptorDelegate {
public:
    explicit RecordingDelegate(bool vote = true) : vote_(vote) {}

    void didEstablishConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor&,
                                                                  const QUuid& streamID) override {
        std::lock_guard lock(mutex_);
        established_.append(streamID);
    }
    void didLooseConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor&,
                                                              const QUuid& streamID) override {
        std::lock_guard lock(mutex_);
        lost_.append(streamID);
    }
    void regularInterprocessClientAdaptorPrepareForTermination(AFXRegularInterprocessClientAdaptor&,
                                                               std::function<void(bool)> callback) override {
        callback(vote_);
    }
    QList<QUuid> established() const {
        std::lock_guard lock(mutex_);
        return established_;
    }
    QList<QUuid> lost() const {
        std::lock_guard lock(mutex_);
        return lost_;
    }

private:
    const bool vote_;
    mutable std::mutex mutex_;
    QList<QUuid> established_;
    QList<QUuid> lost_;
};

// Everything a response handler was called with.
class Responses {
public:
    AFXInterprocessResponseHandler handler() {
        return [this](const BRAnyValueOrError& outcome) {
            std::lock_guard lock(mutex_);
            outcomes_.append(outcome);
        };
    }
    bool waitFor(int count) {
        return waitUntil([this, count] { return size() >= count; }, 30s);
    }
    int size() const {
        std::lock_guard lock(mutex_);
        return int(outcomes_.size());
    }
    BRAnyValueOrError at(int index) const {
        std::lock_guard lock(mutex_);
        return outcomes_.at(index);
    }
    template <typename Response> std::shared_ptr<Response> responseAt(int index) const {
        const auto outcome = at(index);
        return outcome.hasValue() ? outcome.value()->toObject<Response>() : nullptr;
    }

private:
    mutable std::mutex mutex_;
    QList<BRAnyValueOrError> outcomes_;
};

QList<const platform::Class*> clientRequestClasses() {
    return IPCTestServedRequestClasses() << IPCTestUnlistedRequest::staticClass();
}

std::shared_ptr<AFXRegularInterprocessClientAdaptor>
makeAdaptor(const std::shared_ptr<RecordingDelegate>& delegate,
            AFXRegularInterprocessClientAdaptor::Delays delays = {},
            const QString& serviceName = IPCTestServiceName()) {
    return AFXRegularInterprocessClientAdaptor::makeWithServiceName(serviceName, QStringLiteral("IPCTests"),
                                                                    clientRequestClasses(), delegate, delays);
}

template <typename Request>
std::shared_ptr<Request> makeRequest(const QString& serviceName = IPCTestServiceName()) {
    auto request = Request::make();
    request->setRequestingTierName(QStringLiteral("IPCTests"));
    request->setServiceID(AFXGlobalServiceID::makeWithServiceName(serviceName));
    return request;
}

std::shared_ptr<IPCTestEchoRequest> echo(const QString& text, const QString& holdKey = {},
                                         std::int64_t reports = 0) {
    auto request = makeRequest<IPCTestEchoRequest>();
    request->setText(text);
    request->setHoldKey(holdKey);
    request->setReportCount(reports);
    return request;
}

std::shared_ptr<IPCTestReleaseRequest> release(const QString& holdKey) {
    auto request = makeRequest<IPCTestReleaseRequest>();
    request->setHoldKey(holdKey);
    return request;
}

// Releases the requests the service holds under the key and answers how
// many it released. A request sent earlier may still be on its way to the
// service (requests are served on several threads, and a resend follows a
// new stream), so the release is asked again until it finds one.
std::int64_t releaseHeld(AFXRegularInterprocessClientAdaptor& adaptor, const QString& holdKey) {
    std::int64_t count = 0;
    waitUntil(
        [&] {
            // Held by the handler: an answer after the wait gave up must
            // still find it.
            const auto released = std::make_shared<Responses>();
            adaptor.performRequest(release(holdKey), nullptr,
                                   [released, record = released->handler()](
                                       const BRAnyValueOrError& outcome) { record(outcome); });
            if (!released->waitFor(1)) {
                return true; // no answer at all: give up, with nothing released
            }
            const auto response = released->responseAt<IPCTestCountResponse>(0);
            count = response ? response->count() : 0;
            return count > 0;
        },
        30s);
    return count;
}

TEST(InterprocessTransport, RequestsShareOneStreamAndReportsReachTheirSession) {
    const auto server = startReadyServer();
    ASSERT_TRUE(server);
    const auto delegate = std::make_shared<RecordingDelegate>();
    const auto adaptor = makeAdaptor(delegate);

    Responses first;
    adaptor->performRequest(echo(QStringLiteral("one")), nullptr, first.handler());
    adaptor->performRequest(echo(QStringLiteral("two")), nullptr, first.handler());
    ASSERT_TRUE(first.waitFor(2));
    const auto a = first.responseAt<IPCTestEchoResponse>(0);
    const auto b = first.responseAt<IPCTestEchoResponse>(1);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(QSet<QString>({a->text(), b->text()}),
              QSet<QString>({QStringLiteral("one"), QStringLiteral("two")}));
    EXPECT_FALSE(a->reportStreamID().isNull());
    EXPECT_EQ(a->reportStreamID(), b->reportStreamID());
    EXPECT_TRUE(a->reportSessionID().isNull());
    EXPECT_EQ(delegate->established(), QList<QUuid>{a->reportStreamID()});

    // Reports arrive while the request is held; the response closes the session.
    constexpr std::int64_t kReports = 300;
    std::mutex mutex;
    QList<std::int64_t> indices;
    Responses reported;
    adaptor->performRequest(
        echo(QStringLiteral("three"), QStringLiteral("reports"), kReports),
        [&](const std::shared_ptr<AFXInterprocessReport>& report) {
            // A handler that takes its time, as one drawing progress does,
            // must not be overtaken by the next report.
            const std::int64_t index = std::static_pointer_cast<IPCTestProgressReport>(report)->index();
            if (index % 10 == 0) {
                std::this_thread::sleep_for(2ms);
            }
            std::lock_guard lock(mutex);
            indices.append(index);
        },
        reported.handler());
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(mutex);
        return indices.size() == kReports;
    }));
    // A session's reports reach its handler in the order they were sent.
    QList<std::int64_t> sent(kReports);
    std::iota(sent.begin(), sent.end(), 0);
    EXPECT_EQ(indices, sent);
    EXPECT_EQ(releaseHeld(*adaptor, QStringLiteral("reports")), 1);
    ASSERT_TRUE(reported.waitFor(1));
    const auto three = reported.responseAt<IPCTestEchoResponse>(0);
    ASSERT_TRUE(three);
    EXPECT_FALSE(three->reportSessionID().isNull());

    // The reply's environment identifier is of a class this process has not
    // used yet: the registry must find it by name.
    Responses environment;
    adaptor->performRequest(makeRequest<IPCTestEnvironmentRequest>(), nullptr, environment.handler());
    ASSERT_TRUE(environment.waitFor(1));
    const auto response = environment.responseAt<IPCTestEnvironmentResponse>(0);
    ASSERT_TRUE(response && response->environment())
        << (environment.at(0).error() ? environment.at(0).error()->description().toStdString()
                                      : "no environment");
    EXPECT_TRUE(response->environment()->identifier()->isDefault());

    // Every handler was called exactly once.
    EXPECT_EQ(first.size(), 2);
    EXPECT_EQ(reported.size(), 1);
    EXPECT_EQ(delegate->established().size(), 1);
}

TEST(InterprocessTransport, ServerLossResendsOnceOnANewStreamThenFails) {
    auto server = startReadyServer();
    ASSERT_TRUE(server);
    const auto delegate = std::make_shared<RecordingDelegate>();
    const auto adaptor = makeAdaptor(delegate, {.connectionRetry = 1s, .streamSetupTimeout = 10s});

    Responses warmUp;
    adaptor->performRequest(echo(QStringLiteral("warm")), nullptr, warmUp.handler());
    ASSERT_TRUE(warmUp.waitFor(1));
    const QUuid oldStream = warmUp.responseAt<IPCTestEchoResponse>(0)->reportStreamID();
    std::shared_ptr<platform::XPCConnection> oldConnection;
    std::atomic<bool> fetched = false;
    adaptor->fetchXPCConnectionWithCallback([&](const auto& connection, const auto&, const auto&) {
        oldConnection = connection;
        fetched = true;
    });
    ASSERT_TRUE(waitUntil([&] { return fetched.load(); }));

    Responses pending;
    adaptor->performRequest(echo(QStringLiteral("pending"), QStringLiteral("held")), nullptr,
                            pending.handler());
    auto successor = ServerProcess::start({QStringLiteral("--wait-for-name")});
    ASSERT_TRUE(successor);
    // The request is held by the first server before it goes.
    Responses probe;
    adaptor->performRequest(echo(QStringLiteral("probe")), nullptr, probe.handler());
    ASSERT_TRUE(probe.waitFor(1));
    server->kill();
    ASSERT_TRUE(successor->waitUntilReady());

    // The resend is held by the successor; releasing it answers it from there.
    ASSERT_TRUE(waitUntil([&] { return delegate->established().size() == 2; }, 30s));
    EXPECT_EQ(releaseHeld(*adaptor, QStringLiteral("held")), 1);
    ASSERT_TRUE(pending.waitFor(1));
    const auto answered = pending.responseAt<IPCTestEchoResponse>(0);
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->processIdentifier(), successor->processIdentifier());
    EXPECT_NE(answered->reportStreamID(), oldStream);
    EXPECT_EQ(delegate->lost(), QList<QUuid>{oldStream});
    EXPECT_EQ(delegate->established(), (QList<QUuid>{oldStream, answered->reportStreamID()}));

    // A late event of the replaced connection changes nothing.
    adaptor->interprocessClientDidLooseConnection(*adaptor->interprocessClient(), oldConnection);
    adaptor->interprocessClientDidEstablishConnection(*adaptor->interprocessClient(), oldConnection);
    Responses after;
    adaptor->performRequest(echo(QStringLiteral("after")), nullptr, after.handler());
    ASSERT_TRUE(after.waitFor(1));
    EXPECT_EQ(after.responseAt<IPCTestEchoResponse>(0)->reportStreamID(), answered->reportStreamID());
    EXPECT_EQ(delegate->lost().size(), 1);
    EXPECT_EQ(delegate->established().size(), 2);

    // With the service gone for good, the resend fails and the caller hears the
    // error once.
    Responses orphan;
    adaptor->performRequest(echo(QStringLiteral("orphan"), QStringLiteral("never")), nullptr,
                            orphan.handler());
    Responses probe2;
    adaptor->performRequest(echo(QStringLiteral("probe")), nullptr, probe2.handler());
    ASSERT_TRUE(probe2.waitFor(1));
    successor->kill();
    ASSERT_TRUE(orphan.waitFor(1));
    EXPECT_FALSE(orphan.at(0).hasValue());
    EXPECT_EQ(delegate->lost().size(), 2);
    EXPECT_EQ(orphan.size(), 1);
}

// Holds every stream set-up unanswered, as a service that hangs would.
class SilentService : public platform::XPCExportedObject, public platform::XPCListenerDelegate {
public:
    std::atomic<int> setups = 0;

    void invokeSelector(const QString& selector, const QList<platform::Value>&,
                        platform::XPCReply reply) override {
        if (selector == AFXRegularServiceInterface::EstablishReportingStreamSelector) {
            ++setups;
        }
        std::lock_guard lock(mutex_);
        replies_.push_back(std::move(reply));
    }
    bool
    listenerShouldAcceptNewConnection(platform::XPCListener&,
                                      const std::shared_ptr<platform::XPCConnection>& connection) override {
        connection->setExportedInterface(
            interprocessInterfaceWithRequestClasses(IPCTestServedRequestClasses()));
        connection->setExportedObject(std::shared_ptr<platform::XPCExportedObject>(shared_from_this_ptr()));
        connection->resume();
        return true;
    }
    std::weak_ptr<SilentService> self;

private:
    std::shared_ptr<SilentService> shared_from_this_ptr() { return self.lock(); }
    std::mutex mutex_;
    std::vector<platform::XPCReply> replies_;
};

TEST(InterprocessTransport, StreamSetupWithoutAnswerTimesOutAndIsTriedOnceMore) {
    const QString name = QStringLiteral("com.kestrel.tests.SilentService");
    const auto silent = std::make_shared<SilentService>();
    silent->self = silent;
    const auto listener = platform::XPCListener::makeWithMachServiceName(name);
    listener->setDelegate(silent);
    ASSERT_TRUE(listener->resume());

    const auto delegate = std::make_shared<RecordingDelegate>();
    const auto adaptor = makeAdaptor(delegate, {.connectionRetry = 100ms, .streamSetupTimeout = 300ms}, name);
    Responses responses;
    adaptor->performRequest(makeRequest<IPCTestVoteRequest>(name), nullptr, responses.handler());
    ASSERT_TRUE(responses.waitFor(1));
    const auto error = responses.at(0).error();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), AFXDefaultErrorDomain);
    EXPECT_EQ(error->code(), AFXErrorCodeInterprocessClient);
    EXPECT_FALSE(error->underlyingError());
    EXPECT_EQ(silent->setups.load(), 2);
    EXPECT_TRUE(delegate->established().isEmpty());
    listener->invalidate();
}

TEST(InterprocessTransport, ReportsReachEveryNamedOpenSession) {
    const auto adaptor = makeAdaptor(nullptr);
    std::mutex mutex;
    QHash<int, int> received;
    QList<QUuid> sessions;
    for (int index = 0; index < 3; ++index) {
        adaptor->makeReportingSessionWithReportHandler(
            [&, index](const std::shared_ptr<AFXInterprocessReport>&) {
                std::lock_guard lock(mutex);
                ++received[index];
            },
            [&](const QUuid& session) {
                std::lock_guard lock(mutex);
                sessions.append(session);
            });
    }
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(mutex);
        return sessions.size() == 3;
    }));
    adaptor->removeReportSessionID(sessions[2]);
    adaptor->deliverReport(IPCTestProgressReport::make(),
                           {sessions[0], sessions[1], sessions[2], QUuid::createUuid()});
    adaptor->deliverReport(IPCTestProgressReport::make(), {sessions[0]});
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(mutex);
        return received.value(0) == 2 && received.value(1) == 1;
    }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(received.value(2), 0);
}

TEST(InterprocessTransport, ServerRefusesUnknownStreamsAndUnlistedRecords) {
    const auto server = startReadyServer();
    ASSERT_TRUE(server);
    const auto connection = platform::XPCConnection::makeWithMachServiceName(IPCTestServiceName());
    connection->setRemoteObjectInterface(
        interprocessInterfaceWithRequestClasses(IPCTestServedRequestClasses()));
    connection->resume();
    Responses responses;
    const auto proxy =
        AFXRegularServiceInterfaceProxy::makeWithConnection(connection, [&](const platform::Error& error) {
            responses.handler()(BRAnyValueOrError::makeWithError(error));
        });

    auto unknownStream = echo(QStringLiteral("unknown"));
    unknownStream->setReportStreamID(QUuid::createUuid());
    unknownStream->setReportSessionID(QUuid::createUuid());
    proxy->performInterprocessRequest(unknownStream, responses.handler());
    ASSERT_TRUE(responses.waitFor(1));
    const auto error = responses.at(0).error();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), AFXDefaultErrorDomain);
    EXPECT_EQ(error->code(), AFXErrorCodeInterprocessServer);

    // Without a session there is nothing to report: the stream is not looked up.
    auto noSession = echo(QStringLiteral("no session"));
    noSession->setReportStreamID(QUuid::createUuid());
    proxy->performInterprocessRequest(noSession, responses.handler());
    ASSERT_TRUE(responses.waitFor(2));
    ASSERT_TRUE(responses.responseAt<IPCTestEchoResponse>(1));
    EXPECT_EQ(responses.responseAt<IPCTestEchoResponse>(1)->text(), QStringLiteral("no session"));
    connection->invalidate();

    const auto adaptor = makeAdaptor(std::make_shared<RecordingDelegate>(), {.connectionRetry = 100ms});
    Responses unlisted;
    adaptor->performRequest(makeRequest<IPCTestUnlistedRequest>(), nullptr, unlisted.handler());
    ASSERT_TRUE(unlisted.waitFor(1));
    EXPECT_FALSE(unlisted.at(0).hasValue());
    Responses next;
    adaptor->performRequest(echo(QStringLiteral("still served")), nullptr, next.handler());
    ASSERT_TRUE(next.waitFor(1));
    ASSERT_TRUE(next.responseAt<IPCTestEchoResponse>(0));
    EXPECT_EQ(unlisted.size(), 1);
}

TEST(InterprocessTransport, TerminationVoteCountsRefusalsAndUnreachableClientsConsent) {
    const auto server = startReadyServer();
    ASSERT_TRUE(server);
    const auto agreeing = makeAdaptor(std::make_shared<RecordingDelegate>(true));
    auto refusingDelegate = std::make_shared<RecordingDelegate>(false);
    auto refusing = makeAdaptor(refusingDelegate);
    const auto vote = [&](const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& adaptor) {
        Responses responses;
        adaptor->performRequest(makeRequest<IPCTestVoteRequest>(), nullptr, responses.handler());
        EXPECT_TRUE(responses.waitFor(1));
        const auto response = responses.responseAt<IPCTestVoteResponse>(0);
        EXPECT_TRUE(response);
        return response && response->agrees();
    };
    EXPECT_TRUE(vote(agreeing));
    EXPECT_FALSE(vote(refusing));
    EXPECT_FALSE(vote(agreeing));
    // A client that has gone cannot answer: it counts as agreeing.
    refusing.reset();
    EXPECT_TRUE(vote(agreeing));
}

} // namespace
