#include "FakeServices.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "installer/AFXInstallationManager.h"
#include "platform/BrokenPipeSignalGuard.h"
#include "platform/DispatchSemaphore.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Paths.h"
#include "testing/EnvironmentOverride.h"
#include "testing/StoreProcess.h"
#include "testing/TestSupport.h"
#include "testing/ZipMaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::readFile;
using testing_support::testRoot;
using testing_support::waitUntil;
using testing_support::writeFile;

namespace {

constexpr std::int64_t kAppID = 230;

QByteArray clientInfoPlist() {
    return R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>
<key>CFBundleIdentifier</key><string>com.kestrel.DesktopClient</string>
<key>CFBundleExecutable</key><string>Kestrel</string></dict></plist>)";
}

// Reports and outcomes as the manager gives them, from whichever thread.
class Recorder {
public:
    // Runs inside the progress block, after the report is recorded.
    std::function<void(std::int64_t state, double progress)> onReport;

    void progress(std::int64_t state, double progress) {
        {
            std::lock_guard lock(mutex_);
            reports_.append({state, progress});
        }
        if (onReport) {
            onReport(state, progress);
        }
    }
    void outcome(const std::optional<platform::Error>& error) {
        std::lock_guard lock(mutex_);
        outcomes_.append(error);
    }
    QList<std::pair<std::int64_t, double>> reports() const {
        std::lock_guard lock(mutex_);
        return reports_;
    }
    QList<std::optional<platform::Error>> outcomes() const {
        std::lock_guard lock(mutex_);
        return outcomes_;
    }
    // The states reported, each run of equal states once.
    QList<std::int64_t> states() const {
        QList<std::int64_t> states;
        for (const auto& [state, progress] : reports()) {
            if (states.isEmpty() || states.last() != state) {
                states.append(state);
            }
        }
        return states;
    }
    bool reported(std::int64_t state, double progress) const {
        for (const auto& report : reports()) {
            if (report.first == state && std::abs(report.second - progress) < 1e-9) {
                return true;
            }
        }
        return false;
    }

private:
    mutable std::mutex mutex_;
    QList<std::pair<std::int64_t, double>> reports_;
    QList<std::optional<platform::Error>> outcomes_;
};

class InstallationManagerTests : public testing::Test {
protected:
    void SetUp() override {
        applications_ = platform::Paths::resolve("/Applications");
        appPath_ = applications_ + "/Orbit Notes.app";
        runLog_ = testRoot() + "/client-runs.log";
        const QString served = testRoot() + "/served";
        // The client records every run's arguments, so tests see the silent
        // run and the URLs it is asked to open. A silent run that finds the
        // hold pipe takes it and waits until a test writes to it.
        QDir().mkpath(served + "/com.kestrel.DesktopClient");
        clientHold_ = testRoot() + "/hold-client";
        const QByteArray client = "#!/bin/sh\necho \"$@\" >> '" + runLog_.toUtf8() +
                                  "'\nif [ \"$1\" = -silentLaunch ] && mv '" + clientHold_.toUtf8() + "' '" +
                                  clientHold_.toUtf8() + ".taken' 2>/dev/null; then read line < '" +
                                  clientHold_.toUtf8() + ".taken'; fi\nexit 0\n";
        ASSERT_TRUE(testing_support::makeZipWithPython(
            served + "/com.kestrel.DesktopClient/Kestrel.zip",
            {{"Kestrel.app/Contents/Info.plist", clientInfoPlist(), 0644, {}},
             {"Kestrel.app/Contents/MacOS/Kestrel", client, 0755, {}},
             {"Kestrel.app/Contents/Resources/filler.bin", QByteArray(300000, 'k'), 0644, {}}},
            true));
        uninstaller_ = testRoot() + "/uninstall.sh";
        ASSERT_TRUE(writeFile(uninstaller_, "#!/bin/sh\necho \"$@\" > '" + testRoot().toUtf8() +
                                                "/uninstalled'\nrm -rf \"$1\"\n"));
        QFile::setPermissions(uninstaller_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        served_ = served;

        makeServices();
    }

    // A client still held would outlive the test, waiting for its line.
    // Removing the hold wins against a client yet to take it; one that has
    // taken it is let go.
    void TearDown() override {
        EXPECT_TRUE(gate_->close()) << "an answer of the fake services never ended";
        if (clientHeld_ && !QFile::remove(clientHold_)) {
            releaseClient();
        }
    }

    void makeServices() {
        if (gate_) {
            EXPECT_TRUE(gate_->close()) << "an answer of the fake services never ended";
        }
        log_ = std::make_shared<fakes::CallLog>();
        gate_ = std::make_shared<fakes::AnswerGate>();
        system_ = std::make_shared<fakes::SystemService>(log_, gate_);
        system_->uninstallerPath = uninstaller_;
        system_->uninstallerArguments = {applications_ + "/Kestrel.app"};
        apps_ = std::make_shared<fakes::AppsService>(log_, gate_, kAppID, appPath_);
    }

    // The next silent run of the client waits until `releaseClient`.
    void holdClient() {
        ASSERT_EQ(::mkfifo(clientHold_.toLocal8Bit().constData(), 0600), 0);
        clientHeld_ = true;
    }
    bool waitUntilClientHeld() {
        return waitUntil([&] { return QFile::exists(clientHold_ + ".taken"); }, std::chrono::seconds(30));
    }
    bool releaseClient() {
        const QByteArray path = (clientHold_ + ".taken").toLocal8Bit();
        int fd = -1;
        // Opening a pipe without blocking fails until its reader is there.
        if (!waitUntil([&] { return (fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK)) >= 0; })) {
            return false;
        }
        bool written = false;
        {
            // The held client may have been ended meanwhile.
            const platform::BrokenPipeSignalGuard guard;
            written = ::write(fd, "\n", 1) == 1;
        }
        ::close(fd);
        clientHeld_ = clientHeld_ && !written;
        return written;
    }

