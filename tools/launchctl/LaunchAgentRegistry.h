#pragma once

#include "SessionBus.h"

#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

// The user's launch agents, mapped onto the session bus.
//
// Loading an agent's property list writes, for each of its "MachServices"
// names, a bus service file (PathRules::busServicesDirectory()) that starts
// its "ProgramArguments"; the bus then starts the agent on the first message
// to one of those names, and again after it has died. What is loaded is
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
    static std::optional<std::vector<std::string>> registeredServices(const std::string& label);
    void endServingProcesses(const std::vector<std::string>& serviceNames);
    bool start(const Agent& agent, std::string* problem);

    SessionBus bus_;
};
