#include "KestrelSilentLaunch.h"

#include "KestrelClientBundle.h"
#include "SpecificTools/AFXAgent/AFXAgent.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "SpecificTools/Services/SystemManagement/AFXSystemManagementClient.h"
#include "platform/Bundle.h"
#include "platform/DispatchQueue.h"
#include "platform/MainRunLoop.h"

#include <algorithm>

namespace {

constexpr auto kRetryInterval = std::chrono::milliseconds(200);

int fail(std::FILE* errors, const QString& reason) {
    std::fprintf(errors, "Kestrel: -silentLaunch failed: %s\n", qUtf8Printable(reason));
    return 1;
}

} // namespace

int KestrelSilentLaunch::run(std::FILE* errors) {
    const auto client = KestrelClientBundle::runningClient();
    if (!client) {
        return fail(errors, QStringLiteral("this program does not run from the desktop client's bundle"));
    }
    const auto agent = KestrelClientBundle::agentOf(*client);
    if (!agent->sourceBundle()) {
        return fail(
            errors,
            QStringLiteral("the client carries no agent at %1").arg(agent->bundleSourceURL().toLocalFile()));
    }
    if (agent->wantsUpdate()) {
        if (agent->isLoaded()) {
            AFXAgent::unloadAgents({agent});
        }
        AFXOptionalError error;
        if (!agent->installWithError(&error)) {
            return fail(errors, QStringLiteral("cannot install the launch agent: %1")
                                    .arg(error ? error->description() : QStringLiteral("unknown failure")));
        }
        AFXAgent::loadAgents({agent});
        if (!agent->isLoaded()) {
            return fail(errors, QStringLiteral("launchctl did not load %1").arg(AFXAgent::LoadedLabel));
        }
    }
    QString problem;
    if (!waitForSystemManagement(&problem)) {
        return fail(errors, QStringLiteral("the system management service did not answer within %1 s: %2")
                                .arg(ServiceTimeout.count())
                                .arg(problem));
    }
    return 0;
}

bool KestrelSilentLaunch::waitForSystemManagement(QString* problem) {
    // Answers arrive on the factory's queues and hop to the main queue,
    // where the loop waiting for them runs: an attempt's fields live there,
    // and the answer ends the wait as soon as it lands.
    struct Attempt {
        bool answered = false;
        bool succeeded = false;
        QString failure;
    };
    const auto finish = [](const std::shared_ptr<Attempt>& attempt, bool success, const QString& why) {
        platform::DispatchQueue::main()->async([attempt, success, why] {
            attempt->answered = true;
            attempt->succeeded = success;
            attempt->failure = why;
        });
    };
    const auto factory = AFXServicesFactory::makeWithServicesClasses(
        {AFXSystemManagementClient::serviceClass()}, QStringLiteral("KestrelSilentLaunch"), nullptr);
    const auto deadline = std::chrono::steady_clock::now() + ServiceTimeout;
    *problem = QStringLiteral("no answer");
    while (std::chrono::steady_clock::now() < deadline) {
        const auto attempt = std::make_shared<Attempt>();
        factory->fetchSystemManagementServiceWithCallback(
            [attempt, finish](const BRValueOrError<std::shared_ptr<AFXSystemManagementService>>& service) {
                if (!service.hasValue()) {
                    finish(attempt, false, service.error()->description());
                    return;
                }
                (*service.value())
                    ->fetchStartUpStatusWithCallback(
                        [attempt, finish](const BRValueOrError<std::int64_t>& status) {
                            finish(attempt, status.hasValue(),
                                   status.hasValue() ? QString() : status.error()->description());
                        });
            });
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        platform::MainRunLoop::runUntil([&] { return attempt->answered; },
                                        std::max(remaining, std::chrono::milliseconds(0)));
        if (attempt->succeeded) {
            return true;
        }
        if (attempt->answered) {
            *problem = attempt->failure;
            platform::MainRunLoop::runFor(kRetryInterval);
        }
    }
    return false;
}
