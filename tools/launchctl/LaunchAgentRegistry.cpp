#include "LaunchAgentRegistry.h"

#include "../open/DetachedLauncher.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <chrono>
#include <thread>

#include <platform/FileManager.h>
#include <platform/Paths.h>
#include <platform/PropertyList.h>
#include <platform/Value.h>
#include <signal.h>

namespace {

const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");

// An agent asked to end gets this long before it is killed.
constexpr auto kTerminationGrace = std::chrono::seconds(5);

// The bus splits Exec lines the way a shell splits words; single quotes
// keep every character but the quote itself.
QString quotedWord(const QString& word) {
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// Running, and not merely waiting for its parent to collect it.
bool isRunning(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray line = stat.readAll();
    const qsizetype end = line.lastIndexOf(')');
    return end > 0 && line.size() > end + 2 && line[end + 2] != 'Z';
}

// Labels name files of ours: one plain file name.
bool isUsableLabel(const QString& label) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-][A-Za-z0-9_.-]*$"));
    return label.size() <= 255 && pattern.match(label).hasMatch();
}

// Service files are read as desktop entries first: a backslash and the
// control characters must be escaped before the words are split.
QString desktopEscaped(QString value) {
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    value.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    value.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return value;
}

bool writeFileAtomically(const QString& path, const QByteArray& data, QString* problem) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    platform::Error error(QString(), 0);
    if (!platform::FileManager::writeDataAtomically(path, data, &error)) {
        *problem = error.localizedDescription();
        return false;
    }
    return true;
}

} // namespace

LaunchAgentRegistry::LaunchAgentRegistry(QDBusConnection bus) : bus_(std::move(bus)) {}

std::optional<LaunchAgentRegistry::Agent> LaunchAgentRegistry::readAgent(const QString& plistPath,
                                                                         QString* problem) {
    QFile file(plistPath);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("%1: %2").arg(plistPath, file.errorString());
        return std::nullopt;
    }
    const auto plist = platform::PropertyList::read(file.readAll());
    if (!plist || plist->kind() != platform::Value::Kind::Dictionary) {
        *problem = QStringLiteral("%1: not a property list of a launch agent").arg(plistPath);
        return std::nullopt;
    }
    const platform::Value::Dictionary& dictionary = plist->toDictionary();
    Agent agent;
    agent.label = dictionary.value(QStringLiteral("Label")).toString();
    for (const platform::Value& argument : dictionary.value(QStringLiteral("ProgramArguments")).toArray()) {
        agent.programArguments << argument.toString();
    }
    const QString program = dictionary.value(QStringLiteral("Program")).toString();
    if (!program.isEmpty()) {
        if (agent.programArguments.isEmpty()) {
            agent.programArguments << program;
        } else {
            agent.programArguments[0] = program;
        }
    }
    agent.machServices = dictionary.value(QStringLiteral("MachServices")).toDictionary().keys();
    agent.machServices.sort();
    agent.runAtLoad = dictionary.value(QStringLiteral("RunAtLoad")).toBool();
    agent.disabled = dictionary.value(QStringLiteral("Disabled")).toBool();
    if (agent.label.isEmpty()) {
        *problem = QStringLiteral("%1: the property list has no Label").arg(plistPath);
        return std::nullopt;
    }
    if (!isUsableLabel(agent.label)) {
        *problem = QStringLiteral("%1: \"%2\" cannot be a label").arg(plistPath, agent.label);
        return std::nullopt;
    }
    for (const QString& serviceName : agent.machServices) {
        if (!platform::Paths::busServiceFilePath(serviceName)) {
            *problem = QStringLiteral("%1: \"%2\" is not a service name").arg(plistPath, serviceName);
            return std::nullopt;
        }
    }
    if (agent.programArguments.isEmpty() || !QDir::isAbsolutePath(agent.programArguments.first())) {
        *problem = QStringLiteral("%1: the agent's program must be an absolute path").arg(plistPath);
        return std::nullopt;
    }
    return agent;
}

QString LaunchAgentRegistry::registrationPath(const QString& label) {
    return platform::Paths::runtimeDirectory() + QStringLiteral("/launchctl/") + label +
           QStringLiteral(".plist");
}

QString LaunchAgentRegistry::serviceFilePath(const QString& serviceName) {
    // Every name here was checked when it was read.
    return platform::Paths::busServiceFilePath(serviceName).value_or(QString());
}

QString LaunchAgentRegistry::serviceFileText(const QString& serviceName, const QStringList& arguments) {
    QStringList words;
    for (const QString& argument : arguments) {
        words << quotedWord(argument);
    }
    return QStringLiteral("[D-BUS Service]\nName=%1\nExec=%2\n")
        .arg(serviceName, desktopEscaped(words.join(QLatin1Char(' '))));
}

bool LaunchAgentRegistry::isLoaded(const QString& label) const {
    return QFile::exists(registrationPath(label));
}

std::optional<QStringList> LaunchAgentRegistry::registeredServices(const QString& label) const {
    QFile file(registrationPath(label));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const auto plist = platform::PropertyList::read(file.readAll());
    if (!plist) {
        return QStringList();
    }
    QStringList services;
    for (const platform::Value& name :
         plist->toDictionary().value(QStringLiteral("MachServices")).toArray()) {
        // Only names this tool wrote can be there; anything else is ignored.
        if (platform::Paths::busServiceFilePath(name.toString())) {
            services << name.toString();
        }
    }
    return services;
}

