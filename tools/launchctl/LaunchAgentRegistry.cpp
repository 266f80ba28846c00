#include "LaunchAgentRegistry.h"

#include "../open/DetachedLauncher.h"
#include "platform/BooleanText.h"
#include "platform/FileReplacement.h"
#include "platform/PathRules.h"
#include "platform/PlistDictionary.h"

#include <plist/plist.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include <signal.h>
#include <unistd.h>

using platform::PathRules;

namespace {

// An agent asked to end gets this long before it is killed.
constexpr auto kTerminationGrace = std::chrono::seconds(5);
// How long `bus-activate` waits in all, as long as the bus waits for a
// started program by default.
constexpr auto kActivationWait = std::chrono::seconds(25);

// This program, for the service files of an agent's further names.
std::optional<std::string> ownExecutable() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::nullopt : std::optional<std::string>(path.string());
}

struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPointer = std::unique_ptr<void, PlistFree>;

std::optional<std::string> readFile(const std::string& path, std::string* problem) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (problem) {
            *problem = path + ": " + std::strerror(errno);
        }
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// XML or binary; nothing for anything else.
PlistPointer parsePlist(const std::string& data) {
    plist_t root = nullptr;
    if (!data.empty()) {
        plist_from_memory(data.data(), static_cast<uint32_t>(data.size()), &root);
    }
    return PlistPointer(root);
}

// The string at `node`, or an empty one for anything else.
std::string stringValue(plist_t node) {
    if (!node || plist_get_node_type(node) != PLIST_STRING) {
        return {};
    }
    char* value = nullptr;
    plist_get_string_val(node, &value);
    std::string result = value ? value : "";
    std::free(value);
    return result;
}

// As the framework reads a boolean: numbers other than 0, and text as
// BooleanText reads it, count as true too.
bool boolValue(plist_t node) {
    switch (node ? plist_get_node_type(node) : PLIST_NONE) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value != 0;
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return value != 0;
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value != 0.0;
    }
    case PLIST_STRING:
        return platform::BooleanText::isTrue(stringValue(node));
    default:
        return false;
    }
}

std::vector<std::string> stringsOfArray(plist_t node) {
    std::vector<std::string> strings;
    if (node && plist_get_node_type(node) == PLIST_ARRAY) {
        for (uint32_t i = 0; i < plist_array_get_size(node); ++i) {
            strings.push_back(stringValue(plist_array_get_item(node, i)));
        }
    }
    return strings;
}

std::vector<std::string> keysOfDictionary(plist_t node) {
    std::vector<std::string> keys;
    platform::PlistDictionary::forEachEntry(node, [&keys](const char* key, plist_t) {
        keys.emplace_back(key);
        return true;
    });
    std::sort(keys.begin(), keys.end());
    return keys;
}

// The bus splits Exec lines the way a shell splits words; single quotes
// keep every character but the quote itself.
std::string quotedWord(const std::string& word) {
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Service files are read as desktop entries first: a backslash and the
// control characters must be escaped before the words are split.
std::string desktopEscaped(const std::string& value) {
    std::string escaped;
    for (const char c : value) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

// Running, and not merely waiting for its parent to collect it.
bool isRunning(pid_t pid) {
    const auto stat = readFile("/proc/" + std::to_string(pid) + "/stat", nullptr);
    if (!stat) {
        return false;
    }
    const size_t end = stat->rfind(')');
    return end != std::string::npos && end > 0 && stat->size() > end + 2 && (*stat)[end + 2] != 'Z';
}

// Labels name files of ours: one plain file name.
bool isUsableLabel(const std::string& label) {
    const auto allowed = [](char c, bool first) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-' || (!first && c == '.');
    };
    if (label.empty() || label.size() > 255 || !allowed(label.front(), true)) {
        return false;
    }
    return std::all_of(label.begin() + 1, label.end(), [&](char c) { return allowed(c, false); });
}

// The file at `path` replaced by `data`, as a newly created file: readable
// by all unless the user's mask says otherwise. Not synced: the next load
// writes them again.
bool writeFile(const std::string& path, const std::string& data, std::string* problem) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    int failure = 0;
    if (!platform::FileReplacement::replace(path, data, platform::FileReplacement::newFileMode(),
                                            platform::FileReplacement::Durability::Cached, &failure)) {
        *problem = path + ": " + std::strerror(failure);
        return false;
    }
    return true;
}

} // namespace