    void startStore(const QStringList& arguments = {}) {
        environment_.reset();
        store_ = testing_support::StoreProcess::start(served_, arguments);
        ASSERT_TRUE(store_);
        environment_ = std::make_unique<testing_support::EnvironmentOverride>(
            std::initializer_list<testing_support::EnvironmentOverride::Entry>{
                {"KESTREL_DOWNLOAD_HOST", store_->baseURL().toString().toLocal8Bit()},
                {"KESTREL_CA_BUNDLE", store_->caBundlePath().toLocal8Bit()}});
    }

    std::shared_ptr<AFXInstallationManager> makeManager() {
        auto manager = AFXInstallationManager::makeWithAppID(kAppID);
        manager->setServicesFactoryMaker([this](const QList<AFXServiceClass>& classes,
                                                const QString& tierName,
                                                const std::shared_ptr<AFXServicesFactoryDelegate>& delegate) {
            ++factoriesMade_;
            factoryClasses_.clear();
            for (const auto& serviceClass : classes) {
                factoryClasses_.append(serviceClass.name);
            }
            factoryTierName_ = tierName;
            return std::make_shared<fakes::Factory>(system_, apps_, gate_, systemServiceFailures_,
                                                    appsServiceFails_, delegate, classes, tierName);
        });
        return manager;
    }

    void install(const std::shared_ptr<AFXInstallationManager>& manager) { install(manager, recorder_); }
    static void install(const std::shared_ptr<AFXInstallationManager>& manager, Recorder& recorder) {
        manager->installWithProgressBlock(
            [&recorder](std::int64_t state, double p) { recorder.progress(state, p); },
            [&recorder](const auto& error) { recorder.outcome(error); });
    }

    bool waitForOutcomes(int count) { return waitForOutcomes(recorder_, count); }
    static bool waitForOutcomes(const Recorder& recorder, int count) {
        return waitUntil([&] { return recorder.outcomes().size() >= count; }, std::chrono::seconds(60));
    }

    static bool stop(const std::shared_ptr<AFXInstallationManager>& manager) {
        auto stopped = std::make_shared<std::atomic<bool>>(false);
        manager->stopInstallationWithCallback([stopped] { *stopped = true; });
        return waitUntil([&] { return stopped->load(); }, std::chrono::seconds(60));
    }

    QStringList clientRuns() const {
        return QString::fromUtf8(readFile(runLog_)).split('\n', Qt::SkipEmptyParts);
    }
    int downloads() const { return store_->log().count("GET /com.kestrel.DesktopClient/Kestrel.zip"); }

    QString served_;
    QString applications_;
    QString appPath_;
    QString runLog_;
    QString uninstaller_;
    QString clientHold_;
    bool clientHeld_ = false;
    std::shared_ptr<fakes::CallLog> log_;
    std::shared_ptr<fakes::AnswerGate> gate_;
    std::shared_ptr<fakes::SystemService> system_;
    std::shared_ptr<fakes::AppsService> apps_;
    int systemServiceFailures_ = 0;
    bool appsServiceFails_ = false;
    std::atomic<int> factoriesMade_ = 0;
    QStringList factoryClasses_;
    QString factoryTierName_;
    std::unique_ptr<testing_support::StoreProcess> store_;
    std::unique_ptr<testing_support::EnvironmentOverride> environment_;
    Recorder recorder_;
};

} // namespace

