#pragma once

// A management service's client and server in this process, talking through
// their real adaptors over a private session bus: the server adaptor claims
// the service's name and hands every request to one server object; the
// client sends through a client adaptor of its own.

#include "SpecificTools/Interprocess/AFXBaseService.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessClientAdaptor.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessServerAdaptor.h"
#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXEndpointsManifest.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "testing/SessionBusProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDateTime>
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

inline std::shared_ptr<AFXEnvironment> testEnvironment(const std::shared_ptr<AFXEnvironmentID>& identifier) {
    auto manifest = AFXEndpointsManifest::make();
    manifest->setName(QStringLiteral("Test"));
    manifest->setOriginURL(QUrl(QStringLiteral("https://manifest.test/endpoints.json")));
    const QUrl folder(QStringLiteral("file:///tmp/folder"));
    return AFXEnvironment::makeWithIdentifier(identifier, manifest, folder, folder, folder, folder);
}

inline std::shared_ptr<AFXCustomerID> testCustomerID(const QString& accountName) {
    return AFXCustomerID::makeWithAccountName(accountName, AFXEnvironmentID::defaultEnvironmentID());
}

// A customer subscribed for the next thirty days.
inline std::shared_ptr<AFXCustomer> testCustomer(const QString& accountName) {
    AFXCustomer::Fields fields;
    fields.identifier = testCustomerID(accountName);
    fields.backendID = accountName;
    fields.subscriptionExpirationDate = QDateTime::currentDateTimeUtc().addDays(30);
    return AFXCustomer::makeWithFields(std::move(fields));
}

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

// An error callback's outcome as text.
inline QString describeError(const std::optional<platform::Error>& error) {
    return error ? QStringLiteral("error %1 %2").arg(error->domain()).arg(error->code())
                 : QStringLiteral("done");
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

template <typename Server, typename Client> struct RoundTrip {
    using MakeServer = std::function<std::shared_ptr<Server>(
        const std::shared_ptr<AFXServiceID>&, const std::shared_ptr<AFXRegularInterprocessServerAdaptor>&,
        const std::shared_ptr<AFXServicesFactory>&)>;

    // Null (with a failure added) when the bus or the service's name could not be had.
    static std::unique_ptr<RoundTrip> start(const std::shared_ptr<AFXServiceID>& serviceID,
                                            const QList<const platform::Class*>& requestClasses,
                                            const MakeServer& makeServer) {
        std::unique_ptr<RoundTrip> trip(new RoundTrip(serviceID, requestClasses, makeServer));
        trip->bus = testing_support::SessionBusProcess::start();
        if (!trip->bus) {
            return nullptr;
        }
        trip->factory = makeServicesFactory();
        if (!trip->startServer()) {
            return nullptr;
        }
        trip->clientAdaptor = trip->makeClientAdaptor(requestClasses);
        trip->client = Client::makeWithServiceID(serviceID, trip->factory, trip->clientAdaptor);
        return trip;
    }

    // The service served by its server base alone, which offers nothing.
    static std::unique_ptr<RoundTrip>
    startWithServerBase(const std::shared_ptr<AFXServiceID>& serviceID,
                        const QList<const platform::Class*>& requestClasses) {
        return start(serviceID, requestClasses, [](const auto& id, const auto& adaptor, const auto& factory) {
            return Server::makeWithServiceID(id, adaptor, factory, nullptr);
        });
    }

    // The serving process goes away; requests then fail in the transport.
    void stopServer() {
        serverDelegate->service.reset();
        standIn_ = nullptr;
        server = nullptr;
        serverAdaptor = nullptr;
    }
    // A serving process anew, with a new server; false (with a failure added)
    // when the service's name could not be had.
    bool startServer() {
        serverAdaptor = AFXRegularInterprocessServerAdaptor::makeWithServiceName(
            serviceID_->serviceName(), requestClasses_, serverDelegate);
        if (const auto& error = serverAdaptor->interprocessServer()->listeningError()) {
            ADD_FAILURE() << "cannot serve: " << error->description().toStdString();
            return false;
        }
        server = makeServer_(serviceID_, serverAdaptor, factory);
        serverDelegate->service = server;
        return true;
    }

    // Hands the requests to another server from now on.
    void serveWith(std::shared_ptr<AFXBaseService> other) {
        standIn_ = std::move(other);
        serverDelegate->service = standIn_;
    }

    // Another sender for the service's name, which may list other classes.
    // It retries soon, so that a restarted server is reached quickly.
    std::shared_ptr<AFXRegularInterprocessClientAdaptor>
    makeClientAdaptor(const QList<const platform::Class*>& requestClasses) const {
        using namespace std::chrono_literals;
        return AFXRegularInterprocessClientAdaptor::makeWithServiceName(
            serviceID_->serviceName(), factory->tierName(), requestClasses, clientDelegate,
            {.connectionRetry = 50ms, .streamSetupTimeout = 5s});
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
    RoundTrip(std::shared_ptr<AFXServiceID> serviceID, QList<const platform::Class*> requestClasses,
              MakeServer makeServer)
        : serviceID_(std::move(serviceID)), requestClasses_(std::move(requestClasses)),
          makeServer_(std::move(makeServer)) {}

    const std::shared_ptr<AFXServiceID> serviceID_;
    const QList<const platform::Class*> requestClasses_;
    const MakeServer makeServer_;
    std::shared_ptr<AFXBaseService> standIn_;
};

} // namespace service_round_trip
