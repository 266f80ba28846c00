#pragma once

#include "ServiceRoundTrip.h"

#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>
#include <thread>

namespace platform {
class Class;
class Error;
class Pipe;
class Task;
} // namespace platform

// One run of service_test_server serving a management service with its
// test server (ServiceTestServers/), on the session bus of this process;
// killed when the object goes away. Keeps what the server noted.
class ServiceServerProcess {
public:
    // The server once it owns the service's name, or null with a failure added.
    static std::unique_ptr<ServiceServerProcess> start(const QString& service,
                                                       const QStringList& arguments = {});
    ~ServiceServerProcess();
    ServiceServerProcess(const ServiceServerProcess&) = delete;
    ServiceServerProcess& operator=(const ServiceServerProcess&) = delete;

    // The serving process goes away, as a desktop client that quits or crashes.
    void stop();

    // Whether the server took the command; the requests sent after it
    // returned meet its effect. See service_test_server.cpp for the commands.
    bool control(const QString& name, const QString& argument);
    bool serve(const QString& server);
    bool answerWith(const platform::Class* responseClass);
    bool refuseWith(const platform::Error& error);

    // What the test server was given, as it noted it ("seen"), and the
    // streams requests came with.
    service_round_trip::Answer<QString> seen;
    service_round_trip::Answer<QUuid> streams;

private:
    ServiceServerProcess() = default;
    bool command(const QString& line);
    void readNotes();

    std::shared_ptr<platform::Pipe> input_;
    std::shared_ptr<platform::Pipe> output_;
    std::shared_ptr<platform::Task> task_;
    std::thread reader_;
    // "ready", then one "ok" or "refused" per command.
    service_round_trip::Answer<QString> replies_;
};
