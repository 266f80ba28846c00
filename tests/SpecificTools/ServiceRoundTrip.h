#pragma once

// A management service's client talking to its server through their real
// adaptors over a private session bus: the server adaptor claims the
// service's name and hands every request to one server object; the client
// sends through a client adaptor of its own. The server runs in this
// process here (for servers that need it, such as the desktop client's),
// or in a process of its own (ServiceProcessRoundTrip.h).

#include "ServiceTestServers/ServiceTestValues.h"
#include "SpecificTools/Interprocess/AFXBaseService.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessClientAdaptor.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessServerAdaptor.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "testing/SessionBusProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QList>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace service_round_trip {

inline const QString kTierName = QStringLiteral("ServiceTests");

// The one place the tests make a services factory.
inline std::shared_ptr<AFXServicesFactory>
makeServicesFactory(const QList<AFXServiceClass>& classes = {},
                    const std::shared_ptr<AFXServicesFactoryDelegate>& delegate = nullptr) {
    return AFXServicesFactory::makeWithServicesClasses(classes, kTierName, delegate);
}

using service_test_values::testCustomer;
using service_test_values::testCustomerID;
using service_test_values::testEnvironment;

// What a callback was called with, from any thread; the state outlives
// the test's wait, which runs the main run loop.
template <typename T> class Answer {
public:
    std::function<void(const T&)> callback() const {
        return [state = state_](const T& value) { state->add(value); };
    }
    void add(const T& value) const { state_->add(value); }
    // Whether `count` answers came, waiting twenty seconds at most.
    bool waitFor(qsizetype count) const {
        return testing_support::waitUntil([&] { return this->count() >= count; }, std::chrono::seconds(20));
    }
    // The latest answer, or none after waiting for one in vain.
    std::optional<T> wait() const {
        waitFor(1);
        const QList<T> values = all();
        return values.isEmpty() ? std::nullopt : std::optional<T>(values.last());
    }
    // A copy of its own, made under the lock: a copy sharing the list's
    // data would be detached later, outside the lock, while answers still
    // arrive.
    QList<T> all() const {
        std::lock_guard lock(state_->mutex);
        return QList<T>(state_->values.cbegin(), state_->values.cend());
    }
    qsizetype count() const { return all().size(); }

private:
    struct State {
        std::mutex mutex;
        QList<T> values;

        void add(const T& value) {
            std::lock_guard lock(mutex);
            values.append(value);
        }
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

using service_test_values::describeError;

// Plays the services factory on the serving side: every request goes to
// the one server.
class ServerDelegate : public AFXRegularInterprocessServerAdaptorDelegate {
public:
    std::weak_ptr<AFXBaseService> service;

    void regularInterprocessServerAdaptorPerformRequest(
        AFXRegularInterprocessServerAdaptor&, const std::shared_ptr<AFXInterprocessRequest>& request,
        AFXInterprocessReportHandler reportHandler, AFXInterprocessResponseHandler responseHandler) override {
        if (const auto served = service.lock()) {
            served->performRequest(request, std::move(reportHandler), std::move(responseHandler));
        }
    }
    void didEstablishConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                                  const QUuid&) override {}
    void didLooseConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                              const QUuid&) override {}
};

// Plays the services factory on the sending side. It remembers the streams
// its adaptors established but does not relay them to the client: tests
// call the client's connection hook themselves.
class ClientDelegate : public AFXRegularInterprocessClientAdaptorDelegate {
public:
    Answer<QUuid> established;

    void didEstablishConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor&,
                                                                  const QUuid& streamID) override {
        established.add(streamID);
    }
    void didLooseConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor&,
                                                              const QUuid&) override {}
    void regularInterprocessClientAdaptorPrepareForTermination(AFXRegularInterprocessClientAdaptor&,
                                                               std::function<void(bool)> callback) override {
        callback(true);
    }
};

// A sender for the service's name, which may list other classes. It
// retries soon, so that a restarted server is reached quickly.
inline std::shared_ptr<AFXRegularInterprocessClientAdaptor> makeClientAdaptor(
    const std::shared_ptr<AFXServiceID>& serviceID, const std::shared_ptr<AFXServicesFactory>& factory,
    const QList<const platform::Class*>& requestClasses, const std::shared_ptr<ClientDelegate>& delegate) {
    using namespace std::chrono_literals;
    return AFXRegularInterprocessClientAdaptor::makeWithServiceName(
        serviceID->serviceName(), factory->tierName(), requestClasses, delegate,
        {.connectionRetry = 50ms, .streamSetupTimeout = 5s});
}

// A service's client and a server object of this process.
template <typename Server, typename Client> struct RoundTrip {
    using MakeServer = std::function<std::shared_ptr<Server>(
        const std::shared_ptr<AFXServiceID>&, const std::shared_ptr<AFXRegularInterprocessServerAdaptor>&,
        const std::shared_ptr<AFXServicesFactory>&)>;

    // Null (with a failure added) when the bus or the service's name could not be had.
    static std::unique_ptr<RoundTrip> start(const std::shared_ptr<AFXServiceID>& serviceID,
                                            const QList<const platform::Class*>& requestClasses,
                                            const MakeServer& makeServer) {
        std::unique_ptr<RoundTrip> trip(new RoundTrip);
        trip->bus = testing_support::SessionBusProcess::start();
        if (!trip->bus) {
            return nullptr;
        }
        trip->factory = makeServicesFactory();
        trip->serverAdaptor = AFXRegularInterprocessServerAdaptor::makeWithServiceName(
            serviceID->serviceName(), requestClasses, trip->serverDelegate);
        if (const auto& error = trip->serverAdaptor->interprocessServer()->listeningError()) {
            ADD_FAILURE() << "cannot serve: " << error->description().toStdString();
            return nullptr;
        }
        trip->server = makeServer(serviceID, trip->serverAdaptor, trip->factory);
        trip->serverDelegate->service = trip->server;
        trip->clientAdaptor =
            makeClientAdaptor(serviceID, trip->factory, requestClasses, trip->clientDelegate);
        trip->client = Client::makeWithServiceID(serviceID, trip->factory, trip->clientAdaptor);
        return trip;
    }

    // Torn down in reverse: the client first, the bus last.
    std::unique_ptr<testing_support::SessionBusProcess> bus;
    std::shared_ptr<AFXServicesFactory> factory;
    std::shared_ptr<ServerDelegate> serverDelegate = std::make_shared<ServerDelegate>();
    std::shared_ptr<AFXRegularInterprocessServerAdaptor> serverAdaptor;
    std::shared_ptr<Server> server;
    std::shared_ptr<ClientDelegate> clientDelegate = std::make_shared<ClientDelegate>();
    std::shared_ptr<AFXRegularInterprocessClientAdaptor> clientAdaptor;
    std::shared_ptr<Client> client;

private:
    RoundTrip() = default;
};

} // namespace service_round_trip
