#include "../FakeServices.h"
#include "ManualSchedulerClock.h"
#include "SpecificTools/Analytics/AFXAnalyticsIdentification.h"
#include "UITestSupport.h"
#include "installer/AFXInstallationManager.h"
#include "installer/AFXInstallerAppDelegate.h"
#include "installer/ui/AFXAnimationContext.h"
#include "installer/ui/AFXApplication.h"
#include "installer/ui/AFXColorfulProgressIndicator.h"
#include "installer/ui/AFXInstallationWindowController.h"
#include "installer/ui/AFXInstallerAccessibilityIdentifiers.h"
#include "installer/ui/AFXOnboardingContentView.h"
#include "installer/ui/AFXTopPaneView.h"
#include "platform/Paths.h"
#include "testing/EnvironmentOverride.h"
#include "testing/StoreProcess.h"
#include "testing/TestSupport.h"
#include "testing/ZipMaker.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

#include <thread>
#include <utility>

using testing_support::saveScreenshot;
using testing_support::testRoot;
using testing_support::waitForUI;

namespace {

constexpr std::int64_t kAppID = 230;

class AFXInstallationWindowControllerTests : public testing::Test {
protected:
    void SetUp() override {
        applications_ = platform::Paths::resolve("/Applications");
        appPath_ = applications_ + "/Orbit Notes.app";
        const QString served = testRoot() + "/served";
        QDir().mkpath(served + "/com.kestrel.DesktopClient");
        ASSERT_TRUE(testing_support::makeZipWithPython(
            served + "/com.kestrel.DesktopClient/Kestrel.zip",
            {{"Kestrel.app/Contents/Info.plist",
              R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>
<key>CFBundleIdentifier</key><string>com.kestrel.DesktopClient</string>
<key>CFBundleExecutable</key><string>Kestrel</string></dict></plist>)",
              0644,
              {}},
             {"Kestrel.app/Contents/MacOS/Kestrel", "#!/bin/sh\nexit 0\n", 0755, {}}},
            true));
        store_ = testing_support::StoreProcess::start(served, storeArguments_);
        ASSERT_TRUE(store_);
        environment_ = std::make_unique<testing_support::EnvironmentOverride>(
            std::initializer_list<testing_support::EnvironmentOverride::Entry>{
                {"KESTREL_DOWNLOAD_HOST", store_->baseURL().toString().toLocal8Bit()},
                {"KESTREL_CA_BUNDLE", store_->caBundlePath().toLocal8Bit()}});
        log_ = std::make_shared<fakes::CallLog>();
        gate_ = std::make_shared<fakes::AnswerGate>();
        system_ = std::make_shared<fakes::SystemService>(log_, gate_);
        apps_ = std::make_shared<fakes::AppsService>(log_, gate_, kAppID, appPath_);
        AFXAnimationContext::setDrivenManually(true);
        AFXApplication::setTerminationAction([this] {
            stateAtTermination_ = controller() && controller()->installationManager()
                                      ? controller()->installationManager()->state()
                                      : -1;
            ++terminations_;
        });
    }

    void TearDown() override {
        AFXAnimationContext::finishRunningAnimations();
        AFXApplication::setDelegate(nullptr);
        delegate_.reset();
        controller_.reset();
        EXPECT_TRUE(gate_->close()) << "an answer of the fake services never ended";
        AFXApplication::setTerminationAction([] { QCoreApplication::exit(0); });
        AFXAnimationContext::setDrivenManually(false);
    }

    AFXInstallationWindowController::Configuration configuration() {
        AFXInstallationWindowController::Configuration configuration;
        configuration.schedulerClock = clock_;
        configuration.makeInstallationManager = [this](std::int64_t appID) {
            auto manager = AFXInstallationManager::makeWithAppID(appID);
            manager->setServicesFactoryMaker(
                [this](const QList<AFXServiceClass>& classes, const QString& tierName,
                       const std::shared_ptr<AFXServicesFactoryDelegate>& delegate) {
                    // A retry makes a new factory: the failures belong to the first.
                    return std::make_shared<fakes::Factory>(system_, apps_, gate_,
                                                            std::exchange(systemServiceFailures_, 0), false,
                                                            delegate, classes, tierName);
                });
            return manager;
        };
        return configuration;
    }

