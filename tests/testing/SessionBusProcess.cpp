#include "SessionBusProcess.h"

#include "EnvironmentOverride.h"
#include "platform/Paths.h"
#include "platform/Task.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <thread>

#include <unistd.h>

namespace testing_support {

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kStopTimeout = std::chrono::seconds(10);

// Polls rather than running the main run loop, so that ending a bus in a
// test's tear-down does not run the test's queued main-queue work.
bool pollUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A process that is gone, or a zombie its parent (the daemon) has yet to reap.
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

bool writeConfiguration(const QString& path, const QByteArray& text) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
}

} // namespace

struct SessionBusProcess::Process {
    std::shared_ptr<platform::Task> daemon;
    QString socketPath;
    QString configPath;
    QString connectionName;
    std::unique_ptr<EnvironmentOverride> environment;

    // The processes serving names on the bus, but for this one and the
    // daemon: the programs the bus started are not ours to wait for.
    QList<pid_t> servingProcesses() const {
        QList<pid_t> processes;
        QDBusConnection bus(connectionName);
        if (!bus.isConnected()) {
            return processes;
        }
        const QDBusReply<QStringList> names = bus.interface()->registeredServiceNames();
        for (const QString& name : names.value()) {
            const QDBusReply<uint> pid = bus.interface()->servicePid(name);
            const auto process = static_cast<pid_t>(pid.value());
            if (pid.isValid() && process > 0 && process != ::getpid() &&
                process != daemon->processIdentifier() && !processes.contains(process)) {
                processes << process;
            }
        }
        return processes;
    }

    void stopDaemon() {
        daemon->terminate();
        if (!daemon->waitUntilExit(kStopTimeout)) {
            ::kill(daemon->processIdentifier(), SIGKILL);
            daemon->waitUntilExit();
        }
        QFile::remove(socketPath);
        QFile::remove(configPath);
    }

    void stop() {
        const QList<pid_t> serving = servingProcesses();
        QDBusConnection::disconnectFromBus(connectionName);
        for (const pid_t pid : serving) {
            ::kill(pid, SIGTERM);
            if (!pollUntil([pid] { return processIsGone(pid); }, kStopTimeout)) {
                ::kill(pid, SIGKILL);
                pollUntil([pid] { return processIsGone(pid); }, kStopTimeout);
            }
        }
        stopDaemon();
    }
};

QByteArray SessionBusProcess::configuration(const QString& socketPath, const QString& serviceFolder,
                                            const QStringList& refusedNames) {
    QString refusals;
    for (const QString& name : refusedNames) {
        refusals += QStringLiteral("\n    <deny own=\"%1\"/>").arg(name.toHtmlEscaped());
    }
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
    <allow own="*"/>%3
  </policy>
  <limit name="max_message_size">1000000000</limit>
  <limit name="service_start_timeout">30000</limit>
</busconfig>
)")
        .arg(socketPath.toHtmlEscaped(), serviceFolder.toHtmlEscaped(), refusals)
        .toUtf8();
}

std::unique_ptr<SessionBusProcess> SessionBusProcess::start(const QStringList& refusedNames) {
    static std::atomic<int> counter{0};
    const int number = counter.fetch_add(1);
    auto process = std::make_unique<Process>();
    // Socket paths are short; roots need not be.
    const QString stem =
        QStringLiteral("%1/kestrel-bus-%2-%3").arg(QDir::tempPath()).arg(::getpid()).arg(number);
    process->socketPath = stem;
    process->configPath = stem + QStringLiteral(".conf");
    process->connectionName = QStringLiteral("kestrel-private-bus-%1").arg(number);
    const QString serviceFolder = platform::Paths::busServicesDirectory();
    if (!QDir().mkpath(serviceFolder) ||
        !writeConfiguration(process->configPath,
                            configuration(process->socketPath, serviceFolder, refusedNames))) {
        std::fprintf(stderr, "dbus-daemon: cannot write its configuration %s\n",
                     qPrintable(process->configPath));
        return nullptr;
    }

    platform::Error error(QString(), 0);
    process->daemon = platform::Task::make();
    process->daemon->setLaunchPath(QStringLiteral("/usr/bin/dbus-daemon"));
    process->daemon->setArguments(
        {QStringLiteral("--nofork"), QStringLiteral("--config-file=") + process->configPath});
    process->daemon->setStandardInput(platform::Task::Stream::NullDevice);
    if (!process->daemon->launch(&error)) {
        std::fprintf(stderr, "dbus-daemon: %s\n", qPrintable(error.description()));
        QFile::remove(process->configPath);
        return nullptr;
    }

    const QString address = QStringLiteral("unix:path=") + process->socketPath;
    const auto tryConnecting = [&] {
        if (!QFile::exists(process->socketPath)) {
            return false;
        }
        if (QDBusConnection::connectToBus(address, process->connectionName).isConnected()) {
            return true;
        }
        QDBusConnection::disconnectFromBus(process->connectionName);
        return false;
    };
    const bool connected =
        pollUntil([&] { return !process->daemon->isRunning() || tryConnecting(); }, kStartTimeout) &&
        process->daemon->isRunning();
    if (!connected) {
        QDBusConnection::disconnectFromBus(process->connectionName);
        process->stopDaemon();
        std::fprintf(stderr, "dbus-daemon did not come up at %s within %lld s\n",
                     qPrintable(process->socketPath), static_cast<long long>(kStartTimeout.count()));
        return nullptr;
    }
    process->environment = std::make_unique<EnvironmentOverride>(
        std::initializer_list<EnvironmentOverride::Entry>{{"DBUS_SESSION_BUS_ADDRESS", address.toUtf8()}});

    std::unique_ptr<SessionBusProcess> bus(new SessionBusProcess);
    bus->process_ = std::move(process);
    bus->address_ = address;
    return bus;
}

SessionBusProcess::~SessionBusProcess() {
    process_->stop();
}

} // namespace testing_support