TEST_F(InstallationManagerTests, AFreshInstallationGoesThroughEveryStageToReady) {
    startStore();
    auto manager = makeManager();
    EXPECT_FALSE(manager->kestrelWasInstalledBefore());

    install(manager);
    ASSERT_TRUE(waitForOutcomes(1));

    EXPECT_FALSE(recorder_.outcomes().first()) << recorder_.outcomes().first()->description().toStdString();
    EXPECT_EQ(manager->state(), AFXInstallationStateReady);
    EXPECT_DOUBLE_EQ(manager->progress(), 1.0);
    EXPECT_EQ(recorder_.states(), (QList<std::int64_t>{0, 1, 3, 4, 6, 8, 9}));
    // The first data reports the state before it, and so does the end of
    // the download; then the preparation milestones.
    EXPECT_EQ(recorder_.reports().first(), (std::pair<std::int64_t, double>{0, 0.0}));
    EXPECT_TRUE(recorder_.reported(1, 0.3));
    EXPECT_TRUE(recorder_.reported(3, 0.31));
    EXPECT_TRUE(recorder_.reported(3, 0.36));
    EXPECT_TRUE(recorder_.reported(4, 0.37));
    EXPECT_TRUE(recorder_.reported(4, 0.4));
    EXPECT_TRUE(recorder_.reported(6, 0.65)) << "the workflow's half-way fraction is followed";
    EXPECT_TRUE(recorder_.reported(8, 0.95));
    EXPECT_EQ(recorder_.reports().last(), (std::pair<std::int64_t, double>{9, 1.0}));

    EXPECT_EQ(clientRuns(), QStringList{"-silentLaunch"});
    EXPECT_EQ(factoryClasses_, (QStringList{"AFXSystemManagementClient", "AFXAppsManagementClient"}));
    EXPECT_EQ(factoryTierName_, "KestrelInstaller");
    EXPECT_EQ(log_->count("customer updated=1 style=1"), 1);
    EXPECT_EQ(log_->count("app 230"), 1);
    EXPECT_EQ(log_->count("install launch=0"), 1);
    EXPECT_EQ(log_->count("resources priority=2"), 1);
    EXPECT_TRUE(manager->canLaunchApp());
    EXPECT_EQ(manager->desktopClientURL(), QUrl::fromLocalFile(applications_ + "/Kestrel.app"));
}

TEST_F(InstallationManagerTests, AnAlreadyInstalledAppIsNotInstalledAgain) {
    apps_->workflowState = 2;
    startStore();
    auto manager = makeManager();

    install(manager);
    ASSERT_TRUE(waitForOutcomes(1));

    EXPECT_FALSE(recorder_.outcomes().first());
    EXPECT_EQ(recorder_.states(), (QList<std::int64_t>{0, 1, 3, 4, 8, 9}));
    EXPECT_EQ(log_->count("install launch=0"), 0);
    EXPECT_DOUBLE_EQ(manager->appInstallationProgress(), 1.0);
}

TEST_F(InstallationManagerTests, RetryResumesAtTheStageThatFailed) {
    // Services: the first fetch of the system service fails.
    systemServiceFailures_ = 1;
    startStore();
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(waitForOutcomes(1));
    ASSERT_TRUE(recorder_.outcomes()[0]);
    EXPECT_EQ(recorder_.outcomes()[0]->localizedDescription(), "no system service");
    EXPECT_EQ(manager->state(), AFXInstallationStateServicesFailed);

    // The factory's failure count is per factory: the retry's new factory
    // succeeds, after the client ran silently once more.
    systemServiceFailures_ = 0;
    apps_->installFailures = 1;
    manager->retryAfterError();
    ASSERT_TRUE(waitForOutcomes(2));
    ASSERT_TRUE(recorder_.outcomes()[1]);
    EXPECT_EQ(manager->state(), AFXInstallationStateAppInstallationFailed);
    EXPECT_EQ(factoriesMade_, 2);
    EXPECT_EQ(clientRuns(), (QStringList{"-silentLaunch", "-silentLaunch"}));

    // A workflow that stops installing resets the installation progress
    // only in this state.
    ASSERT_TRUE(waitUntil([&] { return manager->appInstallationProgress() == 0.5; }));
    apps_->postWorkflow(0, 0.0);
    ASSERT_TRUE(waitUntil([&] { return manager->appInstallationProgress() == 0.0; }));

    // App installation: only the app steps run again.
    manager->retryAfterError();
    ASSERT_TRUE(waitForOutcomes(3));
    EXPECT_FALSE(recorder_.outcomes()[2]);
    EXPECT_EQ(manager->state(), AFXInstallationStateReady);
    EXPECT_EQ(factoriesMade_, 2);
    EXPECT_EQ(clientRuns().size(), 2);
    EXPECT_EQ(log_->count("app 230"), 2);
    EXPECT_EQ(downloads(), 1);

    // Ready: a retry starts all over, undoing first (the uninstaller runs,
    // as the client was not there before).
    manager->retryAfterError();
    ASSERT_TRUE(waitForOutcomes(4));
    EXPECT_FALSE(recorder_.outcomes()[3]);
    EXPECT_TRUE(QFile::exists(testRoot() + "/uninstalled"));
    EXPECT_EQ(downloads(), 2);
    EXPECT_EQ(manager->state(), AFXInstallationStateReady);
}

