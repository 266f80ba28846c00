#include "AFXInstallationWindowController.h"

#include "AFXAnimationContext.h"
#include "AFXApplication.h"
#include "AFXColorfulProgressIndicator.h"
#include "AFXInstallationAlerts.h"
#include "AFXInstallerAccessibilityIdentifiers.h"
#include "AFXInstallerExtensions.h"
#include "AFXOnboardingContentView.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "installer/AFXInstallationManager.h"
#include "platform/Bundle.h"
#include "platform/DispatchQueue.h"
#include "support/AFXScheduler.h"
#include "support/BRDispatch.h"
#include "support/BRErrorPresentationController.h"
#include "support/BRErrorRecovery.h"
#include "support/BRSystemInfo.h"
#include "support/BRVersionComparator.h"
#include "support/BRViewUtilities.h"
#include "ui_AFXInstallationWindowController.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QParallelAnimationGroup>
#include <QPointer>
#include <QPropertyAnimation>

namespace {

constexpr std::int64_t kOrbitNotesAppID = 230;
const QString kWindowTitle = QStringLiteral("install-orbit-notes");

QString localized(const QString& key) {
    return platform::Bundle::mainBundle()->localizedStringForKey(key, QString(), QString());
}

} // namespace

std::unique_ptr<AFXInstallationWindowController> AFXInstallationWindowController::makeWindowController() {
    return makeWindowController(Configuration());
}

std::unique_ptr<AFXInstallationWindowController>
AFXInstallationWindowController::makeWindowController(Configuration configuration) {
    std::unique_ptr<AFXInstallationWindowController> controller(
        new AFXInstallationWindowController(std::move(configuration)));
    controller->windowDidLoad();
    return controller;
}

AFXInstallationWindowController::AFXInstallationWindowController(Configuration configuration)
    : configuration_(std::move(configuration)), window_(std::make_unique<QWidget>()),
      ui_(std::make_unique<Ui::AFXInstallationWindowController>()) {
    ui_->setupUi(window_.get());
}

AFXInstallationWindowController::~AFXInstallationWindowController() {
    if (selectNextPageScheduler_) {
        selectNextPageScheduler_->updateEnabled(false);
    }
    window_->removeEventFilter(this);
}

AFXPaginationView* AFXInstallationWindowController::paginationView() const {
    return ui_->paginationView;
}

void AFXInstallationWindowController::windowDidLoad() {
    window_->setWindowTitle(kWindowTitle);
    window_->setFocusPolicy(Qt::StrongFocus);
    QPalette palette = window_->palette();
    palette.setColor(QPalette::Window, Qt::white);
    window_->setPalette(palette);
    window_->setAutoFillBackground(true);
    window_->installEventFilter(this);
    ui_->kestrelLogoView->setPixmap(AFXImageNamed(
        QStringLiteral("KestrelLogo"), ui_->kestrelLogoView->minimumSize(), qApp->devicePixelRatio()));
    QObject::connect(ui_->stopButton, &QPushButton::clicked, this, [this] { stopInstallation(); });
    QObject::connect(ui_->launchButton, &QPushButton::clicked, this, [this] { launch(); });
    ui_->launchButton->setHidden(true);

    setupAccessibilityAnchors();

    ui_->progressBar->setIndeterminate(false);
    ui_->progressBar->setMinValue(0.0);
    ui_->progressBar->setMaxValue(1.0);
    ui_->progressBar->setColorValues({BRColorWithSRGBHex(0x2680FD), BRColorWithSRGBHex(0x8B5CF6),
                                      BRColorWithSRGBHex(0xF0508C), BRColorWithSRGBHex(0xFF9F2E)});
    ui_->progressBar->setBackgroundColorValue(BRColorWithSRGBHex(0xE6E8EE));
    ui_->progressBar->setDoubleValue(0.0);

    errorPresentationController_ = BRErrorPresentationController::make();
    ui_->paginationView->setDelegate(this);

    onboardingContentView_ = AFXOnboardingContentView::firstScreenContentView();
    onboardingContentView_->showAnimated(false, [] {});
    BREmbedView(ui_->onboardingViewPlaceholder, onboardingContentView_);

    if (checkVersionCompatibilityAndPresentErrorOtherwise()) {
        installationManager_ = configuration_.makeInstallationManager
                                   ? configuration_.makeInstallationManager(kOrbitNotesAppID)
                                   : AFXInstallationManager::makeWithAppID(kOrbitNotesAppID);
        startInstallation();
        scheduleSelectNextPage();
    }
}