std::optional<LaunchAgentRegistry::Agent> LaunchAgentRegistry::readAgent(const std::string& plistPath,
                                                                         std::string* problem) {
    const std::optional<std::string> data = readFile(plistPath, problem);
    if (!data) {
        return std::nullopt;
    }
    const PlistPointer plist = parsePlist(*data);
    plist_t dictionary = plist.get();
    if (!dictionary || plist_get_node_type(dictionary) != PLIST_DICT) {
        *problem = plistPath + ": not a property list of a launch agent";
        return std::nullopt;
    }
    Agent agent;
    agent.label = stringValue(plist_dict_get_item(dictionary, "Label"));
    agent.programArguments = stringsOfArray(plist_dict_get_item(dictionary, "ProgramArguments"));
    const std::string program = stringValue(plist_dict_get_item(dictionary, "Program"));
    if (!program.empty()) {
        if (agent.programArguments.empty()) {
            agent.programArguments.push_back(program);
        } else {
            agent.programArguments.front() = program;
        }
    }
    agent.machServices = keysOfDictionary(plist_dict_get_item(dictionary, "MachServices"));
    agent.runAtLoad = boolValue(plist_dict_get_item(dictionary, "RunAtLoad"));
    agent.disabled = boolValue(plist_dict_get_item(dictionary, "Disabled"));
    if (agent.label.empty()) {
        *problem = plistPath + ": the property list has no Label";
        return std::nullopt;
    }
    if (!isUsableLabel(agent.label)) {
        *problem = plistPath + ": \"" + agent.label + "\" cannot be a label";
        return std::nullopt;
    }
    for (const std::string& serviceName : agent.machServices) {
        if (!PathRules::busServiceFilePath(serviceName)) {
            *problem = plistPath + ": \"" + serviceName + "\" is not a service name";
            return std::nullopt;
        }
    }
    if (agent.programArguments.empty() || agent.programArguments.front().empty() ||
        agent.programArguments.front().front() != '/') {
        *problem = plistPath + ": the agent's program must be an absolute path";
        return std::nullopt;
    }
    return agent;
}

std::string LaunchAgentRegistry::registrationPath(const std::string& label) {
    // Beside the service files, and as lasting: an agent loaded with -w
    // stays loaded from one login to the next, as the bus goes on starting it.
    return PathRules::dataHomeDirectory() + "/kestrel/launchctl/" + label + ".plist";
}

std::string LaunchAgentRegistry::serviceFilePath(const std::string& serviceName) {
    // Every name here was checked when it was read.
    return PathRules::busServiceFilePath(serviceName).value_or(std::string());
}

std::string LaunchAgentRegistry::serviceFileText(const std::string& serviceName,
                                                 const std::vector<std::string>& arguments) {
    std::string words;
    for (const std::string& argument : arguments) {
        words += (words.empty() ? "" : " ") + quotedWord(argument);
    }
    return "[D-BUS Service]\nName=" + serviceName + "\nExec=" + desktopEscaped(words) + "\n";
}

std::optional<std::vector<std::string>>
LaunchAgentRegistry::activationArguments(const Agent& agent, const std::string& serviceName) {
    const std::string& firstName = agent.machServices.front();
    if (serviceName == firstName) {
        return agent.programArguments;
    }
    const std::optional<std::string> tool = ownExecutable();
    if (!tool) {
        return std::nullopt;
    }
    return std::vector<std::string>{*tool, "bus-activate", firstName, serviceName};
}