TEST_F(InstallationManagerTests, RetryAfterAFailedDownloadStartsAgainFromTheFirstByte) {
    startStore({"--drop-after", "65536,0,0,0"});
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(waitForOutcomes(1));
    ASSERT_TRUE(recorder_.outcomes()[0]);
    EXPECT_EQ(recorder_.outcomes()[0]->code(), platform::NSURLErrorNetworkConnectionLost);
    EXPECT_EQ(manager->state(), AFXInstallationStateDownloadFailed);

    manager->retryAfterError();
    ASSERT_TRUE(waitForOutcomes(2));
    EXPECT_FALSE(recorder_.outcomes()[1]);
    const QStringList requests =
        store_->log().split('\n').filter("GET /com.kestrel.DesktopClient/Kestrel.zip");
    ASSERT_EQ(requests.size(), 5);
    EXPECT_TRUE(requests.last().contains("range=-")) << requests.last().toStdString();
}

TEST_F(InstallationManagerTests, StopUndoesWhatTheStageReachedHadDone) {
    // During the download: only the transfer is cancelled.
    {
        startStore({"--rate", "65536"});
        auto manager = makeManager();
        install(manager);
        ASSERT_TRUE(waitUntil([&] { return manager->state() == AFXInstallationStateDownloading; }));
        ASSERT_TRUE(stop(manager));
        EXPECT_EQ(manager->state(), AFXInstallationStateIdle);
        EXPECT_DOUBLE_EQ(manager->progress(), 0.0);
        EXPECT_TRUE(recorder_.outcomes().isEmpty());
        EXPECT_FALSE(QFile::exists(applications_ + "/Kestrel.app"));
    }
    // Before the services: the placed client stays.
    {
        systemServiceFailures_ = 100;
        startStore();
        auto manager = makeManager();
        install(manager);
        ASSERT_TRUE(waitForOutcomes(1));
        ASSERT_TRUE(stop(manager));
        EXPECT_TRUE(QFileInfo(applications_ + "/Kestrel.app").isDir());
        EXPECT_EQ(log_->count("uninstaller type=1"), 0);
    }
}

TEST_F(InstallationManagerTests, StopAfterTheInstallDeletesTheAppAndUninstallsOnlyAClientWePlaced) {
    startStore();
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(waitForOutcomes(1));
    ASSERT_TRUE(QFileInfo(appPath_).isDir());

    ASSERT_TRUE(stop(manager));
    EXPECT_FALSE(QFile::exists(appPath_));
    EXPECT_EQ(log_->count("stop install"), 1);
    EXPECT_EQ(readFile(testRoot() + "/uninstalled").trimmed(), (applications_ + "/Kestrel.app").toUtf8());
    EXPECT_FALSE(QFile::exists(applications_ + "/Kestrel.app"));
    EXPECT_EQ(manager->state(), AFXInstallationStateIdle);
    EXPECT_FALSE(manager->canLaunchApp());

    // A client that was there before the installer is left alone.
    QFile::remove(testRoot() + "/uninstalled");
    ASSERT_TRUE(writeFile(applications_ + "/Kestrel.app/Contents/Info.plist", clientInfoPlist()));
    auto second = makeManager();
    EXPECT_TRUE(second->kestrelWasInstalledBefore());
    install(second);
    ASSERT_TRUE(waitForOutcomes(2));
    ASSERT_TRUE(stop(second));
    EXPECT_EQ(log_->count("uninstaller type=1"), 1);
    EXPECT_FALSE(QFile::exists(testRoot() + "/uninstalled"));
    EXPECT_TRUE(QFileInfo(applications_ + "/Kestrel.app").isDir());
}

TEST_F(InstallationManagerTests, LaunchOpensTheDiscoveryPageAndTheAppForASignedInCustomer) {
    startStore();
    auto manager = makeManager();
    std::atomic<int> answered = 0;
    std::atomic<bool> opened = true;
    manager->launchWithCallback([&](bool clientOpened) {
        opened = clientOpened;
        ++answered;
    });
    ASSERT_TRUE(waitUntil([&] { return answered == 1; }));
    EXPECT_FALSE(opened) << "nothing to launch before the app is ready";

    install(manager);
    ASSERT_TRUE(waitForOutcomes(1));
    manager->launchWithCallback([&](bool clientOpened) {
        opened = clientOpened;
        ++answered;
    });
    ASSERT_TRUE(waitUntil([&] { return answered == 2; }));
    EXPECT_TRUE(opened);
    // The test program has no bundle name: the sender is "unknown".
    const QString page =
        "kestreldiscovery://open_collection?collection_id=0&app_id=230&sender_domain=Installer&"
        "sender=unknown";
    ASSERT_TRUE(waitUntil([&] { return clientRuns().contains(page); }))
        << clientRuns().join('|').toStdString();
    // The app, whose path holds a space, is opened a moment later.
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(testRoot() + "/app-opened"); }));
}