void AFXInstallationWindowController::setupAccessibilityAnchors() {
    AFXSetAccessibilityIdentifier(window_.get(), AFXInstallerAccessibilityIdentifierMainWindow);
    AFXSetAccessibilityIdentifier(ui_->stopButton, AFXInstallerAccessibilityIdentifierStopButton);
    AFXSetAccessibilityIdentifier(ui_->launchButton, AFXInstallerAccessibilityIdentifierLaunchButton);
    AFXSetAccessibilityIdentifier(ui_->progressBar, AFXInstallerAccessibilityIdentifierProgressBar);
    AFXSetAccessibilityIdentifier(ui_->kestrelLogoView, AFXInstallerAccessibilityIdentifierKestrelLogoView);
    AFXSetAccessibilityIdentifier(ui_->statusTextField,
                                  AFXInstallerAccessibilityIdentifierInstallationStatusLabel);
    AFXSetAccessibilityIdentifier(ui_->paginationView, AFXInstallerAccessibilityIdentifierPaginationView);
}

void AFXInstallationWindowController::showWindow() {
    window_->show();
    window_->raise();
    window_->activateWindow();
    window_->setFocus();
}

bool AFXInstallationWindowController::checkVersionCompatibilityAndPresentErrorOtherwise() {
    const QString current = BRSystemInfo::OSVersion();
    if (BRVersionComparator::compareVersion(current, configuration_.minimumOSVersion) != -1) {
        return true;
    }
    const auto error = errorWithRecoveryAttemptBlock(
        afx_incompatibleAppMinOSVersion(configuration_.minimumOSVersion, current),
        [](const platform::Error&, std::size_t) -> std::optional<platform::Error> {
            BRInteractWithUI([] { AFXApplication::terminate(nullptr); });
            return std::nullopt;
        });
    QPointer<AFXInstallationWindowController> weakSelf = this;
    platform::DispatchQueue::main()->after(std::chrono::milliseconds(500), [weakSelf, error] {
        if (weakSelf) {
            weakSelf->errorPresentationController_->presentError(error, weakSelf->window_.get());
        }
    });
    return false;
}

std::optional<QString> AFXInstallationWindowController::statusTextForInstallationState(std::int64_t state) {
    if (state >= AFXInstallationStateIdle && state <= AFXInstallationStateDownloadFailed) {
        return localized(QStringLiteral("StatusTextFieldAppDownloading"));
    }
    if (state >= AFXInstallationStateDownloaded && state <= AFXInstallationStatePreparingResources) {
        return localized(QStringLiteral("StatusTextFieldAppInstalling"));
    }
    if (state == AFXInstallationStateReady) {
        return localized(QStringLiteral("StatusTextFieldAppReady"));
    }
    return std::nullopt;
}

void AFXInstallationWindowController::startInstallation() {
    ui_->statusTextField->setText(
        statusTextForInstallationState(installationManager_->state()).value_or(QString()));
    ui_->progressBar->setDoubleValue(0.0);
    QPointer<AFXInstallationWindowController> weakSelf = this;
    installationManager_->installWithProgressBlock(
        [weakSelf](std::int64_t state, double progress) {
            BRInteractWithUI([weakSelf, state, progress] {
                if (!weakSelf) {
                    return;
                }
                weakSelf->ui_->progressBar->setDoubleValue(progress);
                weakSelf->ui_->statusTextField->setText(
                    statusTextForInstallationState(state).value_or(QString()));
            });
        },
        [weakSelf](const std::optional<platform::Error>& error) {
            // The error only selects the alert: its text is the alert's own.
            const std::optional<QString> failure =
                error ? std::optional<QString>(error->localizedDescription()) : std::nullopt;
            BRInteractWithUI([weakSelf, failure] {
                if (weakSelf) {
                    weakSelf->installationDidFinish(failure);
                }
            });
        });
}

