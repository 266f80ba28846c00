#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace testing_support {

// A session bus of its own (`dbus-daemon`) for a test case, a benchmark run
// or the demo, whose service folder is the current root's
// (platform::Paths::busServicesDirectory() when started), so that service
// files written there (the launchctl stand-in's) make the bus start their
// programs on demand, with the environment this process had when the bus
// started. Programs started while the object lives reach the bus through
// DBUS_SESSION_BUS_ADDRESS, which it sets for its life. Going away, it ends
// the programs serving names on the bus, then the daemon, and waits until
// all of them are gone, so the next case or run starts from nothing.
//
// Not shared between threads: the thread that starts the bus ends it.
class SessionBusProcess {
public:
    // The running bus once it answers, or null (with the reason on standard
    // error) when it did not come up within a few seconds.
    // The bus refuses to let anyone own the names of `refusedNames`.
    static std::unique_ptr<SessionBusProcess> start(const QStringList& refusedNames = {});
    // The daemon's configuration: a session bus listening at `socketPath`
    // that lets every message through, lets every name but `refusedNames`
    // be owned, and starts what the service files of `serviceFolder` describe.
    static QByteArray configuration(const QString& socketPath, const QString& serviceFolder,
                                    const QStringList& refusedNames = {});

    ~SessionBusProcess();
    SessionBusProcess(const SessionBusProcess&) = delete;
    SessionBusProcess& operator=(const SessionBusProcess&) = delete;

    // "unix:path=…", as set in DBUS_SESSION_BUS_ADDRESS.
    const QString& address() const { return address_; }

private:
    SessionBusProcess() = default;
    struct Process;
    std::unique_ptr<Process> process_;
    QString address_;
};

} // namespace testing_support
