#include "AFXInstallerAppDelegate.h"

#include "SpecificTools/Analytics/AFXAnalyticsIdentification.h"
#include "platform/Bundle.h"
#include "platform/StringFormat.h"
#include "ui/AFXInstallationWindowController.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

namespace {

const QString kInstallerName = QStringLiteral("install-orbit-notes");

QString menuTitle(const QString& key) {
    return platform::stringWithFormat(
        platform::Bundle::mainBundle()->localizedStringForKey(key, QString(), QString()), kInstallerName);
}

} // namespace

AFXInstallerAppDelegate::AFXInstallerAppDelegate(WindowControllerMaker makeWindowController)
    : makeWindowController_(std::move(makeWindowController)) {
    awakeFromNib();
}

AFXInstallerAppDelegate::~AFXInstallerAppDelegate() = default;

void AFXInstallerAppDelegate::awakeFromNib() {
    menuBar_ = std::make_unique<QMenuBar>();
    QMenu* menu = menuBar_->addMenu(kInstallerName);
    aboutMenuItem_ = menu->addAction(menuTitle(QStringLiteral("AboutAppMenuTitle")));
    aboutMenuItem_->setMenuRole(QAction::AboutRole);
    QObject::connect(aboutMenuItem_, &QAction::triggered, menuBar_.get(), [this] {
        QMessageBox::about(installationWindowController_ ? installationWindowController_->window() : nullptr,
                           aboutMenuItem_->text(),
                           QStringLiteral("%1 %2").arg(kInstallerName, QApplication::applicationVersion()));
    });
    menu->addSeparator();
    hideMenuItem_ = menu->addAction(menuTitle(QStringLiteral("HideAppMenuTitle")));
    hideMenuItem_->setShortcut(QKeySequence(QStringLiteral("Ctrl+H")));
    QObject::connect(hideMenuItem_, &QAction::triggered, menuBar_.get(), [this] {
        if (installationWindowController_) {
            installationWindowController_->window()->showMinimized();
        }
    });
    menu->addSeparator();
    quitMenuItem_ = menu->addAction(menuTitle(QStringLiteral("QuitAppMenuTitle")));
    quitMenuItem_->setMenuRole(QAction::QuitRole);
    quitMenuItem_->setShortcut(QKeySequence::Quit);
    QObject::connect(quitMenuItem_, &QAction::triggered, menuBar_.get(),
                     [] { AFXApplication::terminate(nullptr); });
}

void AFXInstallerAppDelegate::applicationDidFinishLaunching() {
    // Analytics name the screen and the window the installer runs with.
    AFXAnalyticsIdentification::setDisplaySizesProvider([] {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QWidget* active = QApplication::activeWindow();
        return std::pair{screen ? screen->size() : QSize(0, 0), active ? active->size() : QSize(0, 0)};
    });
    installationWindowController_ = makeWindowController_
                                        ? makeWindowController_()
                                        : AFXInstallationWindowController::makeWindowController();
    // The window carries the application menu, so its shortcuts work there.
    QWidget* window = installationWindowController_->window();
    window->addActions({aboutMenuItem_, hideMenuItem_, quitMenuItem_});
    installationWindowController_->showWindow();
}

AFXTerminateReply AFXInstallerAppDelegate::applicationShouldTerminate() {
    if (terminationReply_ == AFXTerminateReply::Cancel && installationWindowController_) {
        installationWindowController_->checkCanCloseWindowWithCallback([this](bool canClose) {
            if (canClose) {
                terminate();
            }
        });
    }
    return terminationReply_;
}

void AFXInstallerAppDelegate::applicationReceivedTerminationSignal() {
    if (!installationWindowController_) {
        terminate();
        return;
    }
    installationWindowController_->stopUnfinishedInstallationWithCallback([this] { terminate(); });
}

void AFXInstallerAppDelegate::terminate() {
    terminationReply_ = AFXTerminateReply::Now;
    AFXApplication::terminate(nullptr);
}