    // The application as the program runs it: the delegate, its window and
    // the handshake.
    void launchApplication(AFXInstallationWindowController::Configuration settings) {
        delegate_ = std::make_unique<AFXInstallerAppDelegate>(
            [settings] { return AFXInstallationWindowController::makeWindowController(settings); });
        AFXApplication::setDelegate(delegate_.get());
        delegate_->applicationDidFinishLaunching();
    }
    void launchApplication() { launchApplication(configuration()); }

    AFXInstallationWindowController* controller() const {
        return delegate_ ? delegate_->installationWindowController() : controller_.get();
    }
    QWidget* window() const { return controller()->window(); }
    template <typename T = QWidget> T* element(const QString& identifier) const {
        return window()->findChild<T*>(identifier);
    }
    std::int64_t state() const { return controller()->installationManager()->state(); }
    QMessageBox* alert(const QString& identifier) const {
        auto* box = element<QMessageBox>(identifier);
        return box != nullptr && box->isVisible() ? box : nullptr;
    }
    bool waitForAlert(const QString& identifier) {
        return waitForUI([&] { return alert(identifier) != nullptr; });
    }
    void answer(const QString& alertIdentifier, const QString& buttonIdentifier) {
        auto* button = alert(alertIdentifier)->findChild<QAbstractButton*>(buttonIdentifier);
        ASSERT_NE(button, nullptr);
        button->click();
    }
    QString statusText() const {
        return element<QLabel>(AFXInstallerAccessibilityIdentifierInstallationStatusLabel)->text();
    }
    double progress() const {
        return element<AFXColorfulProgressIndicator>(AFXInstallerAccessibilityIdentifierProgressBar)
            ->doubleValue();
    }
    std::int64_t page() const { return controller()->paginationView()->currentPageIndex(); }
    // Each automatic change is the scheduler's run ten seconds after the
    // last; the page change it starts is then driven to its end.
    bool advanceTenSecondsToPage(std::int64_t expected) {
        clock_->advance(std::chrono::seconds(10));
        const bool changed =
            waitForUI([&] { return page() == expected && AFXAnimationContext::runningCount() > 0; });
        AFXAnimationContext::finishRunningAnimations();
        return changed;
    }

    QStringList storeArguments_;
    QString applications_;
    QString appPath_;
    std::shared_ptr<fakes::CallLog> log_;
    std::shared_ptr<fakes::AnswerGate> gate_;
    std::shared_ptr<fakes::SystemService> system_;
    std::shared_ptr<fakes::AppsService> apps_;
    int systemServiceFailures_ = 0;
    std::unique_ptr<testing_support::StoreProcess> store_;
    std::unique_ptr<testing_support::EnvironmentOverride> environment_;
    std::shared_ptr<testing_support::ManualSchedulerClock> clock_ =
        std::make_shared<testing_support::ManualSchedulerClock>();
    std::unique_ptr<AFXInstallerAppDelegate> delegate_;
    std::unique_ptr<AFXInstallationWindowController> controller_;
    int terminations_ = 0;
    std::int64_t stateAtTermination_ = -1;
};

