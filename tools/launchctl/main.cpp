// launchctl: loads, unloads and lists the user's launch agents, which on
// this platform are programs the session bus starts on demand (see
// LaunchAgentRegistry).

#include "LaunchAgentRegistry.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage = "usage: launchctl load [-w] [-F] PLIST...\n"
                               "       launchctl unload [-w] [-F] PLIST...\n"
                               "       launchctl list LABEL\n";

// The system's tool answers an unknown label with this status.
constexpr int kNoSuchService = 113;

int usage(const std::string& problem) {
    std::fprintf(stderr, "launchctl: %s\n%s", problem.c_str(), kUsage);
    return 64;
}

void complain(const std::string& problem) {
    std::fprintf(stderr, "%s\n", problem.c_str());
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    if (arguments.empty()) {
        return usage("a subcommand is needed");
    }
    const std::string subcommand = arguments.front();
    arguments.erase(arguments.begin());
    LaunchAgentRegistry registry;

    if (subcommand == "list") {
        if (arguments.size() != 1) {
            return usage("list takes one label");
        }
        const std::string& label = arguments.front();
        if (!registry.isLoaded(label)) {
            complain("Could not find service \"" + label + "\" in domain for port");
            return kNoSuchService;
        }
        const auto pid = registry.runningProcess(label);
        std::printf("{\n\t\"Label\" = \"%s\";\n", label.c_str());
        if (pid) {
            std::printf("\t\"PID\" = %d;\n", static_cast<int>(*pid));
        }
        std::printf("};\n");
        return 0;
    }
    if (subcommand == "bus-activate") {
        // Not one of the system tool's commands: what the bus runs for an
        // agent's further names (see LaunchAgentRegistry).
        if (arguments.size() != 2) {
            return usage("bus-activate takes the agent's first name and the name to serve");
        }
        std::string problem;
        if (!registry.activateThroughFirstName(arguments[0], arguments[1], &problem)) {
            complain(problem);
            return 1;
        }
        return 0;
    }
    if (subcommand != "load" && subcommand != "unload") {
        return usage("unknown subcommand " + subcommand);
    }
    bool overrideDisabled = false;
    std::vector<std::string> paths;
    for (const std::string& argument : arguments) {
        // -w (and -F, which forces the same for a user's agents) loads an
        // agent whose property list says it is disabled.
        const bool overrideOption = argument.size() > 1 && argument.front() == '-' &&
                                    std::all_of(argument.begin() + 1, argument.end(),
                                                [](char flag) { return flag == 'w' || flag == 'F'; });
        if (overrideOption) {
            overrideDisabled = true;
        } else if (!argument.empty() && argument.front() == '-') {
            return usage("unknown option " + argument);
        } else {
            paths.push_back(argument);
        }
    }
    if (paths.empty()) {
        return usage(subcommand + " needs a property list");
    }
    int status = 0;
    for (const std::string& path : paths) {
        std::string problem;
        const bool done = subcommand == "load" ? registry.load(path, overrideDisabled, &problem)
                                               : registry.unload(path, &problem);
        if (!done) {
            complain(problem);
            status = 1;
        }
    }
    return status;
}
