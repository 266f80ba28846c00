#pragma once

// A management service's client in this process and its test server in a
// process of its own (ServiceServerProcess), on a private session bus:
// every request crosses the process boundary as a message, is decoded and
// performed there, and its answer comes back the same way. What the test
// server saw comes back through the server process's notes.

#include "ServiceRoundTrip.h"
#include "ServiceServerProcess.h"
#include "ServiceTestServers/ServedService.h"

namespace service_round_trip {

template <typename Client> struct ProcessRoundTrip {
    // `service` and `serverArguments` as service_test_server takes them.
    // Null (with a failure added) when the bus or the server did not come up.
    static std::unique_ptr<ProcessRoundTrip> start(const QString& service,
                                                   const QStringList& serverArguments = {}) {
        const ServedService* served = ServedService::named(service);
        if (!served) {
            ADD_FAILURE() << "no served service " << service.toStdString();
            return nullptr;
        }
        std::unique_ptr<ProcessRoundTrip> trip(new ProcessRoundTrip(*served, serverArguments));
        trip->bus = testing_support::SessionBusProcess::start();
        if (!trip->bus || !trip->startServer()) {
            return nullptr;
        }
        trip->factory = makeServicesFactory();
        trip->clientAdaptor = trip->makeClientAdaptor(served->requestClasses);
        trip->client = Client::makeWithServiceID(served->serviceID, trip->factory, trip->clientAdaptor);
        return trip;
    }

    // The service served by its server base alone, which offers nothing.
    static std::unique_ptr<ProcessRoundTrip> startWithServerBase(const QString& service) {
        auto trip = start(service);
        if (trip && !trip->server->serve(QStringLiteral("base"))) {
            ADD_FAILURE() << "no server base";
            return nullptr;
        }
        return trip;
    }

    // The serving process goes away; requests then fail in the transport.
    void stopServer() {
        server->stop();
        server = nullptr;
    }
    // A serving process anew, with a new test server; false (with a
    // failure added) when it did not come up.
    bool startServer() {
        server = ServiceServerProcess::start(served_.name, serverArguments_);
        return server != nullptr;
    }

    // Another sender for the service's name, which may list other classes.
    std::shared_ptr<AFXRegularInterprocessClientAdaptor>
    makeClientAdaptor(const QList<const platform::Class*>& requestClasses) const {
        return service_round_trip::makeClientAdaptor(served_.serviceID, factory, requestClasses,
                                                     clientDelegate);
    }

    // Torn down in reverse: the client first, the bus last.
    std::unique_ptr<testing_support::SessionBusProcess> bus;
    std::shared_ptr<ServiceServerProcess> server;
    std::shared_ptr<AFXServicesFactory> factory;
    std::shared_ptr<ClientDelegate> clientDelegate = std::make_shared<ClientDelegate>();
    std::shared_ptr<AFXRegularInterprocessClientAdaptor> clientAdaptor;
    std::shared_ptr<Client> client;

private:
    ProcessRoundTrip(const ServedService& served, QStringList serverArguments)
        : served_(served), serverArguments_(std::move(serverArguments)) {}

    const ServedService& served_;
    const QStringList serverArguments_;
};

} // namespace service_round_trip
