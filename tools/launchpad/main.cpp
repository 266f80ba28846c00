// launchpad: keeps the Launchpad database of the logged-in user up to date
// with the apps in "/Applications" and "~/Applications", filing an app that
// lies in a subfolder into the group named after that subfolder. It runs
// until it receives SIGTERM or SIGINT.

#include "LaunchpadIndexer.h"
#include "SpecificTools/AFXAppInstaller/AFXLaunchpadWatcher.h"
#include "platform/Paths.h"
#include "platform/SignalWatcher.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QString databasePath = AFXLaunchpadWatcher::launchpadDatabaseSearchFolder() +
                                 QStringLiteral("/0/") + AFXLaunchpadWatcher::launchpadDatabasePathSuffix();
    const auto indexer = LaunchpadIndexer::make({platform::Paths::resolve(QStringLiteral("/Applications")),
                                                 platform::Paths::resolve(QStringLiteral("~/Applications"))},
                                                databasePath);
    platform::SignalWatcher terminationSignals({SIGTERM, SIGINT}, [](int) { QCoreApplication::quit(); });
    if (!terminationSignals.isValid() || !indexer->start()) {
        return 1;
    }
    std::printf("%s\n", qPrintable(databasePath));
    std::fflush(stdout);
    const int status = QCoreApplication::exec();
    indexer->stop();
    return status;
}
