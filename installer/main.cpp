// install-orbit-notes: installs Orbit Notes (store identifier 230) through
// the store's desktop client, in its window, or in the terminal with
// `--no-window`.
//
// The window is shown by a program of its own beside this one
// (install-orbit-notes-window, see window_main.cpp), which this one becomes
// at once when the window is wanted: installing in the terminal then never
// loads the libraries of the window system, which took nearly half of the
// program's start.

#include "AFXInstallationManager.h"
#include "AFXInstallerCommandLine.h"
#include "AFXTerminalInstallation.h"
#include "platform/SignalWatcher.h"
#include "support/AFXSetupLogger.h"
#include "support/BRExitProcess.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <unistd.h>

namespace {

constexpr std::int64_t kOrbitNotesAppID = 230;

// Replaces this process with the window's program, with the same
// arguments; returns only when that fails.
int showWindow(char** argv) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string window = (self.parent_path() / "install-orbit-notes-window").string();
    if (!error) {
        ::execv(window.c_str(), argv);
    }
    std::fprintf(stderr, "install-orbit-notes: cannot show the installer's window: %s: %s\n", window.c_str(),
                 std::strerror(error ? error.value() : errno));
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (AFXInstallerCommandLine::wantsWindow(argc, argv)) {
        if (!AFXInstallerCommandLine::hasDisplay(argc, argv)) {
            AFXInstallerCommandLine::reportMissingDisplay();
            return 2;
        }
        return showWindow(argv);
    }
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("install-orbit-notes"));
    int status = 0;
    const std::optional<AFXTerminalInstallation::Options> options =
        AFXInstallerCommandLine::parse(application, &status);
    if (!options) {
        return status;
    }

    AFXSetupLogger(QStringLiteral("install-orbit-notes"));
    const auto manager = AFXInstallationManager::makeWithAppID(kOrbitNotesAppID);
    const auto installation = AFXTerminalInstallation::make(manager, *options, stdout);
    platform::SignalWatcher interruptions({SIGINT, SIGTERM}, [&](int) { installation->interrupt(); });
    std::fprintf(stdout, "Installing Orbit Notes (store identifier %lld)\n",
                 static_cast<long long>(kOrbitNotesAppID));
    installation->start([](int status) { QCoreApplication::exit(status); });
    BRExitProcess(application.exec());
}
