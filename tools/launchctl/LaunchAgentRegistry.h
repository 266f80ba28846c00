#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

#include <optional>

#include <sys/types.h>

// The user's launch agents, mapped onto the session bus.
//
// Loading an agent's property list writes, for each of its "MachServices"
// names, a bus service file (Paths::busServicesDirectory()) that starts its
// "ProgramArguments"; the bus then starts the agent on the first message to
// one of those names, and again after it has died. What is loaded is kept
// per session in the runtime folder ("launchctl/<Label>.plist"), so `list`
// and `unload` know it. One registry serves one command; commands of
// several processes are not serialised, as the system's own tool does not
// promise either.
class LaunchAgentRegistry {
public:
    explicit LaunchAgentRegistry(QDBusConnection bus);

    // Fails with a message in `problem` when the property list cannot be
    // read, lacks a label or a program, is disabled (unless
    // `overrideDisabled`), or its label is loaded already.
    bool load(const QString& plistPath, bool overrideDisabled, QString* problem);
    // Removes the agent's service files and registration, then ends the
    // agent's process if it runs.
    bool unload(const QString& plistPath, QString* problem);
    bool isLoaded(const QString& label) const;
    // The process serving the label's first service name, if one runs.
    std::optional<pid_t> runningProcess(const QString& label) const;

private:
    struct Agent {
        QString label;
        QStringList programArguments;
        QStringList machServices;
        bool runAtLoad = false;
        bool disabled = false;
    };
    static std::optional<Agent> readAgent(const QString& plistPath, QString* problem);
    static QString registrationPath(const QString& label);
    static QString serviceFilePath(const QString& serviceName);
    static QString serviceFileText(const QString& serviceName, const QStringList& arguments);
    std::optional<QStringList> registeredServices(const QString& label) const;
    void reloadBusConfiguration();
    void endServingProcesses(const QStringList& serviceNames);
    bool start(const Agent& agent, QString* problem);

    QDBusConnection bus_;
};
