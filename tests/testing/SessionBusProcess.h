#pragma once

#include <QString>

#include <memory>

namespace testing_support {

// A session bus of its own (`dbus-daemon`) run for one test, whose service
// folder is the test root's (platform::Paths::busServicesDirectory()), so
// that service files written there make the bus start their programs on
// demand. Programs the test starts reach it through
// DBUS_SESSION_BUS_ADDRESS, which the object sets for its life. The daemon,
// and every program it started, is stopped when the object goes away.
class SessionBusProcess {
public:
    // The running bus, or null (with a test failure added) when it did not
    // come up within a few seconds.
    static std::unique_ptr<SessionBusProcess> start();
    ~SessionBusProcess();
    SessionBusProcess(const SessionBusProcess&) = delete;
    SessionBusProcess& operator=(const SessionBusProcess&) = delete;

    const QString& address() const { return address_; }

private:
    SessionBusProcess() = default;
    struct Process;
    std::unique_ptr<Process> process_;
    QString address_;
};

} // namespace testing_support