void AFXInstallationWindowController::installationDidFinish(const std::optional<QString>& failure) {
    QApplication::alert(window_.get());
    if (failure) {
        QPointer<AFXInstallationWindowController> weakSelf = this;
        showAlert(AFXInstallationErrorAlert(std::nullopt, window_.get()), [weakSelf](int response) {
            if (!weakSelf) {
                return;
            }
            if (response == BRErrorPresentationController::FirstButtonReturn) {
                weakSelf->installationManager_->retryAfterError();
            } else if (response == BRErrorPresentationController::FirstButtonReturn + 1) {
                weakSelf->installationManager_->stopInstallationWithCallback([weakSelf] {
                    BRInteractWithUI([weakSelf] {
                        if (weakSelf) {
                            AFXApplication::terminate(weakSelf);
                        }
                    });
                });
            }
        });
        return;
    }
    ui_->stopButton->setHidden(true);
    ui_->launchButton->setHidden(false);
    auto* fade = new QParallelAnimationGroup;
    fade->addAnimation(
        AFXAnimationContext::alphaAnimation(ui_->statusTextField, 0.0, 1.0, QEasingCurve::Linear));
    fade->addAnimation(AFXAnimationContext::alphaAnimation(ui_->progressBar, 0.0, 1.0, QEasingCurve::Linear));
    AFXAnimationContext::run(fade, {});
}

void AFXInstallationWindowController::showAlert(QMessageBox* alert,
                                                std::function<void(int response)> handler) {
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    QObject::connect(alert, &QMessageBox::finished, alert, [alert, handler = std::move(handler)](int code) {
        handler(BRAlertResponse(alert, code));
    });
    alert->open();
}

void AFXInstallationWindowController::launch() {
    // One launch at a time: a second click would open the page, and the
    // app, once more.
    ui_->launchButton->setEnabled(false);
    QPointer<AFXInstallationWindowController> weakSelf = this;
    installationManager_->launchWithCallback([weakSelf](bool clientOpened) {
        BRInteractWithUI([weakSelf, clientOpened] {
            if (!weakSelf) {
                return;
            }
            if (clientOpened) {
                AFXApplication::terminate(weakSelf);
            } else {
                weakSelf->ui_->launchButton->setEnabled(true);
            }
        });
    });
}

void AFXInstallationWindowController::stopInstallation() {
    AFXApplication::terminate(this);
}

std::int64_t AFXInstallationWindowController::installationState() const {
    return installationManager_ ? installationManager_->state() : AFXInstallationStateIdle;
}

void AFXInstallationWindowController::checkCanCloseWindowWithCallback(
    std::function<void(bool canClose)> callback) {
    const std::int64_t state = installationState();
    // A stop under way quits once the undo is done: nothing to ask, and
    // nothing may quit before then.
    if (waitingForStop_ || state == AFXInstallationStateIdle || state == AFXInstallationStateReady) {
        // Idle is no reason to ask, but the client's transfer may already
        // be connecting before its first bytes make the state move.
        stopUnfinishedInstallationWithCallback([callback] { callback(true); });
        return;
    }
    QPointer<AFXInstallationWindowController> weakSelf = this;
    showAlert(AFXInstallationIncompleteAlert(window_.get()), [weakSelf, callback](int response) {
        if (response != BRErrorPresentationController::FirstButtonReturn + 1) {
            callback(false);
        } else if (weakSelf) {
            // The installation may have become ready while the user was
            // asked: it is no longer undone then.
            weakSelf->stopUnfinishedInstallationWithCallback([callback] { callback(true); });
        }
    });
}

void AFXInstallationWindowController::stopUnfinishedInstallationWithCallback(std::function<void()> callback) {
    if (!installationManager_ || (!waitingForStop_ && installationState() == AFXInstallationStateReady)) {
        callback();
        return;
    }
    stopInstallationThen(std::move(callback));
}