TEST_F(InstallationManagerTests, LaunchWithoutACustomerOpensOnlyTheClient) {
    system_->signedIn = false;
    startStore();
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(waitForOutcomes(1));
    EXPECT_FALSE(manager->canLaunchApp());

    std::atomic<int> answered = 0;
    manager->launchWithCallback([&](bool clientOpened) { answered = clientOpened ? 1 : 2; });
    ASSERT_TRUE(waitUntil([&] { return answered != 0; }));
    EXPECT_EQ(answered, 1);
    EXPECT_TRUE(waitUntil([&] { return clientRuns().filter("kestreldiscovery://").size() == 1; }));
}

namespace {

// A run stopped while one answer of it is still to come: the call whose
// answer is held back ("client" is the client's silent run), and the state
// the run waits in meanwhile.
struct PendingAnswer {
    const char* call;
    std::int64_t state;
};

void PrintTo(const PendingAnswer& pending, std::ostream* stream) {
    *stream << pending.call << " in state " << pending.state;
}

class StopWithAnAnswerInFlight : public InstallationManagerTests,
                                 public testing::WithParamInterface<PendingAnswer> {
protected:
    bool isClient() const { return QString::fromUtf8(GetParam().call) == "client"; }
    void hold() {
        if (isClient()) {
            holdClient();
        } else {
            gate_->hold(GetParam().call);
        }
    }
    bool waitUntilHeld() {
        return isClient() ? waitUntilClientHeld() : gate_->waitUntilHeld(GetParam().call);
    }
    bool release() { return isClient() ? releaseClient() : gate_->release(GetParam().call); }
};

} // namespace

TEST_P(StopWithAnAnswerInFlight, TheStoppedRunsLateAnswerChangesNothingInTheNextRun) {
    // A late install answer is a failure: the next run must not receive it.
    if (QString::fromUtf8(GetParam().call) == "install") {
        apps_->installFailures = 1;
    }
    hold();
    startStore();
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(waitUntilHeld());
    EXPECT_EQ(manager->state(), GetParam().state);

    ASSERT_TRUE(stop(manager));
    EXPECT_EQ(manager->state(), AFXInstallationStateIdle);
    EXPECT_TRUE(recorder_.outcomes().isEmpty());
    const int factoriesOfTheStoppedRun = factoriesMade_;

    // The next run waits for its system service while the stopped run's
    // answer comes in.
    const qsizetype callsBefore = log_->calls().size();
    gate_->hold("system service");
    Recorder next;
    install(manager, next);
    ASSERT_TRUE(gate_->waitUntilHeld("system service"));
    ASSERT_TRUE(release());
    ASSERT_TRUE(gate_->release("system service"));
    ASSERT_TRUE(waitForOutcomes(next, 1));

    ASSERT_EQ(next.outcomes().size(), 1);
    EXPECT_FALSE(next.outcomes().first()) << next.outcomes().first()->description().toStdString();
    EXPECT_EQ(next.states(), (QList<std::int64_t>{0, 1, 3, 4, 6, 8, 9}));
    EXPECT_EQ(
        log_->calls().mid(callsBefore).join(", ").toStdString(),
        "customer updated=1 style=1, environment, app 230, workflow, install launch=0, resources priority=2");
    EXPECT_EQ(factoriesMade_, factoriesOfTheStoppedRun + 1);
    EXPECT_EQ(manager->state(), AFXInstallationStateReady);
}

INSTANTIATE_TEST_SUITE_P(EveryStage, StopWithAnAnswerInFlight,
                         testing::Values(PendingAnswer{"client", AFXInstallationStateDownloaded},
                                         PendingAnswer{"system service", AFXInstallationStateClientLaunched},
                                         PendingAnswer{"environment", AFXInstallationStateClientLaunched},
                                         PendingAnswer{"apps service", AFXInstallationStateClientLaunched},
                                         PendingAnswer{"app", AFXInstallationStateClientLaunched},
                                         PendingAnswer{"workflow", AFXInstallationStateClientLaunched},
                                         PendingAnswer{"install", AFXInstallationStateInstallingApp},
                                         PendingAnswer{"resources", AFXInstallationStatePreparingResources}),
                         [](const testing::TestParamInfo<PendingAnswer>& info) {
                             QString name = QString::fromUtf8(info.param.call);
                             name.remove(' ');
                             return name.toStdString();
                         });

// The client says the app is in place before it answers the install: a stop
// in between still takes the app back.
TEST_F(InstallationManagerTests, AStopBeforeTheInstallsAnswerStillDeletesTheApp) {
    startStore();
    apps_->installedBeforeAnswer = true;
    gate_->hold("install answer");
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(gate_->waitUntilHeld("install answer"));
    ASSERT_TRUE(testing_support::waitUntil(
        [&] { return manager->state() >= AFXInstallationStatePreparingResources; }));
    ASSERT_TRUE(QFileInfo(appPath_).isDir());

    ASSERT_TRUE(stop(manager));
    EXPECT_FALSE(QFile::exists(appPath_));
    EXPECT_EQ(manager->state(), AFXInstallationStateIdle);
}

