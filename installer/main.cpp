// install-orbit-notes: installs Orbit Notes (store identifier 230) through
// the store's desktop client. `--no-window` runs the installation in the
// terminal.

#include "AFXInstallationManager.h"
#include "AFXTerminalInstallation.h"
#include "platform/SignalWatcher.h"
#include "support/AFXSetupLogger.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {

constexpr std::int64_t kOrbitNotesAppID = 230;

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
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
    parser.addOptions({noWindow, retries});
    parser.process(application);

    bool retriesIsNumber = false;
    const int retryCount = parser.value(retries).toInt(&retriesIsNumber);
    if (!retriesIsNumber || retryCount < 0) {
        std::fprintf(stderr, "install-orbit-notes: --retries wants a number of retries, not \"%s\"\n",
                     qUtf8Printable(parser.value(retries)));
        return 2;
    }
    if (!parser.isSet(noWindow)) {
        std::fprintf(
            stderr, "install-orbit-notes: this build has no installer window yet; run it with --no-window\n");
        return 2;
    }

    AFXSetupLogger(QStringLiteral("install-orbit-notes"));
    const auto manager = AFXInstallationManager::makeWithAppID(kOrbitNotesAppID);
    const auto installation = AFXTerminalInstallation::make(manager, retryCount, stdout);
    platform::SignalWatcher interruptions({SIGINT, SIGTERM}, [&](int) { installation->interrupt(); });
    std::fprintf(stdout, "Installing Orbit Notes (store identifier %lld)\n",
                 static_cast<long long>(kOrbitNotesAppID));
    installation->start([](int status) { QCoreApplication::exit(status); });
    return application.exec();
}
