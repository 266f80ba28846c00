#pragma once

// A management service's client and server in this process, talking through
// their real adaptors over a private session bus: the server adaptor claims
// the service's name and hands every request to one server object; the
// client sends through a client adaptor of its own.

#include "SpecificTools/Interprocess/AFXBaseService.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessClientAdaptor.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessServerAdaptor.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "testing/SessionBusProcess.h"

#include <gtest/gtest.h>

#include <QList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace service_round_trip {

// The one place the tests make a services factory.
inline std::shared_ptr<AFXServicesFactory> makeServicesFactory() {
    return AFXServicesFactory::makeWithServicesClasses({}, QStringLiteral("ServiceTests"), nullptr);
}

// Plays the services factory on the serving side: every request goes to
// the one server, or is answered with the refusal when there is one.
class ServerDelegate : public AFXRegularInterprocessServerAdaptorDelegate {
public:
    std::weak_ptr<AFXBaseService> service;

    void refuseWith(const platform::Error& error) {
        std::lock_guard lock(mutex_);
        refusal_ = error;
    }

    void regularInterprocessServerAdaptorPerformRequest(
        AFXRegularInterprocessServerAdaptor&, const std::shared_ptr<AFXInterprocessRequest>& request,
        AFXInterprocessReportHandler reportHandler, AFXInterprocessResponseHandler responseHandler) override {
        std::optional<platform::Error> refusal;
        {
            std::lock_guard lock(mutex_);
            refusal = refusal_;
        }
        if (refusal) {
            responseHandler(BRAnyValueOrError::makeWithError(*refusal));
        } else if (const auto served = service.lock()) {
            served->performRequest(request, std::move(reportHandler), std::move(responseHandler));
        }
    }
    void didEstablishConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                                  const QUuid&) override {}
    void didLooseConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                              const QUuid&) override {}

private:
    // Requests arrive on the transport's threads.
    std::mutex mutex_;
    std::optional<platform::Error> refusal_;
};

// Plays the services factory on the sending side.
class ClientDelegate : public AFXRegularInterprocessClientAdaptorDelegate {
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

// What one callback was called with; the state outlives the test's wait.
template <typename T> class Answer {
public:
    std::function<void(const T&)> callback() const {
        return [state = state_](const T& value) {
            std::lock_guard lock(state->mutex);
            state->value = value;
            state->count += 1;
            state->changed.notify_all();
        };
    }
    // The answer, or none after ten seconds without one.
    std::optional<T> wait() const {
        std::unique_lock lock(state_->mutex);
        state_->changed.wait_for(lock, std::chrono::seconds(10), [this] { return state_->count > 0; });
        return state_->value;
    }
    int count() const {
        std::lock_guard lock(state_->mutex);
        return state_->count;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::optional<T> value;
        int count = 0;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

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
        trip->clientAdaptor = trip->makeClientAdaptor(requestClasses);
        trip->client = Client::makeWithServiceID(serviceID, trip->factory, trip->clientAdaptor);
        return trip;
    }

    // Another sender for the service's name, which may list other classes.
    std::shared_ptr<AFXRegularInterprocessClientAdaptor>
    makeClientAdaptor(const QList<const platform::Class*>& requestClasses) const {
        return AFXRegularInterprocessClientAdaptor::makeWithServiceName(
            serverAdaptor->serviceName(), factory->tierName(), requestClasses, clientDelegate);
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