// The services of the attempt that failed belong to it: a stop while the
// retry runs the client again must not reach the client through them (its
// uninstaller would run beside the client's silent run).
TEST_F(InstallationManagerTests, AStopDuringARetryOfTheServicesUsesNoneOfTheFailedAttempt) {
    appsServiceFails_ = true;
    startStore();
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(waitForOutcomes(1));
    ASSERT_EQ(manager->state(), AFXInstallationStateServicesFailed);

    appsServiceFails_ = false;
    holdClient();
    manager->retryAfterError();
    ASSERT_TRUE(waitUntilClientHeld());
    ASSERT_TRUE(stop(manager));
    EXPECT_EQ(log_->count("uninstaller type=1"), 0);
    EXPECT_EQ(manager->state(), AFXInstallationStateIdle);
    ASSERT_TRUE(releaseClient());
}

TEST_F(InstallationManagerTests, AStopAsTheInstallEndsUnheardStillDeletesTheApp) {
    // The client has placed the app, but neither its answer nor its notice
    // has reached the manager when the stop comes.
    startStore();
    apps_->installedBeforeAnswer = true;
    apps_->postInstalledNotification = false;
    gate_->hold("install answer");
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(gate_->waitUntilHeld("install answer"));
    ASSERT_TRUE(QFileInfo(appPath_).isDir());
    EXPECT_EQ(manager->state(), AFXInstallationStateInstallingApp);

    ASSERT_TRUE(stop(manager));
    EXPECT_FALSE(QFile::exists(appPath_));
    EXPECT_EQ(manager->state(), AFXInstallationStateIdle);
}

TEST_F(InstallationManagerTests, InstalledIsActedOnOnceHoweverOftenItIsHeard) {
    // While the manager takes in a fetched "installed" workflow (its
    // installation progress reaching 1.0 in state 7), the client says so
    // twice more, and the manager has heard both before it goes on.
    auto heard = platform::DispatchSemaphore::make(0);
    const auto observer = platform::DistributedNotificationCenter::defaultCenter()->addObserver(
        "com.kestrel.app-workflow-changed", apps_->workflow(2, 1.0)->objectForNotification(),
        platform::DispatchQueue::global(platform::QualityOfService::Utility),
        [heard](const platform::Notification& notification) {
            const auto workflow = platform::KeyedUnarchiver::unarchivedObjectOfClass<AFXAppWorkflow>(
                notification.userInfo().value("app_workflow").toData());
            if (workflow && workflow->state() == 2) {
                heard->signal();
            }
        });
    ASSERT_TRUE(observer);
    std::atomic<bool> armed = false;
    std::atomic<int> heardBoth = 0;
    recorder_.onReport = [&](std::int64_t state, double progress) {
        if (state == AFXInstallationStateAppInstallationFailed && std::abs(progress - 0.9) < 1e-9 &&
            armed.exchange(false)) {
            apps_->postWorkflow(2, 1.0);
            apps_->postWorkflow(2, 1.0);
            heardBoth =
                heard->wait(std::chrono::seconds(10)) && heard->wait(std::chrono::seconds(10)) ? 1 : 2;
        }
    };

    // The first install fails, so that the retry's pass through the app
    // steps already follows the workflow's notifications; the retry's
    // workflow fetch answers "installed".
    apps_->installFailures = 1;
    startStore();
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(waitForOutcomes(1));
    ASSERT_EQ(manager->state(), AFXInstallationStateAppInstallationFailed);
    apps_->workflowState = 2;
    armed = true;
    manager->retryAfterError();
    ASSERT_TRUE(waitForOutcomes(2));

    EXPECT_EQ(heardBoth, 1);
    EXPECT_FALSE(recorder_.outcomes()[1]);
    EXPECT_EQ(manager->state(), AFXInstallationStateReady);
    EXPECT_EQ(log_->count("install launch=0"), 1);
    // Whatever was still on its way has been handled once this read returns.
    EXPECT_EQ(manager->desktopClientURL(), QUrl::fromLocalFile(applications_ + "/Kestrel.app"));
    EXPECT_EQ(recorder_.outcomes().size(), 2);
    EXPECT_EQ(log_->count("resources priority=2"), 1);
    platform::DistributedNotificationCenter::defaultCenter()->removeObserver(observer);
}

