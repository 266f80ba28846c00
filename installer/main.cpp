// install-orbit-notes: installs Orbit Notes (store identifier 230) through
// the store's desktop client, in its window, or in the terminal with
// `--no-window`.

#include "AFXInstallationManager.h"
#include "AFXInstallerAppDelegate.h"
#include "AFXTerminalInstallation.h"
#include "platform/SignalWatcher.h"
#include "support/AFXSetupLogger.h"
#include "support/BRExitProcess.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string_view>

namespace {

constexpr std::int64_t kOrbitNotesAppID = 230;

// The terminal mode must run where there is no display, and so must asking
// for help, so the kind of application is chosen before the options are
// parsed.
bool wantsWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        // What follows "--" is no option, to us as to the parser.
        if (argument == "--") {
            break;
        }
        if (argument == "--no-window" || argument == "-h" || argument == "-?" || argument == "--help" ||
            argument == "--help-all") {
            return false;
        }
    }
    return true;
}

// Qt ends the process when it finds no display to open a window on; the
// installer says what to do instead. A platform chosen by name is trusted.
bool hasDisplay(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "-platform") {
            return true;
        }
    }
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv) {
    const bool window = wantsWindow(argc, argv);
    if (window && !hasDisplay(argc, argv)) {
        std::fprintf(stderr, "install-orbit-notes: there is no display to show the installer's window on; "
                             "run it with --no-window to install in the terminal\n");
        return 2;
    }
    const std::unique_ptr<QCoreApplication> application =
        window ? std::make_unique<QApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("install-orbit-notes"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Installs Orbit Notes through the Kestrel desktop client."));
    parser.addHelpOption();
    const QCommandLineOption noWindow(QStringLiteral("no-window"),
                                      QStringLiteral("Install in the terminal, without the window."));
    const QCommandLineOption retries(
        QStringLiteral("retries"),
        QStringLiteral("Retry a failed step up to <n> times before undoing (default 0)."),
        QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption stopAt(
        QStringLiteral("stop-at"),
        QStringLiteral("In the terminal: stop and undo as soon as state <n> is reached."),
        QStringLiteral("n"));
    const QCommandLineOption noLaunch(QStringLiteral("no-launch"),
                                      QStringLiteral("In the terminal: do not launch once ready."));
    parser.addOptions({noWindow, retries, stopAt, noLaunch});
    parser.process(*application);

    bool retriesIsNumber = false;
    const int retryCount = parser.value(retries).toInt(&retriesIsNumber);
    if (!retriesIsNumber || retryCount < 0) {
        std::fprintf(stderr, "install-orbit-notes: --retries wants a number of retries, not \"%s\"\n",
                     qUtf8Printable(parser.value(retries)));
        return 2;
    }

    AFXTerminalInstallation::Options options;
    options.retries = retryCount;
    options.launch = !parser.isSet(noLaunch);
    if (parser.isSet(stopAt)) {
        bool stateIsNumber = false;
        const qint64 state = parser.value(stopAt).toLongLong(&stateIsNumber);
        if (!stateIsNumber || state < AFXInstallationStateIdle || state > AFXInstallationStateReady) {
            std::fprintf(stderr, "install-orbit-notes: --stop-at wants a state from 0 to 9, not \"%s\"\n",
                         qUtf8Printable(parser.value(stopAt)));
            return 2;
        }
        options.stopAtState = state;
    }

    AFXSetupLogger(QStringLiteral("install-orbit-notes"));
    if (window) {
        // Every quit goes through the delegate's handshake, closing the
        // window and a termination signal included.
        QApplication::setQuitOnLastWindowClosed(false);
        AFXInstallerAppDelegate delegate;
        AFXApplication::setDelegate(&delegate);
        platform::SignalWatcher terminations(
            {SIGINT, SIGTERM}, [&delegate](int) { delegate.applicationReceivedTerminationSignal(); });
        delegate.applicationDidFinishLaunching();
        const int status = application->exec();
        AFXApplication::setDelegate(nullptr);
        BRExitProcess(status);
    }
    const auto manager = AFXInstallationManager::makeWithAppID(kOrbitNotesAppID);
    const auto installation = AFXTerminalInstallation::make(manager, options, stdout);
    platform::SignalWatcher interruptions({SIGINT, SIGTERM}, [&](int) { installation->interrupt(); });
    std::fprintf(stdout, "Installing Orbit Notes (store identifier %lld)\n",
                 static_cast<long long>(kOrbitNotesAppID));
    installation->start([](int status) { QCoreApplication::exit(status); });
    BRExitProcess(application->exec());
}
