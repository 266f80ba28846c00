#pragma once

#include <functional>

class QObject;

// Answers of a termination request.
enum class AFXTerminateReply { Cancel = 0, Now = 1 };

class AFXApplicationDelegate {
public:
    virtual ~AFXApplicationDelegate() = default;
    virtual AFXTerminateReply applicationShouldTerminate() = 0;
};

// The application's side of quitting: every quit path asks `terminate`,
// which asks the delegate and quits only on its "now". Lives on the main
// thread.
class AFXApplication {
public:
    static void setDelegate(AFXApplicationDelegate* delegate);
    static void terminate(QObject* sender);
    // What quitting does; ending the event loop unless replaced (tests
    // record it instead of ending the process).
    static void setTerminationAction(std::function<void()> action);
};