TEST_F(InstallationManagerTests, AFailedFetchOfTheServicesStageEndsInStateFiveWithItsError) {
    struct Case {
        const char* message;
        std::function<void()> arrange;
    };
    const QList<Case> cases{
        {"no system service", [&] { systemServiceFailures_ = 1; }},
        {"no environment", [&] { system_->environmentFails = true; }},
        {"no apps service", [&] { appsServiceFails_ = true; }},
        {"no app", [&] { apps_->appFails = true; }},
        {"no workflow", [&] { apps_->workflowFails = true; }},
    };
    startStore();
    for (const Case& failing : cases) {
        SCOPED_TRACE(failing.message);
        makeServices();
        systemServiceFailures_ = 0;
        appsServiceFails_ = false;
        failing.arrange();
        auto manager = makeManager();
        Recorder recorder;
        install(manager, recorder);
        ASSERT_TRUE(waitForOutcomes(recorder, 1));
        ASSERT_TRUE(recorder.outcomes().first());
        EXPECT_EQ(recorder.outcomes().first()->localizedDescription(), failing.message);
        EXPECT_EQ(manager->state(), AFXInstallationStateServicesFailed);
        EXPECT_EQ(log_->count("install launch=0"), 0);
    }
}

TEST_F(InstallationManagerTests, AClientThatCannotBeRunOrOpenedFailsInStateTwo) {
    systemServiceFailures_ = 100;
    startStore();
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(waitForOutcomes(1));
    ASSERT_EQ(manager->state(), AFXInstallationStateServicesFailed);
    const QString client = applications_ + "/Kestrel.app";

    // Retrying the services runs the client again: one that is no longer
    // executable fails with the launch error.
    ASSERT_TRUE(QFile::setPermissions(client + "/Contents/MacOS/Kestrel", QFile::ReadOwner));
    manager->retryAfterError();
    ASSERT_TRUE(waitForOutcomes(2));
    ASSERT_TRUE(recorder_.outcomes()[1]);
    EXPECT_FALSE(afx_isMissingObject(*recorder_.outcomes()[1]));
    EXPECT_EQ(manager->state(), AFXInstallationStateDownloadFailed);
    EXPECT_EQ(factoriesMade_, 1);

    // A retry downloads and places the client again, which brings the run
    // back to its services; with the bundle gone, it cannot be opened.
    manager->retryAfterError();
    ASSERT_TRUE(waitForOutcomes(3));
    ASSERT_EQ(manager->state(), AFXInstallationStateServicesFailed);
    ASSERT_TRUE(QDir(client).removeRecursively());
    manager->retryAfterError();
    ASSERT_TRUE(waitForOutcomes(4));
    ASSERT_TRUE(recorder_.outcomes()[3]);
    EXPECT_TRUE(afx_isMissingObject(*recorder_.outcomes()[3]));
    EXPECT_EQ(manager->state(), AFXInstallationStateDownloadFailed);
    EXPECT_EQ(factoriesMade_, 2);
}

TEST_F(InstallationManagerTests, ResourcesThatFailToPrepareStillEndTheInstallationInSuccess) {
    apps_->resourcesFail = true;
    startStore();
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(waitForOutcomes(1));
    EXPECT_FALSE(recorder_.outcomes().first());
    EXPECT_EQ(manager->state(), AFXInstallationStateReady);
    EXPECT_DOUBLE_EQ(manager->resourcesPreparationProgress(), 1.0);
}

TEST_F(InstallationManagerTests, AWorkflowThatStopsInstallingOutsideAFailureKeepsTheProgress) {
    gate_->hold("install");
    startStore();
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(gate_->waitUntilHeld("install"));
    ASSERT_EQ(manager->state(), AFXInstallationStateInstallingApp);

    apps_->postWorkflow(1, 0.5);
    ASSERT_TRUE(waitUntil([&] { return manager->appInstallationProgress() == 0.5; }));
    // Changes are handled in the order they are posted: once the last one
    // shows, the one in state 0 has been handled.
    apps_->postWorkflow(0, 0.0);
    apps_->postWorkflow(1, 0.25);
    ASSERT_TRUE(waitUntil([&] { return manager->appInstallationProgress() == 0.25; }));
    EXPECT_FALSE(recorder_.reported(AFXInstallationStateInstallingApp, 0.4));

    ASSERT_TRUE(gate_->release("install"));
    ASSERT_TRUE(waitForOutcomes(1));
    EXPECT_FALSE(recorder_.outcomes().first());
}

TEST_F(InstallationManagerTests, LaunchFindsAnAppItDidNotInstallThroughItsInstances) {
    // The app was installed before: no install call, so no instance is
    // known and launching asks the client for the app's instances.
    apps_->workflowState = 2;
    ASSERT_TRUE(apps_->placeApp());
    startStore();
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(waitForOutcomes(1));
    ASSERT_EQ(manager->state(), AFXInstallationStateReady);

    for (const bool instancesFail : {true, false}) {
        SCOPED_TRACE(instancesFail ? "instances fail" : "instances answer");
        apps_->instancesFail = instancesFail;
        std::atomic<int> answered = 0;
        manager->launchWithCallback([&](bool clientOpened) { answered = clientOpened ? 1 : 2; });
        ASSERT_TRUE(waitUntil([&] { return answered != 0; }));
        EXPECT_EQ(answered, 1) << "the answer is whether the client opened";
    }
    EXPECT_EQ(log_->count("instances 230"), 2);
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(testRoot() + "/app-opened"); }));
}

