#pragma once

#include "ui/AFXApplication.h"

#include <functional>
#include <memory>

class AFXInstallationWindowController;
class QAction;
class QMenuBar;

// The installer's application: its menu, its one window, and the
// termination handshake every quit path goes through (the Quit item, the
// window's close button, Stop): the process ends only once a running
// installation has been stopped and undone. Lives on the main thread.
class AFXInstallerAppDelegate : public AFXApplicationDelegate {
public:
    using WindowControllerMaker = std::function<std::unique_ptr<AFXInstallationWindowController>()>;

    // `makeWindowController` empty: the installer's own window.
    explicit AFXInstallerAppDelegate(WindowControllerMaker makeWindowController = {});
    ~AFXInstallerAppDelegate() override;

    void applicationDidFinishLaunching();
    AFXTerminateReply applicationShouldTerminate() override;
    // A termination signal (SIGTERM, Ctrl-C) is an order, not a question:
    // an unfinished installation is stopped and undone without asking, then
    // the application quits.
    void applicationReceivedTerminationSignal();

    AFXInstallationWindowController* installationWindowController() const {
        return installationWindowController_.get();
    }
    QMenuBar* menuBar() const { return menuBar_.get(); }
    QAction* aboutMenuItem() const { return aboutMenuItem_; }
    QAction* hideMenuItem() const { return hideMenuItem_; }
    QAction* quitMenuItem() const { return quitMenuItem_; }

private:
    void awakeFromNib();
    void terminate();

    const WindowControllerMaker makeWindowController_;
    std::unique_ptr<AFXInstallationWindowController> installationWindowController_;
    std::unique_ptr<QMenuBar> menuBar_;
    QAction* aboutMenuItem_ = nullptr;
    QAction* hideMenuItem_ = nullptr;
    QAction* quitMenuItem_ = nullptr;
    AFXTerminateReply terminationReply_ = AFXTerminateReply::Cancel;
};