bool LaunchAgentRegistry::activateThroughFirstName(const std::string& firstName, const std::string& name,
                                                   std::string* problem) {
    for (const std::string& serviceName : {firstName, name}) {
        if (!PathRules::busServiceFilePath(serviceName)) {
            *problem = "\"" + serviceName + "\" is not a service name";
            return false;
        }
    }
    // An unload under way has removed the name's file first: nothing starts.
    if (::access(serviceFilePath(name).c_str(), F_OK) != 0) {
        *problem = name + " is no longer loaded";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kActivationWait;
    if (!bus_.startAndWait(firstName, kActivationWait, problem)) {
        return false;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (!bus_.waitUntilServed(name, firstName, left)) {
        *problem = "the agent serving " + firstName + " did not take " + name;
        return false;
    }
    return true;
}

bool LaunchAgentRegistry::isLoaded(const std::string& label) const {
    return ::access(registrationPath(label).c_str(), F_OK) == 0;
}

std::optional<std::vector<std::string>> LaunchAgentRegistry::registeredServices(const std::string& label) {
    const std::optional<std::string> data = readFile(registrationPath(label), nullptr);
    if (!data) {
        return std::nullopt;
    }
    const PlistPointer plist = parsePlist(*data);
    std::vector<std::string> services;
    if (plist && plist_get_node_type(plist.get()) == PLIST_DICT) {
        for (const std::string& name : stringsOfArray(plist_dict_get_item(plist.get(), "MachServices"))) {
            // Only names this tool wrote can be there; anything else is ignored.
            if (PathRules::busServiceFilePath(name)) {
                services.push_back(name);
            }
        }
    }
    return services;
}

bool LaunchAgentRegistry::load(const std::string& plistPath, bool overrideDisabled, std::string* problem) {
    const std::optional<Agent> agent = readAgent(plistPath, problem);
    if (!agent) {
        return false;
    }
    if (agent->disabled && !overrideDisabled) {
        *problem = plistPath + ": service is disabled";
        return false;
    }
    if (isLoaded(agent->label)) {
        *problem = plistPath + ": service already loaded";
        return false;
    }
    std::vector<std::string> written;
    const auto undo = [&] {
        for (const std::string& serviceName : written) {
            ::unlink(serviceFilePath(serviceName).c_str());
        }
        return false;
    };
    for (const std::string& serviceName : agent->machServices) {
        const std::optional<std::vector<std::string>> arguments = activationArguments(*agent, serviceName);
        if (!arguments) {
            *problem = plistPath + ": cannot find this program to start the agent through " + serviceName;
            return undo();
        }
        if (!writeFile(serviceFilePath(serviceName), serviceFileText(serviceName, *arguments), problem)) {
            return undo();
        }
        written.push_back(serviceName);
    }
    const PlistPointer registration(plist_new_dict());
    std::error_code ignored;
    const std::string absolutePlistPath =
        PathRules::clean(std::filesystem::absolute(plistPath, ignored).string());
    plist_dict_set_item(registration.get(), "Path", plist_new_string(absolutePlistPath.c_str()));
    plist_t services = plist_new_array();
    for (const std::string& serviceName : agent->machServices) {
        plist_array_append_item(services, plist_new_string(serviceName.c_str()));
    }
    plist_dict_set_item(registration.get(), "MachServices", services);
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(registration.get(), &xml, &length);
    const std::string data = xml ? std::string(xml, length) : std::string();
    plist_to_xml_free(xml);
    if (data.empty() || !writeFile(registrationPath(agent->label), data, problem)) {
        return undo();
    }
    bus_.reloadConfiguration();
    return !agent->runAtLoad || start(*agent, problem);
}

bool LaunchAgentRegistry::start(const Agent& agent, std::string* problem) {
    if (agent.machServices.empty()) {
        return DetachedLauncher::launch(agent.programArguments.front(),
                                        {agent.programArguments.begin() + 1, agent.programArguments.end()},
                                        problem)
            .has_value();
    }
    std::string reason;
    if (!bus_.isReachable(&reason)) {
        *problem = agent.label + ": no session bus to start the agent on (" + reason + ")";
        return false;
    }
    // Started through the bus, so the bus knows the process as the one
    // serving the names and starts it again when it has gone. Like the
    // system's tool, loading does not wait for the agent to come up; the
    // bus holds messages for the names until the agent owns them.
    if (!bus_.requestStart(agent.machServices.front(), &reason)) {
        *problem = agent.label + ": the bus did not take the request to start it (" + reason + ")";
        return false;
    }
    return true;
}

bool LaunchAgentRegistry::unload(const std::string& plistPath, std::string* problem) {
    const std::optional<Agent> agent = readAgent(plistPath, problem);
    if (!agent) {
        return false;
    }
    const std::optional<std::vector<std::string>> services = registeredServices(agent->label);
    if (!services) {
        *problem = plistPath + ": Could not find specified service";
        return false;
    }
    // The service files go first, so that no message sent meanwhile starts
    // the agent again.
    for (const std::string& serviceName : *services) {
        ::unlink(serviceFilePath(serviceName).c_str());
    }
    ::unlink(registrationPath(agent->label).c_str());
    bus_.reloadConfiguration();
    endServingProcesses(*services);
    return true;
}

std::optional<pid_t> LaunchAgentRegistry::runningProcess(const std::string& label) {
    const std::optional<std::vector<std::string>> services = registeredServices(label);
    if (!services || services->empty()) {
        return std::nullopt;
    }
    return bus_.processOwning(services->front());
}

void LaunchAgentRegistry::endServingProcesses(const std::vector<std::string>& serviceNames) {
    std::vector<pid_t> processes;
    for (const std::string& serviceName : serviceNames) {
        const std::optional<pid_t> pid = bus_.processOwning(serviceName);
        if (pid && std::find(processes.begin(), processes.end(), *pid) == processes.end()) {
            processes.push_back(*pid);
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