void AFXInstallationWindowController::stopInstallationThen(std::function<void()> callback) {
    if (waitingForStop_) {
        waitingForStop_->push_back(std::move(callback));
        return;
    }
    auto waiting = std::make_shared<std::vector<std::function<void()>>>();
    waiting->push_back(std::move(callback));
    waitingForStop_ = waiting;
    ui_->stopButton->setEnabled(false);
    QPointer<AFXInstallationWindowController> weakSelf = this;
    installationManager_->stopInstallationWithCallback([weakSelf, waiting] {
        BRInteractWithUI([weakSelf, waiting] {
            if (weakSelf) {
                weakSelf->waitingForStop_ = nullptr;
                weakSelf->ui_->stopButton->setEnabled(true);
            }
            for (const auto& callback : std::exchange(*waiting, {})) {
                callback();
            }
        });
    });
}

void AFXInstallationWindowController::scheduleSelectNextPage() {
    AFXDateComponents tenSeconds;
    tenSeconds.second = 10;
    QPointer<AFXInstallationWindowController> weakSelf = this;
    selectNextPageScheduler_ = AFXScheduler::makeWithAutomaticTriggeringThreshold(
        tenSeconds, tenSeconds, nullptr,
        [weakSelf] {
            BRInteractWithUI([weakSelf] {
                if (weakSelf) {
                    weakSelf->selectNextPage();
                }
            });
        },
        configuration_.schedulerClock);
}

void AFXInstallationWindowController::selectNextPage() {
    if (!ui_->paginationView->selectNextPageWithUserAction(false)) {
        stopSelectingPagesAutomatically();
    }
}

void AFXInstallationWindowController::stopSelectingPagesAutomatically() {
    if (selectNextPageScheduler_) {
        selectNextPageScheduler_->updateEnabled(false);
        selectNextPageScheduler_.reset();
    }
}

void AFXInstallationWindowController::paginationViewDidSelectPage(AFXPaginationView*, std::int64_t page,
                                                                  bool isUserAction) {
    switch (page) {
    case 0:
        setOnboardingContentView(AFXOnboardingContentView::firstScreenContentView());
        break;
    case 1:
        setOnboardingContentView(AFXOnboardingContentView::secondScreenContentView());
        break;
    case 2:
        setOnboardingContentView(AFXOnboardingContentView::thirdScreenContentView());
        break;
    default:
        break;
    }
    if (isUserAction) {
        stopSelectingPagesAutomatically();
    }
}

void AFXInstallationWindowController::setOnboardingContentView(AFXOnboardingContentView* view) {
    if (view == onboardingContentView_) {
        return;
    }
    ui_->paginationView->setEnabled(false);
    QPointer<AFXInstallationWindowController> weakSelf = this;
    const auto done = AFXAnimationContext::afterBoth([weakSelf] {
        if (weakSelf) {
            weakSelf->ui_->paginationView->setEnabled(true);
        }
    });
    QPointer<AFXOnboardingContentView> old = onboardingContentView_;
    old->hideAnimated(true, [old, weakSelf, done] {
        // The page may have come back meanwhile; then it stays.
        if (old && !(weakSelf && weakSelf->onboardingContentView_ == old)) {
            old->setParent(nullptr);
        }
        done();
    });
    onboardingContentView_ = view;
    BREmbedView(ui_->onboardingViewPlaceholder, view, BRViewOrdering::Below, old);
    view->showAnimated(true, done);
}

void AFXInstallationWindowController::keyDown(int key) {
    if (key == Qt::Key_Left) {
        ui_->paginationView->selectPreviousPageWithUserAction(true);
    } else if (key == Qt::Key_Right) {
        ui_->paginationView->selectNextPageWithUserAction(true);
    }
}

bool AFXInstallationWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_.get()) {
        return false;
    }
    switch (event->type()) {
    case QEvent::Close:
        // Closing goes through the application's termination handshake.
        event->ignore();
        AFXApplication::terminate(this);
        return true;
    case QEvent::KeyPress:
        keyDown(static_cast<QKeyEvent*>(event)->key());
        return true;
    default:
        return false;
    }
}
