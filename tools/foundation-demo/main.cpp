// Shows the foundation at work inside one root folder: logging into rolling
// files, a proactor coalescing concurrent requests, timers on the main run
// loop, preferences shared through files, and the framework's errors with
// their recovery attempts.

#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Errors/AFXNetworkErrors.h"
#include "SpecificTools/Model/AFXAppAlgorithms.h"
#include "SpecificTools/Model/AFXCodedApp.h"
#include "SpecificTools/Model/AFXCodedAppVersion.h"
#include "platform/DispatchGroup.h"
#include "platform/DispatchSource.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/MainRunLoop.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "support/AFXSetupLogger.h"
#include "support/BRDispatch.h"
#include "support/BRErrorRecovery.h"
#include "support/BRLog.h"
#include "support/BRProactor.h"

#include <QCoreApplication>

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace {

using namespace std::chrono_literals;

void say(const QString& text) {
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

// Makes "services" on request; slow enough that requests pile up.
class ServiceMaker : public BRProactorDelegate {
public:
    void findOrMakeService(const std::shared_ptr<BRProactorAction>& action) {
        const QString name = action->argument().toString();
        const int run = ++runs;
        BRLogInfo("Making service %@ (run %d)", name, run);
        // Slow on purpose, so that every request arrives while the making runs.
        std::this_thread::sleep_for(200ms);
        action->setObject(QStringLiteral("%1, made by run %2").arg(name).arg(run),
                          QStringLiteral("serviceOrError"));
        action->complete();
    }
    std::atomic<int> runs{0};
};

void showProactor() {
    say(QStringLiteral("\n== Coalescing: 12 concurrent requests for 3 services"));
    auto maker = std::make_shared<ServiceMaker>();
    auto proactor = BRProactor::makeWithDelegate(maker);
    proactor->addGroupWithID(QStringLiteral("findOrMakeManamenentService"), true,
                             &ServiceMaker::findOrMakeService);

    const QStringList services{QStringLiteral("com.kestrel.SystemManagementService"),
                               QStringLiteral("com.kestrel.AppsManagementService"),
                               QStringLiteral("com.kestrel.UIManagementService")};
    std::mutex mutex;
    std::map<QString, std::set<const void*>> snapshotsByService;
    auto served = platform::DispatchGroup::make();
    std::vector<std::thread> callers;
    for (int i = 0; i < 12; ++i) {
        served->enter();
        callers.emplace_back([&, i] {
            const QString service = services[i % services.size()];
            (*proactor)[QStringLiteral("findOrMakeManamenentService")]
                ->actionForArgument(service)
                ->addCompletionHandler([&, i, service](const std::shared_ptr<BRProactorResult>& result) {
                    const QString made =
                        result->objectForKey<QString>(QStringLiteral("serviceOrError")).value_or(QString());
                    {
                        std::lock_guard lock(mutex);
                        snapshotsByService[service].insert(result.get());
                    }
                    say(QStringLiteral("  request %1 got %2").arg(i, 2).arg(made));
                    served->leave();
                });
        });
    }
    for (auto& caller : callers) {
        caller.join();
    }
    served->wait(10s);
    say(QStringLiteral("  the makings ran %1 times for 12 requests").arg(maker->runs.load()));
    for (auto it = snapshotsByService.cbegin(); it != snapshotsByService.cend(); ++it) {
        say(QStringLiteral("  %1: %2 snapshot shared by its requests").arg(it->first).arg(it->second.size()));
    }
}

void showTimersOnTheMainRunLoop() {
    say(QStringLiteral("\n== A repeating timer on the main queue, three ticks"));
    auto timer = platform::DispatchSource::makeTimer(platform::DispatchQueue::main());
    int ticks = 0;
    timer->setEventHandler([&] {
        say(QStringLiteral("  tick %1 on %2").arg(++ticks).arg(platform::DispatchQueue::current()->label()));
    });
    timer->setTimer(std::chrono::steady_clock::now() + 100ms, 100ms, 10ms);
    timer->resume();
    platform::MainRunLoop::runUntil([&] { return ticks >= 3; }, 5s);
    timer->cancel();
}

void showErrors() {
    say(QStringLiteral("\n== Network outcomes as the framework's errors"));
    const QUrl url(QStringLiteral("https://store.example/com.kestrel.DesktopClient/Kestrel.zip"));
    for (int status : {200, 404, 410, 503, 302}) {
        const auto response = platform::URLResponse::http(url, status);
        const auto error = afx_interpretNetworkResponse(&response, QStringLiteral("download"), std::nullopt);
        say(QStringLiteral("  HTTP %1 -> %2")
                .arg(status)
                .arg(error ? QStringLiteral("%1 \"%2\"").arg(error->code()).arg(error->localizedDescription())
                           : QStringLiteral("success")));
    }
    const auto offline = afx_interpretNetworkResponse(
        nullptr, QStringLiteral("download"),
        platform::Error(platform::NSURLErrorDomain, platform::NSURLErrorNotConnectedToInternet));
    say(QStringLiteral("  offline -> %1 \"%2\"").arg(offline->code()).arg(offline->localizedDescription()));

    platform::UserDefaults::makeWithSuiteName(QStringLiteral("com.kestrel.DesktopClient"))
        ->setObject(-401086, QStringLiteral("fake_download"));
    const auto ok = platform::URLResponse::http(url, 200);
    const auto faked = afx_interpretNetworkResponse(&ok, QStringLiteral("download"), std::nullopt);
    say(QStringLiteral("  with \"fake_download\" = -401086 in the client's defaults, HTTP 200 -> %1")
            .arg(faked->code()));

    say(QStringLiteral("\n== A recovery attempt: the outdated-client alert, withdrawn"));
    const auto outdated = afx_oldDesktopClient();
    say(QStringLiteral("  \"%1\"\n  \"%2\"\n  buttons: %3")
            .arg(outdated.localizedDescription(), outdated.localizedRecoverySuggestion().value_or(QString()),
                 outdated.localizedRecoveryOptions().join(QStringLiteral(", "))));
    bool told = false;
    recoveryAttemptInfo(outdated)->startRecoveryOfError(
        outdated, [](const auto&) { say(QStringLiteral("  the alert is taken down")); });
    notifyRecoveryCompletionWithBlock(outdated, [&](bool recovered) {
        say(QStringLiteral("  attempt ended (recovered: %1)")
                .arg(recovered ? QStringLiteral("yes") : QStringLiteral("no")));
        told = true;
    });
    noNeedForRecovery(outdated);
    platform::MainRunLoop::runUntil([&] { return told; }, 5s);
}

void showRecords() {
    say(QStringLiteral("\n== A catalogue record over the wire"));
    auto app = std::make_shared<AFXCodedApp>();
    app->setIdentifier(230);
    app->setName(QStringLiteral("Orbit Notes"));
    app->setBundleIdentifier(QStringLiteral("com.orbit.notes-kestrel"));
    AFXCodedApp::Versions versions;
    for (const auto& [identifier, minimum] : {std::pair{"3.0", "11.0"}, std::pair{"4.0", "13.0"}}) {
        auto version = std::make_shared<AFXCodedAppVersion>();
        version->setIdentifier(QString::fromLatin1(identifier));
        version->setUiVersion(QString::fromLatin1(identifier));
        version->setMinOSVersion(QString::fromLatin1(minimum));
        version->setAppID(230);
        versions << version;
    }
    app->setVersions(versions);
    const QByteArray archive = *platform::KeyedArchiver::archivedDataWithRootObject(app);
    const auto received = platform::KeyedUnarchiver::unarchivedObjectOfClass<AFXCodedApp>(archive);
    say(QStringLiteral("  %1 bytes; read back: %2").arg(archive.size()).arg(received->description()));
    for (const char* system : {"12.6.0", "14.1.0", "10.15.7"}) {
        qputenv("KESTREL_OS_VERSION", system);
        platform::Error error(QString(), 0);
        const auto picked = AFXPickAppVersion(*received, &error);
        say(QStringLiteral("  on a system of version %1 the installer picks %2")
                .arg(QString::fromLatin1(system),
                     picked ? picked->identifier()
                            : QStringLiteral("nothing: ") + error.localizedDescription()));
    }
    qunsetenv("KESTREL_OS_VERSION");
}

} // namespace

int main(int argc, char**) {
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-foundation-demo"));
    say(QStringLiteral("Kestrel foundation demo; root: %1")
            .arg(platform::Paths::root().isEmpty() ? QStringLiteral("(none: the user's folders)")
                                                   : platform::Paths::root()));

    AFXSetupLogger(QStringLiteral("demo"));
    BRLogInfo("Demo started with %d arguments", argc);

    showProactor();
    showTimersOnTheMainRunLoop();
    showErrors();
    showRecords();

    BRLogError("An error line is written before the call returns");
    BRLog::flushLog();
    say(QStringLiteral("\n== Log files (newest first)"));
    for (const QUrl& file : AFXGetSortedLogFiles()) {
        say(QStringLiteral("  ") + file.toLocalFile());
    }
    return 0;
}
