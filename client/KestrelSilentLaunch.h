#pragma once

#include <QString>

#include <chrono>
#include <cstdio>

// The client's silent run ("-silentLaunch"): installs its launch agent
// (the copy, the property list, the quarantine), loads it when it is not
// loaded or wants an update (reloading a loaded one), then waits until the
// system management service answers a request.
class KestrelSilentLaunch {
public:
    static constexpr std::chrono::seconds ServiceTimeout{30};

    // 0 once the service answers; 1, with the reason on `errors`, otherwise.
    static int run(std::FILE* errors);

private:
    // Whether the system management service answered within the timeout;
    // the last failure in `problem` when it did not.
    static bool waitForSystemManagement(QString* problem);
};