TEST_F(AFXInstallationWindowControllerTests, ShowsProgressAndStatusThroughEveryStateAndLaunchesAtTheEnd) {
    // The install waits until the window has been seen installing: a
    // window sampled while it runs could otherwise miss the stage.
    gate_->hold(QStringLiteral("install"));
    launchApplication();
    ASSERT_NE(controller()->installationManager(), nullptr)
        << "with the minimum \"null\" every version passes";
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(window()->windowTitle(), "install-orbit-notes");
    for (const auto& identifier :
         {AFXInstallerAccessibilityIdentifierStopButton, AFXInstallerAccessibilityIdentifierLaunchButton,
          AFXInstallerAccessibilityIdentifierPaginationView,
          AFXInstallerAccessibilityIdentifierKestrelLogoView,
          AFXInstallerAccessibilityIdentifierOnboardingContentView,
          AFXInstallerAccessibilityIdentifierOnboardingTitleLabel,
          AFXInstallerAccessibilityIdentifierOnboardingTopPane}) {
        EXPECT_NE(element(identifier), nullptr) << identifier.toStdString();
    }
    EXPECT_EQ(element<QLabel>(AFXInstallerAccessibilityIdentifierOnboardingTitleLabel)->text(),
              "Orbit Notes is on its way");

    // Every text and value the window shows on the way, in order.
    QStringList texts;
    QList<double> values;
    bool shotWhileDownloading = false;
    const auto sample = [&] {
        if (texts.isEmpty() || texts.last() != statusText()) {
            texts.append(statusText());
        }
        if (values.isEmpty() || values.last() != progress()) {
            values.append(progress());
        }
        if (!shotWhileDownloading && progress() > 0.0) {
            shotWhileDownloading = true;
            saveScreenshot(window(), QStringLiteral("01-first-page-with-progress"));
        }
    };
    ASSERT_TRUE(waitForUI([&] {
        sample();
        return state() == AFXInstallationStateInstallingApp && texts.last() == "Installing Orbit Notes…";
    }));
    ASSERT_TRUE(gate_->release(QStringLiteral("install")));
    ASSERT_TRUE(waitForUI([&] {
        sample();
        return element(AFXInstallerAccessibilityIdentifierLaunchButton)->isVisible();
    }));
    EXPECT_EQ(texts,
              (QStringList{"Downloading Kestrel…", "Installing Orbit Notes…", "Orbit Notes is ready."}));
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_DOUBLE_EQ(values.last(), 1.0);
    // Sampled while the window runs, so a slow machine may merge stages;
    // the bar must still show progress between the start and the end.
    EXPECT_TRUE(std::any_of(values.begin(), values.end(), [](double value) {
        return value > 0.0 && value < 1.0;
    })) << "the bar moves through the stages";
    EXPECT_FALSE(element(AFXInstallerAccessibilityIdentifierStopButton)->isVisible());

    AFXAnimationContext::finishRunningAnimations();
    EXPECT_DOUBLE_EQ(AFXAnimationContext::alpha(element(AFXInstallerAccessibilityIdentifierProgressBar)),
                     0.0);
    EXPECT_DOUBLE_EQ(
        AFXAnimationContext::alpha(element(AFXInstallerAccessibilityIdentifierInstallationStatusLabel)), 0.0);
    saveScreenshot(window(), QStringLiteral("06-ready-to-launch"));

    // Closing when ready asks nothing.
    window()->close();
    EXPECT_EQ(terminations_, 1);
    EXPECT_EQ(stateAtTermination_, AFXInstallationStateReady);
    EXPECT_EQ(alert(AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow), nullptr);
}

TEST_F(AFXInstallationWindowControllerTests, LaunchOpensTheClientAndQuits) {
    launchApplication();
    ASSERT_TRUE(
        waitForUI([&] { return element(AFXInstallerAccessibilityIdentifierLaunchButton)->isVisible(); }));
    auto* launch = element<QPushButton>(AFXInstallerAccessibilityIdentifierLaunchButton);
    launch->click();
    // One launch at a time: the button is off until the launch has answered.
    EXPECT_FALSE(launch->isEnabled());
    ASSERT_TRUE(waitForUI([&] { return terminations_ == 1; }));
    EXPECT_EQ(stateAtTermination_, AFXInstallationStateReady);
}

TEST_F(AFXInstallationWindowControllerTests, AFailureOffersRetryWhichCarriesOn) {
    systemServiceFailures_ = 1;
    launchApplication();
    ASSERT_TRUE(waitForAlert(AFXInstallerAccessibilityIdentifierInstallationErrorAlertWindow));
    EXPECT_EQ(state(), AFXInstallationStateServicesFailed);
    EXPECT_EQ(alert(AFXInstallerAccessibilityIdentifierInstallationErrorAlertWindow)->informativeText(),
              "Something went wrong while installing. Check your internet connection and try again.")
        << "the error only selects the alert; its text is the alert's own";
    saveScreenshot(window(), QStringLiteral("04-error-alert"));
    answer(AFXInstallerAccessibilityIdentifierInstallationErrorAlertWindow,
           AFXInstallerAccessibilityIdentifierInstallationAlertDefaultButton);
    ASSERT_TRUE(
        waitForUI([&] { return element(AFXInstallerAccessibilityIdentifierLaunchButton)->isVisible(); }));
    EXPECT_EQ(state(), AFXInstallationStateReady);
    EXPECT_EQ(terminations_, 0);
}

