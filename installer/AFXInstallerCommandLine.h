#pragma once

#include "AFXTerminalInstallation.h"

#include <QCoreApplication>

#include <optional>

// The installer's command line, read the same way by the program that
// installs in the terminal and by the one that shows the window (see
// main.cpp and window_main.cpp).
class AFXInstallerCommandLine {
public:
    // Whether the arguments ask for the window: not with --no-window and
    // not for help, which must work where there is no display. Decided
    // before any application object exists, since the kind of object
    // depends on it.
    static bool wantsWindow(int argc, char** argv);
    // Whether a window can be shown: Qt ends the process when it finds no
    // display, and the installer says what to do instead. A platform
    // chosen by name is trusted.
    static bool hasDisplay(int argc, char** argv);
    // Says on standard error that there is no display and what to do.
    static void reportMissingDisplay();
    // Parses the options of `application`, printing help or a problem and
    // giving the exit status in `exitStatus` when the program must end.
    static std::optional<AFXTerminalInstallation::Options> parse(const QCoreApplication& application,
                                                                 int* exitStatus);
};
