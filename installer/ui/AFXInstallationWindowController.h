#pragma once

#include "AFXPaginationView.h"
#include "support/AFXSchedulerClock.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Ui {
class AFXInstallationWindowController;
}

class AFXInstallationManager;
class AFXOnboardingContentView;
class AFXScheduler;
class BRErrorPresentationController;
class QMessageBox;
class QWidget;

// Owns the installer's only window: checks the system version, starts the
// installation manager for the app, shows its progress and a status line,
// rotates three onboarding pages every 10 seconds until the last one or the
// user's first choice, offers retry or stop on a failure, turns Stop into
// Launch on success and decides whether the window may close. Lives on the
// main thread; the manager's and the scheduler's reports hop there.
class AFXInstallationWindowController : public QObject, public AFXPaginationViewDelegate {
public:
    // What a controller is made with; the defaults are the installer's own.
    struct Configuration {
        QString minimumOSVersion = QStringLiteral("null");
        std::function<std::shared_ptr<AFXInstallationManager>(std::int64_t appID)> makeInstallationManager;
        std::shared_ptr<AFXSchedulerClock> schedulerClock = AFXSchedulerClock::systemClock();
    };

    static std::unique_ptr<AFXInstallationWindowController> makeWindowController();
    static std::unique_ptr<AFXInstallationWindowController> makeWindowController(Configuration configuration);
    ~AFXInstallationWindowController() override;

    QWidget* window() const { return window_.get(); }
    void showWindow();

    // Answers (maybe after asking the user, maybe after stopping and undoing
    // the installation) whether the window, and with it the application,
    // may close.
    void checkCanCloseWindowWithCallback(std::function<void(bool canClose)> callback);
    // The same without asking: an installation that is not ready is
    // stopped and undone (a stop with nothing under way ends at once), then
    // `callback` runs (at once without an installation).
    void stopUnfinishedInstallationWithCallback(std::function<void()> callback);

    // Actions of the buttons and keys.
    void stopInstallation();
    void launch();
    void keyDown(int key);

    static std::optional<QString> statusTextForInstallationState(std::int64_t state);

    AFXInstallationManager* installationManager() const { return installationManager_.get(); }
    bool isSelectingPagesAutomatically() const { return selectNextPageScheduler_ != nullptr; }
    AFXOnboardingContentView* onboardingContentView() const { return onboardingContentView_; }
    AFXPaginationView* paginationView() const;

    void paginationViewDidSelectPage(AFXPaginationView* view, std::int64_t page, bool isUserAction) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The installation manager's state, idle without a manager.
    std::int64_t installationState() const;
    // Stops and undoes the installation, then runs `callback` on the main
    // thread; asked again while a stop is under way, it waits for that one.
    void stopInstallationThen(std::function<void()> callback);
    explicit AFXInstallationWindowController(Configuration configuration);
    void windowDidLoad();
    void setupAccessibilityAnchors();
    bool checkVersionCompatibilityAndPresentErrorOtherwise();
    void startInstallation();
    void installationDidFinish(const std::optional<QString>& failure);
    void scheduleSelectNextPage();
    void selectNextPage();
    void stopSelectingPagesAutomatically();
    void setOnboardingContentView(AFXOnboardingContentView* view);
    void showAlert(QMessageBox* alert, std::function<void(int response)> handler);

    const Configuration configuration_;
    std::unique_ptr<QWidget> window_;
    std::unique_ptr<Ui::AFXInstallationWindowController> ui_;
    AFXOnboardingContentView* onboardingContentView_ = nullptr;
    std::shared_ptr<BRErrorPresentationController> errorPresentationController_;
    std::shared_ptr<AFXInstallationManager> installationManager_;
    std::shared_ptr<AFXScheduler> selectNextPageScheduler_;
    // While a stop is under way: what waits for it to end (run when it
    // ends, whether or not the controller is still there).
    std::shared_ptr<std::vector<std::function<void()>>> waitingForStop_;
};