TEST_F(AFXInstallationWindowControllerTests, AFailureStoppedUndoesAndThenQuits) {
    apps_->installFailures = 1;
    launchApplication();
    ASSERT_TRUE(waitForAlert(AFXInstallerAccessibilityIdentifierInstallationErrorAlertWindow));
    EXPECT_EQ(state(), AFXInstallationStateAppInstallationFailed);
    answer(AFXInstallerAccessibilityIdentifierInstallationErrorAlertWindow,
           AFXInstallerAccessibilityIdentifierInstallationAlertAlterButton);
    ASSERT_TRUE(waitForUI([&] { return terminations_ == 1; }));
    EXPECT_EQ(stateAtTermination_, AFXInstallationStateIdle) << "the process ends only after the undo";
    EXPECT_EQ(log_->count("stop install"), 1);
    EXPECT_EQ(log_->count("uninstaller type=1"), 1)
        << "this run placed the client: the undo asks for its uninstaller";
}

TEST_F(AFXInstallationWindowControllerTests, ClosingInAnUnfinishedStateAsksFirst) {
    // 5: a failed service fetch, 7: a failed install; both leave the error
    // alert up and the close check asks on top of it.
    for (const bool failInstall : {false, true}) {
        SCOPED_TRACE(failInstall ? "state 7" : "state 5");
        systemServiceFailures_ = failInstall ? 0 : 1;
        apps_->installFailures = failInstall ? 1 : 0;
        launchApplication();
        ASSERT_TRUE(waitForAlert(AFXInstallerAccessibilityIdentifierInstallationErrorAlertWindow));
        const std::int64_t failed = state();
        EXPECT_EQ(failed, failInstall ? AFXInstallationStateAppInstallationFailed
                                      : AFXInstallationStateServicesFailed);
        std::optional<bool> answered;
        controller()->checkCanCloseWindowWithCallback([&](bool canClose) { answered = canClose; });
        ASSERT_TRUE(waitForAlert(AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow));
        EXPECT_FALSE(answered) << "nothing is answered before the user";
        answer(AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow,
               AFXInstallerAccessibilityIdentifierInstallationAlertDefaultButton);
        EXPECT_EQ(answered, false);
        EXPECT_EQ(state(), failed);
        AFXAnimationContext::finishRunningAnimations();
        AFXApplication::setDelegate(nullptr);
        delegate_.reset();
    }
}

// The store answers every download with a server error.
class AFXInstallationWindowControllerFailingDownloadTests : public AFXInstallationWindowControllerTests {
protected:
    AFXInstallationWindowControllerFailingDownloadTests() { storeArguments_ = {"--status", "500"}; }
};

TEST_F(AFXInstallationWindowControllerFailingDownloadTests, ClosingAfterAFailedDownloadAsksFirst) {
    launchApplication();
    ASSERT_TRUE(waitForAlert(AFXInstallerAccessibilityIdentifierInstallationErrorAlertWindow));
    EXPECT_EQ(state(), AFXInstallationStateDownloadFailed);
    window()->close();
    ASSERT_TRUE(waitForAlert(AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow));
    EXPECT_EQ(terminations_, 0);
    answer(AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow,
           AFXInstallerAccessibilityIdentifierInstallationAlertAlterButton);
    ASSERT_TRUE(waitForUI([&] { return terminations_ == 1; }));
    EXPECT_EQ(stateAtTermination_, AFXInstallationStateIdle);
}

TEST_F(AFXInstallationWindowControllerTests, StopDuringTheInstallationUndoesBeforeTheProcessEnds) {
    // The client never reports the app installed: the run waits in state 6.
    apps_->postInstalledNotification = false;
    launchApplication();
    ASSERT_TRUE(
        waitForUI([&] { return log_->count("install launch=0") == 1 && QFileInfo::exists(appPath_); }));
    ASSERT_TRUE(waitForUI([&] { return state() == AFXInstallationStateInstallingApp; }));

    element<QPushButton>(AFXInstallerAccessibilityIdentifierStopButton)->click();
    ASSERT_TRUE(waitForAlert(AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow));
    saveScreenshot(window(), QStringLiteral("05-incomplete-alert"));
    EXPECT_EQ(terminations_, 0) << "the first quit request is cancelled while the user is asked";
    answer(AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow,
           AFXInstallerAccessibilityIdentifierInstallationAlertAlterButton);
    ASSERT_TRUE(waitForUI([&] { return terminations_ == 1; }));
    EXPECT_EQ(stateAtTermination_, AFXInstallationStateIdle);
    EXPECT_FALSE(QFileInfo::exists(appPath_)) << "the installed app was removed before quitting";
    EXPECT_EQ(log_->count("stop install"), 1);
}

