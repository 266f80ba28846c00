#include "KestrelClientBundle.h"

#include "SpecificTools/AFXAgent/AFXAgent.h"
#include "SpecificTools/AFXAppInstaller/AFXInstalledAppDiscovery.h"
#include "platform/Bundle.h"

const QString KestrelClientBundle::BundleIdentifier = QStringLiteral("com.kestrel.DesktopClient");
const QString KestrelClientBundle::AgentName = QStringLiteral("KestrelAgent.app");

std::shared_ptr<platform::Bundle> KestrelClientBundle::runningClient() {
    const auto main = platform::Bundle::mainBundle();
    return main && main->bundleIdentifier() == BundleIdentifier ? main : nullptr;
}

std::shared_ptr<platform::Bundle> KestrelClientBundle::installedClient() {
    if (auto running = runningClient()) {
        return running;
    }
    // The copy the installer would find too: never one that is lost or in
    // the trash while a placed one exists.
    const std::optional<QUrl> best = AFXPickBestDesktopClientURL();
    return best ? platform::Bundle::bundleWithURL(*best) : nullptr;
}

std::shared_ptr<AFXAgent> KestrelClientBundle::agentOf(const platform::Bundle& client) {
    return AFXAgent::make(AgentName, client.bundleURL());
}
