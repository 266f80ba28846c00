#include "SessionBusProcess.h"

#include "EnvironmentOverride.h"
#include "TestSupport.h"
#include "platform/Paths.h"
#include "platform/Task.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>

#include <atomic>
#include <chrono>
#include <csignal>

#include <unistd.h>

namespace testing_support {

namespace {

constexpr auto startTimeout = std::chrono::seconds(10);
constexpr auto stopTimeout = std::chrono::seconds(10);

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

} // namespace

struct SessionBusProcess::Process {
    std::shared_ptr<platform::Task> task;
    QString socketPath;
    QString connectionName;
    std::unique_ptr<EnvironmentOverride> environment;

    // The processes serving names on the bus, but for this one.
    QList<pid_t> servingProcesses() const {
        QList<pid_t> processes;
        QDBusConnection bus(connectionName);
        const QDBusReply<QStringList> names = bus.interface()->registeredServiceNames();
        for (const QString& name : names.value()) {
            const QDBusReply<uint> pid = bus.interface()->servicePid(name);
            const auto process = static_cast<pid_t>(pid.value());
            if (pid.isValid() && process > 0 && process != ::getpid() &&
                process != task->processIdentifier() && !processes.contains(process)) {
                processes << process;
            }
        }
        return processes;
    }

    void stop() {
        const QList<pid_t> started = servingProcesses();
        QDBusConnection::disconnectFromBus(connectionName);
        for (const pid_t pid : started) {
            ::kill(pid, SIGKILL);
        }
        task->terminate();
        if (!task->waitUntilExit(stopTimeout)) {
            ::kill(task->processIdentifier(), SIGKILL);
            task->waitUntilExit();
        }
        QFile::remove(socketPath);
    }
};

std::unique_ptr<SessionBusProcess> SessionBusProcess::start() {
    static std::atomic<int> counter{0};
    const int number = counter.fetch_add(1);
    auto process = std::make_unique<Process>();
    // Socket paths are short; test roots need not be.
    process->socketPath =
        QStringLiteral("%1/kestrel-bus-%2-%3").arg(QDir::tempPath()).arg(::getpid()).arg(number);
    process->connectionName = QStringLiteral("kestrel-test-bus-%1").arg(number);
    const QString serviceFolder = platform::Paths::busServicesDirectory();
    const QString configPath = QStringLiteral("%1/session-bus-%2.conf")
                                   .arg(testRoot().isEmpty() ? QDir::tempPath() : testRoot())
                                   .arg(number);
    if (!QDir().mkpath(serviceFolder) ||
        !writeFile(configPath, configuration(process->socketPath, serviceFolder))) {
        ADD_FAILURE() << "dbus-daemon: cannot write its configuration";
        return nullptr;
    }

    platform::Error error(QString(), 0);
    process->task = platform::Task::make();
    process->task->setLaunchPath(QStringLiteral("/usr/bin/dbus-daemon"));
    process->task->setArguments({QStringLiteral("--nofork"), QStringLiteral("--config-file=") + configPath});
    process->task->setStandardInput(platform::Task::Stream::NullDevice);
    if (!process->task->launch(&error)) {
        ADD_FAILURE() << "dbus-daemon: " << error.description().toStdString();
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
        waitUntil([&] { return !process->task->isRunning() || tryConnecting(); }, startTimeout) &&
        process->task->isRunning();
    if (!connected) {
        process->task->terminate();
        process->task->waitUntilExit(stopTimeout);
        ADD_FAILURE() << "dbus-daemon did not come up within " << startTimeout.count() << " s";
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
    if (process_) {
        process_->stop();
    }
}

} // namespace testing_support
