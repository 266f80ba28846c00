#include "KestrelSilentLaunch.h"

#include "KestrelClientBundle.h"
#include "SpecificTools/AFXAgent/AFXAgent.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "SpecificTools/Services/SystemManagement/AFXSystemManagementClient.h"
#include "platform/Bundle.h"
#include "platform/MainRunLoop.h"

#include <algorithm>
#include <mutex>

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
    // Answers arrive on the factory's queues; the main thread only waits.
    struct Attempt {
        std::mutex mutex;
        bool answered = false;
        bool succeeded = false;
        QString failure;

        void finish(bool success, const QString& why) {
            std::lock_guard lock(mutex);
            answered = true;
            succeeded = success;
            failure = why;
        }
    };
    const auto factory = AFXServicesFactory::makeWithServicesClasses(
        {AFXSystemManagementClient::serviceClass()}, QStringLiteral("KestrelSilentLaunch"), nullptr);
    const auto deadline = std::chrono::steady_clock::now() + ServiceTimeout;
    *problem = QStringLiteral("no answer");
    while (std::chrono::steady_clock::now() < deadline) {
        const auto attempt = std::make_shared<Attempt>();
        factory->fetchSystemManagementServiceWithCallback(
            [attempt](const BRValueOrError<std::shared_ptr<AFXSystemManagementService>>& service) {
                if (!service.hasValue()) {
                    attempt->finish(false, service.error()->description());
                    return;
                }
                (*service.value())
                    ->fetchStartUpStatusWithCallback([attempt](const BRValueOrError<std::int64_t>& status) {
                        attempt->finish(status.hasValue(),
                                        status.hasValue() ? QString() : status.error()->description());
                    });
            });
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        platform::MainRunLoop::runUntil(
            [&] {
                std::lock_guard lock(attempt->mutex);
                return attempt->answered;
            },
            std::max(remaining, std::chrono::milliseconds(0)));
        bool answered = false;
        {
            std::lock_guard lock(attempt->mutex);
            if (attempt->succeeded) {
                return true;
            }
            answered = attempt->answered;
            if (answered) {
                *problem = attempt->failure;
            }
        }
        if (answered) {
            platform::MainRunLoop::runFor(kRetryInterval);
        }
    }
    return false;
}