bool LaunchAgentRegistry::load(const QString& plistPath, bool overrideDisabled, QString* problem) {
    const std::optional<Agent> agent = readAgent(plistPath, problem);
    if (!agent) {
        return false;
    }
    if (agent->disabled && !overrideDisabled) {
        *problem = QStringLiteral("%1: service is disabled").arg(plistPath);
        return false;
    }
    if (isLoaded(agent->label)) {
        *problem = QStringLiteral("%1: service already loaded").arg(plistPath);
        return false;
    }
    QStringList written;
    const auto undo = [&] {
        for (const QString& serviceName : written) {
            QFile::remove(serviceFilePath(serviceName));
        }
        return false;
    };
    for (const QString& serviceName : agent->machServices) {
        if (!writeFileAtomically(serviceFilePath(serviceName),
                                 serviceFileText(serviceName, agent->programArguments).toUtf8(), problem)) {
            return undo();
        }
        written << serviceName;
    }
    const platform::Value::Dictionary registration{
        {QStringLiteral("Path"), platform::Value(QFileInfo(plistPath).absoluteFilePath())},
        {QStringLiteral("MachServices"), platform::Value(agent->machServices)},
    };
    const auto data =
        platform::PropertyList::write(platform::Value(registration), platform::PropertyList::Format::XML);
    if (!data || !writeFileAtomically(registrationPath(agent->label), *data, problem)) {
        return undo();
    }
    reloadBusConfiguration();
    return !agent->runAtLoad || start(*agent, problem);
}

bool LaunchAgentRegistry::start(const Agent& agent, QString* problem) {
    if (agent.machServices.isEmpty()) {
        return DetachedLauncher::launch(agent.programArguments.first(), agent.programArguments.mid(1),
                                        problem)
            .has_value();
    }
    if (!bus_.isConnected()) {
        *problem = QStringLiteral("%1: no session bus to start the agent on").arg(agent.label);
        return false;
    }
    // Started through the bus, so the bus knows the process as the one
    // serving the names and starts it again when it has gone. Like the
    // system's tool, loading does not wait for the agent to come up: the
    // bus has taken the request once it answers the ping sent after it
    // (it handles a connection's messages in order), and it holds messages
    // for the names until the agent owns them.
    QDBusMessage request = QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService,
                                                          QStringLiteral("StartServiceByName"));
    request << agent.machServices.first() << 0U;
    const QDBusMessage pong = QDBusMessage::createMethodCall(
        kBusService, kBusPath, QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    const QDBusMessage reply = bus_.send(request) ? bus_.call(pong) : QDBusMessage();
    if (reply.type() != QDBusMessage::ReplyMessage) {
        *problem = QStringLiteral("%1: the bus did not take the request to start it (%2)")
                       .arg(agent.label, reply.errorMessage());
        return false;
    }
    return true;
}

bool LaunchAgentRegistry::unload(const QString& plistPath, QString* problem) {
    const std::optional<Agent> agent = readAgent(plistPath, problem);
    if (!agent) {
        return false;
    }
    const std::optional<QStringList> services = registeredServices(agent->label);
    if (!services) {
        *problem = QStringLiteral("%1: Could not find specified service").arg(plistPath);
        return false;
    }
    // The service files go first, so that no message sent meanwhile starts
    // the agent again.
    for (const QString& serviceName : *services) {
        QFile::remove(serviceFilePath(serviceName));
    }
    QFile::remove(registrationPath(agent->label));
    reloadBusConfiguration();
    endServingProcesses(*services);
    return true;
}

std::optional<pid_t> LaunchAgentRegistry::runningProcess(const QString& label) const {
    const std::optional<QStringList> services = registeredServices(label);
    if (!services || services->isEmpty() || !bus_.isConnected()) {
        return std::nullopt;
    }
    const QDBusReply<uint> pid = bus_.interface()->servicePid(services->first());
    if (!pid.isValid()) {
        return std::nullopt;
    }
    return static_cast<pid_t>(pid.value());
}

void LaunchAgentRegistry::reloadBusConfiguration() {
    if (!bus_.isConnected()) {
        return;
    }
    // The bus also notices changed service folders by itself, but only
    // eventually; a reload makes the change count before we answer.
    bus_.call(
        QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService, QStringLiteral("ReloadConfig")));
}

void LaunchAgentRegistry::endServingProcesses(const QStringList& serviceNames) {
    if (!bus_.isConnected()) {
        return;
    }
    QList<pid_t> processes;
    for (const QString& serviceName : serviceNames) {
        const QDBusReply<uint> pid = bus_.interface()->servicePid(serviceName);
        if (pid.isValid() && pid.value() > 0 && !processes.contains(static_cast<pid_t>(pid.value()))) {
            processes << static_cast<pid_t>(pid.value());
        }
    }
    for (const pid_t pid : processes) {
        ::kill(pid, SIGTERM);
    }
    const auto deadline = std::chrono::steady_clock::now() + kTerminationGrace;
    for (const pid_t pid : processes) {
        while (isRunning(pid) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (isRunning(pid)) {
            ::kill(pid, SIGKILL);
        }
    }
}
