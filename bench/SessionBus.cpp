#include "SessionBus.h"

#include "BenchSupport.h"
#include "platform/Paths.h"
#include "platform/Task.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include <unistd.h>

namespace bench {

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kStopTimeout = std::chrono::seconds(10);

QByteArray configuration(const QString& socketPath, const QString& serviceFolder) {
    return QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%1</listen>
  <auth>EXTERNAL</auth>
  <servicedir>%2</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
  <limit name="max_message_size">1000000000</limit>
  <limit name="service_start_timeout">30000</limit>
</busconfig>
)")
        .arg(socketPath.toHtmlEscaped(), serviceFolder.toHtmlEscaped())
        .toUtf8();
}

// A process that is gone, or a zombie nobody of ours has to reap.
bool processIsGone(pid_t pid) {
    if (::kill(pid, 0) != 0) {
        return true;
    }
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return true;
    }
    const QByteArray line = stat.readAll();
    const qsizetype afterName = line.lastIndexOf(')');
    return afterName >= 0 && line.mid(afterName + 2, 1) == "Z";
}

bool waitUntilGone(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!processIsGone(pid)) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

std::unique_ptr<SessionBus> SessionBus::start() {
    static std::atomic<int> counter{0};
    const QString runtime = platform::Paths::runtimeDirectory();
    const QString socketPath = runtime + QStringLiteral("/session-bus");
    const QString configPath = runtime + QStringLiteral("/session-bus.conf");
    const QString serviceFolder = platform::Paths::busServicesDirectory();
    if (!QDir().mkpath(serviceFolder) || !writeFile(configPath, configuration(socketPath, serviceFolder))) {
        std::fprintf(stderr, "bench: cannot write the session bus's configuration in %s\n", qPrintable(runtime));
        return nullptr;
    }
    std::unique_ptr<SessionBus> bus(new SessionBus);
    bus->address_ = QStringLiteral("unix:path=") + socketPath;
    bus->connectionName_ = QStringLiteral("bench-bus-%1").arg(counter.fetch_add(1));
    bus->daemon_ = platform::Task::make();
    bus->daemon_->setLaunchPath(QStringLiteral("/usr/bin/dbus-daemon"));
    bus->daemon_->setArguments({QStringLiteral("--nofork"), QStringLiteral("--config-file=") + configPath});
    bus->daemon_->setStandardInput(platform::Task::Stream::NullDevice);
    platform::Error error(QString(), 0);
    if (!bus->daemon_->launch(&error)) {
        std::fprintf(stderr, "bench: dbus-daemon: %s\n", qPrintable(error.description()));
        bus->daemon_.reset();
        return nullptr;
    }
    const auto deadline = Clock::now() + kStartTimeout;
    for (;;) {
        if (QFile::exists(socketPath) &&
            QDBusConnection::connectToBus(bus->address_, bus->connectionName_).isConnected()) {
            return bus;
        }
        QDBusConnection::disconnectFromBus(bus->connectionName_);
        if (!bus->daemon_->isRunning() || Clock::now() >= deadline) {
            std::fprintf(stderr, "bench: dbus-daemon did not come up at %s\n", qPrintable(socketPath));
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

SessionBus::~SessionBus() {
    if (!daemon_) {
        return;
    }
    // The programs the bus started (the desktop client's agent) are not
    // ours to wait for: they are found by the names they serve.
    QList<pid_t> serving;
    {
        QDBusConnection bus(connectionName_);
        if (bus.isConnected()) {
            const QDBusReply<QStringList> names = bus.interface()->registeredServiceNames();
            for (const QString& name : names.value()) {
                const QDBusReply<uint> pid = bus.interface()->servicePid(name);
                const auto process = static_cast<pid_t>(pid.value());
                if (pid.isValid() && process > 0 && process != ::getpid() &&
                    process != daemon_->processIdentifier() && !serving.contains(process)) {
                    serving << process;
                }
            }
        }
    }
    QDBusConnection::disconnectFromBus(connectionName_);
    for (const pid_t pid : serving) {
        ::kill(pid, SIGTERM);
        if (!waitUntilGone(pid, kStopTimeout)) {
            ::kill(pid, SIGKILL);
            waitUntilGone(pid, kStopTimeout);
        }
    }
    daemon_->terminate();
    if (!daemon_->waitUntilExit(kStopTimeout)) {
        ::kill(daemon_->processIdentifier(), SIGKILL);
        daemon_->waitUntilExit();
    }
}

} // namespace bench
