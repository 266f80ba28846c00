#pragma once

#include <QString>

#include <memory>

namespace platform {
class Task;
} // namespace platform

namespace bench {

// A session bus of its own (`dbus-daemon`) whose service folder is the
// current root's (platform::Paths::busServicesDirectory() when started),
// so that the service files the launchctl stand-in writes there make the
// bus start their programs on demand, with the environment this process
// had when the bus started. Its socket and configuration live in the
// root's runtime folder. Going away, it ends the programs serving names
// on it, then the daemon, and waits until all of them are gone, so the
// next run starts from nothing.
class SessionBus {
public:
    // The bus once it answers, or null (with the reason on standard error).
    static std::unique_ptr<SessionBus> start();
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // "unix:path=…", for DBUS_SESSION_BUS_ADDRESS.
    const QString& address() const { return address_; }

private:
    SessionBus() = default;

    std::shared_ptr<platform::Task> daemon_;
    QString address_;
    QString connectionName_;
};

} // namespace bench
