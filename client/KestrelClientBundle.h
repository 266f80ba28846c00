#pragma once

#include <QString>

#include <memory>

class AFXAgent;
namespace platform {
class Bundle;
}

// Where the desktop client and the launch agent it carries are.
class KestrelClientBundle {
public:
    static const QString BundleIdentifier; // "com.kestrel.DesktopClient"
    // The agent bundle's name, inside the client and where it is installed.
    static const QString AgentName; // "KestrelAgent.app"

    // The client bundle this program runs from; null when it runs from
    // anywhere else (the installed agent copy, for one).
    static std::shared_ptr<platform::Bundle> runningClient();
    // The placed client: the one this program runs from, else the copy the
    // installer's discovery prefers (AFXPickBestDesktopClientURL); null when
    // there is none.
    static std::shared_ptr<platform::Bundle> installedClient();
    // The launch agent `client` carries.
    static std::shared_ptr<AFXAgent> agentOf(const platform::Bundle& client);
};
