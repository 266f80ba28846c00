// install-orbit-notes-window: the installer in its window. The program
// users start is install-orbit-notes, which becomes this one when the
// window is wanted (see main.cpp); it takes the same options.

#include "AFXInstallerAppDelegate.h"
#include "AFXInstallerCommandLine.h"
#include "platform/SignalWatcher.h"
#include "support/AFXSetupLogger.h"
#include "support/BRExitProcess.h"

#include <QApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
    // The terminal mode and help are install-orbit-notes's own.
    if (!AFXInstallerCommandLine::wantsWindow(argc, argv)) {
        std::fprintf(stderr, "install-orbit-notes-window: only shows the installer's window; "
                             "run install-orbit-notes for the terminal mode or help\n");
        return 2;
    }
    if (!AFXInstallerCommandLine::hasDisplay(argc, argv)) {
        AFXInstallerCommandLine::reportMissingDisplay();
        return 2;
    }
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("install-orbit-notes"));
    int status = 0;
    if (!AFXInstallerCommandLine::parse(application, &status)) {
        return status;
    }

    AFXSetupLogger(QStringLiteral("install-orbit-notes"));
    // Every quit goes through the delegate's handshake, closing the
    // window and a termination signal included.
    QApplication::setQuitOnLastWindowClosed(false);
    AFXInstallerAppDelegate delegate;
    AFXApplication::setDelegate(&delegate);
    platform::SignalWatcher terminations(
        {SIGINT, SIGTERM}, [&delegate](int) { delegate.applicationReceivedTerminationSignal(); });
    delegate.applicationDidFinishLaunching();
    status = application.exec();
    AFXApplication::setDelegate(nullptr);
    BRExitProcess(status);
}
