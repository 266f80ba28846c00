#pragma once

#include <chrono>
#include <optional>
#include <string>

#include <sys/types.h>

struct DBusConnection;
struct DBusMessage;

// The session bus as `launchctl` needs it, through libdbus: a private
// connection, made on first use and closed with this object. Calls wait for
// their answers with the bus library's default time-out.
class SessionBus {
public:
    SessionBus() = default;
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // False, with the reason in `problem`, when no session bus can be reached.
    bool isReachable(std::string* problem);
    // Makes changes to the service folders count before this returns; the
    // bus notices them by itself only eventually.
    void reloadConfiguration();
    // The process owning the well-known `name`, if any.
    std::optional<pid_t> processOwning(const std::string& name);
    // Asks the bus to start the program of `name`'s service file, without
    // waiting for it to come up: returns once the bus has taken the request.
    bool requestStart(const std::string& name, std::string* problem);
    // Has the bus start the program of `name`'s service file, if `name` is
    // not served yet, and returns once it is served.
    bool startAndWait(const std::string& name, std::chrono::milliseconds timeout, std::string* problem);
    // Waits until `name` is served; false when `guard` loses its owner or
    // `timeout` passes first.
    bool waitUntilServed(const std::string& name, const std::string& guard,
                         std::chrono::milliseconds timeout);

private:
    DBusConnection* connection();
    // The reply to `message` (which it takes) within `timeout` (the bus
    // library's default when none), or nothing with `problem` set.
    DBusMessage* call(DBusMessage* message, std::string* problem,
                      std::optional<std::chrono::milliseconds> timeout = std::nullopt);
    bool hasOwner(const std::string& name);

    DBusConnection* connection_ = nullptr;
    std::string connectionProblem_;
    bool connected_ = false;
};