// The installation becomes ready while the user is asked whether to stop:
// "Stop and Quit" then quits without undoing it.
TEST_F(AFXInstallationWindowControllerTests, AStopAnsweredOnceTheInstallationIsReadyUndoesNothing) {
    gate_->hold("resources");
    launchApplication();
    ASSERT_TRUE(gate_->waitUntilHeld("resources"));
    ASSERT_TRUE(waitForUI([&] { return state() == AFXInstallationStatePreparingResources; }));
    element<QPushButton>(AFXInstallerAccessibilityIdentifierStopButton)->click();
    ASSERT_TRUE(waitForAlert(AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow));
    ASSERT_TRUE(gate_->release("resources"));
    ASSERT_TRUE(waitForUI([&] { return state() == AFXInstallationStateReady; }));

    answer(AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow,
           AFXInstallerAccessibilityIdentifierInstallationAlertAlterButton);
    ASSERT_TRUE(waitForUI([&] { return terminations_ == 1; }));
    EXPECT_EQ(stateAtTermination_, AFXInstallationStateReady);
    EXPECT_TRUE(QFileInfo::exists(appPath_));
    EXPECT_EQ(log_->count("stop install"), 0);
}

// Once a stop is under way nothing asks again, and the application quits
// once, after the undo.
TEST_F(AFXInstallationWindowControllerTests, AQuitAskedWhileAStopIsUnderWayWaitsForIt) {
    apps_->postInstalledNotification = false;
    gate_->hold("stop install");
    launchApplication();
    ASSERT_TRUE(waitForUI(
        [&] { return state() == AFXInstallationStateInstallingApp && QFileInfo::exists(appPath_); }));
    auto* stop = element<QPushButton>(AFXInstallerAccessibilityIdentifierStopButton);
    stop->click();
    ASSERT_TRUE(waitForAlert(AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow));
    answer(AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow,
           AFXInstallerAccessibilityIdentifierInstallationAlertAlterButton);
    ASSERT_TRUE(gate_->waitUntilHeld("stop install"));
    EXPECT_FALSE(stop->isEnabled());

    window()->close();
    EXPECT_FALSE(waitForUI(
        [&] {
            return alert(AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow) != nullptr;
        },
        std::chrono::milliseconds(500)))
        << "asked again while the stop was under way";
    EXPECT_EQ(terminations_, 0);
    ASSERT_TRUE(gate_->release("stop install"));
    ASSERT_TRUE(waitForUI([&] { return terminations_ > 0; }));
    EXPECT_EQ(stateAtTermination_, AFXInstallationStateIdle);
    EXPECT_FALSE(QFileInfo::exists(appPath_));
    EXPECT_EQ(log_->count("stop install"), 1);
}

TEST_F(AFXInstallationWindowControllerTests, AFailedVersionCheckStartsNothingAndQuitsAtOnce) {
    testing_support::EnvironmentOverride system({{"KESTREL_OS_VERSION", QByteArray("10.14")}});
    auto settings = configuration();
    settings.minimumOSVersion = QStringLiteral("10.15");
    launchApplication(settings);
    EXPECT_EQ(controller()->installationManager(), nullptr);
    EXPECT_FALSE(controller()->isSelectingPagesAutomatically());
    // The error comes half a second later, attached to the window.
    ASSERT_TRUE(waitForUI([&] {
        for (auto* box : window()->findChildren<QMessageBox*>()) {
            if (box->isVisible()) {
                return true;
            }
        }
        return false;
    }));
    window()->close();
    EXPECT_EQ(terminations_, 1) << "no installation, no question";
}

