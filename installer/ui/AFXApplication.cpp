#include "AFXApplication.h"

#include <QCoreApplication>

namespace {

// Main-thread state, as all of the application's.
AFXApplicationDelegate*& delegate() {
    static AFXApplicationDelegate* current = nullptr;
    return current;
}

// A reply of "now" from a nested request (the delegate asking again once
// it allows quitting) and then from the outer one quits once.
bool& terminated() {
    static bool done = false;
    return done;
}

std::function<void()>& terminationAction() {
    // exit, not quit: a window application's quit first asks its windows to
    // close, and the installer's window refuses (closing asks this very
    // handshake), so a quit would be cancelled.
    static std::function<void()> action = [] { QCoreApplication::exit(0); };
    return action;
}

} // namespace

void AFXApplication::setDelegate(AFXApplicationDelegate* newDelegate) {
    delegate() = newDelegate;
}

void AFXApplication::terminate(QObject*) {
    if (terminated() ||
        (delegate() != nullptr && delegate()->applicationShouldTerminate() == AFXTerminateReply::Cancel)) {
        return;
    }
    if (!terminated()) {
        terminated() = true;
        terminationAction()();
    }
}

void AFXApplication::setTerminationAction(std::function<void()> action) {
    terminationAction() = std::move(action);
    terminated() = false;
}
