#include "FakeServices.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "installer/AFXInstallationManager.h"
#include "platform/Paths.h"
#include "testing/EnvironmentOverride.h"
#include "testing/StoreProcess.h"
#include "testing/TestSupport.h"
#include "testing/ZipMaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    void progress(std::int64_t state, double progress) {
        std::lock_guard lock(mutex_);
        reports_.append({state, progress});
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
        // run and the URLs it is asked to open.
        QDir().mkpath(served + "/com.kestrel.DesktopClient");
        const QByteArray client = "#!/bin/sh\necho \"$@\" >> '" + runLog_.toUtf8() + "'\nexit 0\n";
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

        log_ = std::make_shared<fakes::CallLog>();
        system_ = std::make_shared<fakes::SystemService>(log_);
        system_->uninstallerPath = uninstaller_;
        system_->uninstallerArguments = {applications_ + "/Kestrel.app"};
        apps_ = std::make_shared<fakes::AppsService>(log_, kAppID, appPath_);
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
        manager->setServicesFactoryMaker([this](const QStringList& classes, const QString& tierName,
                                                const std::shared_ptr<AFXServicesFactoryDelegate>& delegate) {
            ++factoriesMade_;
            factoryClasses_ = classes;
            factoryTierName_ = tierName;
            return std::make_shared<fakes::Factory>(system_, apps_, systemServiceFailures_, delegate, classes,
                                                    tierName);
        });
        return manager;
    }

    void install(const std::shared_ptr<AFXInstallationManager>& manager) {
        manager->installWithProgressBlock(
            [this](std::int64_t state, double p) { recorder_.progress(state, p); },
            [this](const auto& error) { recorder_.outcome(error); });
    }

    bool waitForOutcomes(int count) {
        return waitUntil([&] { return recorder_.outcomes().size() >= count; }, std::chrono::seconds(60));
    }

    bool stop(const std::shared_ptr<AFXInstallationManager>& manager) {
        std::atomic<bool> stopped = false;
        manager->stopInstallationWithCallback([&] { stopped = true; });
        return waitUntil([&] { return stopped.load(); }, std::chrono::seconds(60));
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
    std::shared_ptr<fakes::CallLog> log_;
    std::shared_ptr<fakes::SystemService> system_;
    std::shared_ptr<fakes::AppsService> apps_;
    int systemServiceFailures_ = 0;
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
