#pragma once

#include "SessionBus.h"

#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

// The user's launch agents, mapped onto the session bus.
//
// Loading an agent's property list writes, for each of its "MachServices"
// names, a bus service file (PathRules::busServicesDirectory()); the bus
// then starts the agent on the first message to one of those names, and
// again after it has died. The bus starts a program per name, but an agent
// is one process whatever name it is started for: only the first name's
// file (in sorted order) starts "ProgramArguments"; the file of every
// other name runs this tool's `activateThroughFirstName`, so an agent must
// claim its first name to be started through any of them. What is loaded is
// kept per session in the runtime folder ("launchctl/<Label>.plist"), so
// `list` and `unload` know it. One registry serves one command; commands of
// several processes are not serialised, as the system's own tool does not
// promise either. Without Qt, so that the tool starts quickly: it runs
// several times in every installation of the desktop client.
class LaunchAgentRegistry {
public:
    // Fails with a message in `problem` when the property list cannot be
    // read, lacks a label or a program, is disabled (unless
    // `overrideDisabled`), or its label is loaded already.
    bool load(const std::string& plistPath, bool overrideDisabled, std::string* problem);
    // Removes the agent's service files and registration, then ends the
    // agent's process if it runs.
    bool unload(const std::string& plistPath, std::string* problem);
    bool isLoaded(const std::string& label) const;
    // The process serving the label's first service name, if one runs.
    std::optional<pid_t> runningProcess(const std::string& label);
    // Has the bus start the agent through its `firstName`, unless it runs,
    // and waits until the agent serves `name` as well. Fails when the
    // agent cannot be started, loses `firstName` or takes too long.
    bool activateThroughFirstName(const std::string& firstName, const std::string& name,
                                  std::string* problem);

private:
    struct Agent {
        std::string label;
        std::vector<std::string> programArguments;
        std::vector<std::string> machServices;
        bool runAtLoad = false;
        bool disabled = false;
    };
    static std::optional<Agent> readAgent(const std::string& plistPath, std::string* problem);
    static std::string registrationPath(const std::string& label);
    static std::string serviceFilePath(const std::string& serviceName);
    static std::string serviceFileText(const std::string& serviceName,
                                       const std::vector<std::string>& arguments);
    // What the bus runs for `serviceName`.
    static std::optional<std::vector<std::string>> activationArguments(const Agent& agent,
                                                                       const std::string& serviceName);
    static std::optional<std::vector<std::string>> registeredServices(const std::string& label);
    void endServingProcesses(const std::vector<std::string>& serviceNames);
    bool start(const Agent& agent, std::string* problem);

    SessionBus bus_;
};