TEST_F(InstallationManagerTests, AnInstallAskedWhileAStopIsUnderWayBeginsOnceTheStopIsDone) {
    startStore();
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(waitForOutcomes(1));

    // The stop waits for the client's uninstaller info while the next
    // install is asked.
    gate_->hold("uninstaller");
    std::atomic<bool> stopped = false;
    std::atomic<int> reportsBeforeTheStopWasDone = 0;
    Recorder next;
    next.onReport = [&](std::int64_t, double) {
        if (!stopped) {
            ++reportsBeforeTheStopWasDone;
        }
    };
    manager->stopInstallationWithCallback([&] { stopped = true; });
    install(manager, next);
    ASSERT_TRUE(gate_->release("uninstaller"));
    ASSERT_TRUE(waitForOutcomes(next, 1));

    EXPECT_TRUE(stopped);
    EXPECT_EQ(reportsBeforeTheStopWasDone, 0);
    EXPECT_FALSE(next.outcomes().first());
    EXPECT_EQ(next.states(), (QList<std::int64_t>{0, 1, 3, 4, 6, 8, 9}));
    EXPECT_EQ(manager->state(), AFXInstallationStateReady);
}

TEST_F(InstallationManagerTests, AnInstallAskedWhileAnotherGoesOnIsRefused) {
    startStore();
    auto manager = makeManager();
    Recorder second;
    install(manager);
    install(manager, second);
    ASSERT_TRUE(waitForOutcomes(second, 1));
    ASSERT_TRUE(waitForOutcomes(1));

    ASSERT_TRUE(second.outcomes().first());
    EXPECT_TRUE(afx_isCancelled(*second.outcomes().first()));
    EXPECT_TRUE(second.reports().isEmpty());
    EXPECT_FALSE(recorder_.outcomes().first());
    EXPECT_EQ(downloads(), 1);
    EXPECT_EQ(log_->count("install launch=0"), 1);
}

TEST_F(InstallationManagerTests, AStopCancelsTheInstallsAskedBeforeIt) {
    startStore();
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(waitForOutcomes(1));

    // An install waiting for a stop is cancelled by the stop after it.
    gate_->hold("uninstaller");
    manager->stopInstallationWithCallback({});
    Recorder parked;
    install(manager, parked);
    ASSERT_TRUE(gate_->waitUntilHeld("uninstaller"));
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    manager->stopInstallationWithCallback([stopped] { *stopped = true; });
    ASSERT_TRUE(gate_->release("uninstaller"));
    ASSERT_TRUE(waitUntil([&] { return stopped->load(); }));
    ASSERT_EQ(parked.outcomes().size(), 1);
    ASSERT_TRUE(parked.outcomes().first());
    EXPECT_TRUE(afx_isCancelled(*parked.outcomes().first()));
    EXPECT_TRUE(parked.reports().isEmpty());

    // So is the install a restart plans once its stop is done.
    Recorder first;
    install(manager, first);
    ASSERT_TRUE(waitForOutcomes(first, 1));
    gate_->hold("uninstaller");
    manager->retryAfterError();
    ASSERT_TRUE(gate_->waitUntilHeld("uninstaller"));
    ASSERT_TRUE(stop(manager));
    // Asked while the restart's stop may still be under way, this install
    // is the only one to run.
    Recorder last;
    install(manager, last);
    ASSERT_TRUE(gate_->release("uninstaller"));
    ASSERT_TRUE(waitForOutcomes(last, 1));
    EXPECT_FALSE(last.outcomes().first());
    EXPECT_EQ(first.outcomes().size(), 1);
    EXPECT_EQ(downloads(), 3);
    EXPECT_EQ(manager->state(), AFXInstallationStateReady);
}

TEST_F(InstallationManagerTests, AFailedAppInstallationHasOneOutcomeWhateverTheWorkflowSaysLater) {
    apps_->installFailures = 1;
    startStore();
    auto manager = makeManager();
    install(manager);
    ASSERT_TRUE(waitForOutcomes(1));
    ASSERT_EQ(manager->state(), AFXInstallationStateAppInstallationFailed);
    ASSERT_TRUE(waitUntil([&] { return manager->appInstallationProgress() == 0.5; }));

    // Changes are handled in the order they are posted: once the failed
    // run's progress drops to 0.0, the "installed" before it was handled.
    apps_->postWorkflow(2, 1.0);
    apps_->postWorkflow(0, 0.0);
    ASSERT_TRUE(waitUntil([&] { return manager->appInstallationProgress() == 0.0; }));
    // Whatever the changes set off on the internal queue is done once this returns.
    manager->desktopClientURL();

    EXPECT_EQ(recorder_.outcomes().size(), 1);
    EXPECT_EQ(log_->count("resources priority=2"), 0);
    EXPECT_EQ(manager->state(), AFXInstallationStateAppInstallationFailed);
}