TEST_F(AFXInstallationWindowControllerTests, PagesAdvanceEveryTenSecondsAndStopAtTheLast) {
    apps_->postInstalledNotification = false;
    launchApplication();
    ASSERT_TRUE(waitForUI([&] { return clock_->armedCount() == 1; }));
    ASSERT_TRUE(advanceTenSecondsToPage(1));
    EXPECT_EQ(controller()->onboardingContentView(), AFXOnboardingContentView::secondScreenContentView());
    saveScreenshot(window(), QStringLiteral("02-second-page"));
    ASSERT_TRUE(advanceTenSecondsToPage(2));
    EXPECT_EQ(controller()->onboardingContentView(), AFXOnboardingContentView::thirdScreenContentView());
    EXPECT_TRUE(controller()->onboardingContentView()->topPaneView()->iconView()->isVisible())
        << "the third page's pictures are all back after its show";
    saveScreenshot(window(), QStringLiteral("03-third-page"));
    EXPECT_TRUE(controller()->isSelectingPagesAutomatically());
    clock_->advance(std::chrono::seconds(10));
    EXPECT_TRUE(waitForUI([&] { return !controller()->isSelectingPagesAutomatically(); }))
        << "no next page: the automatic change ends";
    EXPECT_EQ(page(), 2);
}

TEST_F(AFXInstallationWindowControllerTests, ArrowKeysAndClicksEndTheAutomaticChange) {
    apps_->postInstalledNotification = false;
    launchApplication();
    const auto press = [&](Qt::Key key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(window(), &event);
    };
    press(Qt::Key_Left);
    press(Qt::Key_A);
    EXPECT_EQ(page(), 0);
    EXPECT_TRUE(controller()->isSelectingPagesAutomatically()) << "a key that changes nothing ends nothing";

    press(Qt::Key_Right);
    EXPECT_EQ(page(), 1);
    EXPECT_FALSE(controller()->isSelectingPagesAutomatically());
    EXPECT_FALSE(controller()->paginationView()->isEnabled()) << "disabled while the pages cross-fade";
    press(Qt::Key_Right);
    EXPECT_EQ(page(), 1) << "no change while a change animates";
    AFXAnimationContext::finishRunningAnimations();
    EXPECT_TRUE(controller()->paginationView()->isEnabled());

    // A click on a page number.
    AFXApplication::setDelegate(nullptr);
    delegate_.reset();
    launchApplication();
    auto* third = controller()->paginationView()->pageNumberViews().at(2);
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(3, 3), third->mapToGlobal(QPointF(3, 3)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(third, &click);
    EXPECT_EQ(page(), 2);
    EXPECT_FALSE(controller()->isSelectingPagesAutomatically());
}

TEST_F(AFXInstallationWindowControllerTests, AnAutomaticChangeDuringAnimationEndsTheAutomaticChange) {
    apps_->postInstalledNotification = false;
    launchApplication();
    ASSERT_TRUE(waitForUI([&] { return clock_->armedCount() == 1; }));
    // The first change starts animating; the next comes before it ends.
    clock_->advance(std::chrono::seconds(10));
    ASSERT_TRUE(waitForUI([&] { return page() == 1; }));
    ASSERT_GT(AFXAnimationContext::runningCount(), 0);
    clock_->advance(std::chrono::seconds(10));
    ASSERT_TRUE(waitForUI([&] { return !controller()->isSelectingPagesAutomatically(); }));
    EXPECT_EQ(page(), 1) << "the disabled pagination refused";
}

// The installer's analytics name the screen it runs on; the sizes are only
// looked at on the interface's thread, elsewhere they are unknown.
TEST_F(AFXInstallationWindowControllerTests, AnalyticsNameTheScreenOnTheInterfacesThreadOnly) {
    apps_->postInstalledNotification = false;
    launchApplication();
    const QSize screen = QGuiApplication::primaryScreen()->size();
    ASSERT_FALSE(screen.isEmpty());
    const QString onInterface =
        AFXAnalyticsIdentification::makeWithApplicationName("installer")->systemInfo();
    EXPECT_TRUE(
        onInterface.startsWith(QStringLiteral("&sr=%1x%2&vp=").arg(screen.width()).arg(screen.height())))
        << onInterface.toStdString();

    QString elsewhere;
    std::thread([&] {
        elsewhere = AFXAnalyticsIdentification::makeWithApplicationName("installer")->systemInfo();
    }).join();
    EXPECT_TRUE(elsewhere.startsWith("&sr=0x0&vp=0x0&ul=")) << elsewhere.toStdString();
}

} // namespace
