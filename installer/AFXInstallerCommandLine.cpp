#include "AFXInstallerCommandLine.h"

#include "AFXInstallationState.h"

#include <QCommandLineParser>

#include <cstdio>
#include <string_view>

bool AFXInstallerCommandLine::wantsWindow(int argc, char** argv) {
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

bool AFXInstallerCommandLine::hasDisplay(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "-platform") {
            return true;
        }
    }
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void AFXInstallerCommandLine::reportMissingDisplay() {
    std::fprintf(stderr, "install-orbit-notes: there is no display to show the installer's window on; "
                         "run it with --no-window to install in the terminal\n");
}

std::optional<AFXTerminalInstallation::Options>
AFXInstallerCommandLine::parse(const QCoreApplication& application, int* exitStatus) {
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
    parser.process(application);

    bool retriesIsNumber = false;
    const int retryCount = parser.value(retries).toInt(&retriesIsNumber);
    if (!retriesIsNumber || retryCount < 0) {
        std::fprintf(stderr, "install-orbit-notes: --retries wants a number of retries, not \"%s\"\n",
                     qUtf8Printable(parser.value(retries)));
        *exitStatus = 2;
        return std::nullopt;
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
            *exitStatus = 2;
            return std::nullopt;
        }
        options.stopAtState = state;
    }
    return options;
}
