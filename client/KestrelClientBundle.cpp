#include "KestrelClientBundle.h"

#include "SpecificTools/AFXAgent/AFXAgent.h"
#include "platform/Bundle.h"
#include "platform/LaunchServices.h"

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
    for (const QUrl& url : platform::LaunchServices::applicationURLsForBundleIdentifier(BundleIdentifier)) {
        if (auto bundle = platform::Bundle::bundleWithURL(url)) {
            return bundle;
        }
    }
    return nullptr;
}

std::shared_ptr<AFXAgent> KestrelClientBundle::agentOf(const platform::Bundle& client) {
    return AFXAgent::make(AgentName, client.bundleURL());
}
