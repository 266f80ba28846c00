#include "SessionBus.h"

#include <algorithm>
#include <cstdint>

#include <dbus/dbus.h>

namespace {

constexpr const char* kBusService = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";

DBusMessage* busMethodCall(const char* member) {
    return dbus_message_new_method_call(kBusService, kBusPath, kBusService, member);
}

// A call of the bus's `member` with one string argument.
DBusMessage* busMethodCall(const char* member, const std::string& argument) {
    DBusMessage* request = busMethodCall(member);
    const char* bytes = argument.c_str();
    if (request && !dbus_message_append_args(request, DBUS_TYPE_STRING, &bytes, DBUS_TYPE_INVALID)) {
        dbus_message_unref(request);
        return nullptr;
    }
    return request;
}

// The bus's request to start the program of `name`'s service file.
DBusMessage* startRequest(const std::string& name) {
    DBusMessage* request = busMethodCall("StartServiceByName", name);
    const dbus_uint32_t flags = 0;
    if (request && !dbus_message_append_args(request, DBUS_TYPE_UINT32, &flags, DBUS_TYPE_INVALID)) {
        dbus_message_unref(request);
        return nullptr;
    }
    return request;
}

} // namespace

SessionBus::~SessionBus() {
    if (connection_) {
        dbus_connection_close(connection_);
        dbus_connection_unref(connection_);
    }
}

DBusConnection* SessionBus::connection() {
    if (connected_) {
        return connection_;
    }
    connected_ = true;
    DBusError error;
    dbus_error_init(&error);
    connection_ = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (connection_) {
        dbus_connection_set_exit_on_disconnect(connection_, FALSE);
    } else {
        connectionProblem_ = dbus_error_is_set(&error) ? error.message : "no session bus";
    }
    dbus_error_free(&error);
    return connection_;
}

bool SessionBus::isReachable(std::string* problem) {
    if (connection()) {
        return true;
    }
    *problem = connectionProblem_;
    return false;
}

DBusMessage* SessionBus::call(DBusMessage* message, std::string* problem,
                              std::optional<std::chrono::milliseconds> timeout) {
    DBusConnection* bus = connection();
    if (!bus || !message) {
        if (message) {
            dbus_message_unref(message);
        }
        *problem = bus ? "out of memory" : connectionProblem_;
        return nullptr;
    }
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(
        bus, message,
        timeout ? static_cast<int>(std::max<std::int64_t>(timeout->count(), 1)) : DBUS_TIMEOUT_USE_DEFAULT,
        &error);
    dbus_message_unref(message);
    if (!reply) {
        *problem = dbus_error_is_set(&error) ? error.message : "no answer";
    }
    dbus_error_free(&error);
    return reply;
}

void SessionBus::reloadConfiguration() {
    std::string ignored;
    if (DBusMessage* reply = call(busMethodCall("ReloadConfig"), &ignored)) {
        dbus_message_unref(reply);
    }
}

std::optional<pid_t> SessionBus::processOwning(const std::string& name) {
    std::string ignored;
    DBusMessage* reply = call(busMethodCall("GetConnectionUnixProcessID", name), &ignored);
    if (!reply) {
        return std::nullopt;
    }
    dbus_uint32_t pid = 0;
    const bool answered = dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN &&
                          dbus_message_get_args(reply, nullptr, DBUS_TYPE_UINT32, &pid, DBUS_TYPE_INVALID);
    dbus_message_unref(reply);
    if (!answered || pid == 0) {
        return std::nullopt;
    }
    return static_cast<pid_t>(pid);
}

bool SessionBus::requestStart(const std::string& name, std::string* problem) {
    DBusConnection* bus = connection();
    if (!bus) {
        *problem = connectionProblem_;
        return false;
    }
    DBusMessage* request = startRequest(name);
    const bool sent = request && dbus_connection_send(bus, request, nullptr);
    if (request) {
        dbus_message_unref(request);
    }
    if (!sent) {
        *problem = "out of memory";
        return false;
    }
    // The bus handles a connection's messages in order: its answer to a
    // ping sent after the request means it has taken the request.
    DBusMessage* reply = call(
        dbus_message_new_method_call(kBusService, kBusPath, "org.freedesktop.DBus.Peer", "Ping"), problem);
    if (!reply) {
        return false;
    }
    dbus_message_unref(reply);
    return true;
}

bool SessionBus::hasOwner(const std::string& name) {
    std::string ignored;
    DBusMessage* reply = call(busMethodCall("NameHasOwner", name), &ignored);
    dbus_bool_t owned = FALSE;
    if (reply) {
        dbus_message_get_args(reply, nullptr, DBUS_TYPE_BOOLEAN, &owned, DBUS_TYPE_INVALID);
        dbus_message_unref(reply);
    }
    return owned;
}

bool SessionBus::startAndWait(const std::string& name, std::chrono::milliseconds timeout,
                              std::string* problem) {
    // The bus answers once the started program serves the name, or it
    // has failed to.
    DBusMessage* reply = call(startRequest(name), problem, timeout);
    if (reply) {
        dbus_message_unref(reply);
    }
    return reply != nullptr;
}

bool SessionBus::waitUntilServed(const std::string& name, const std::string& guard,
                                 std::chrono::milliseconds timeout) {
    DBusConnection* bus = connection();
    if (!bus) {
        return false;
    }
    // Subscribed before looking, so that no change falls between the two.
    for (const std::string& watched : {name, guard}) {
        const std::string rule =
            "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged',arg0='" + watched + "'";
        DBusError error;
        dbus_error_init(&error);
        dbus_bus_add_match(bus, rule.c_str(), &error);
        const bool added = !dbus_error_is_set(&error);
        dbus_error_free(&error);
        if (!added) {
            return false;
        }
    }
    if (hasOwner(name)) {
        return true;
    }
    if (!hasOwner(guard)) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (dbus_connection_get_is_connected(bus)) {
        while (DBusMessage* message = dbus_connection_pop_message(bus)) {
            const char* changed = nullptr;
            const char* oldOwner = nullptr;
            const char* newOwner = nullptr;
            const bool ownerChanged =
                dbus_message_is_signal(message, kBusService, "NameOwnerChanged") &&
                dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &changed, DBUS_TYPE_STRING,
                                      &oldOwner, DBUS_TYPE_STRING, &newOwner, DBUS_TYPE_INVALID);
            const std::optional<bool> outcome =
                !ownerChanged                           ? std::nullopt
                : name == changed && *newOwner != '\0'  ? std::optional<bool>(true)
                : guard == changed && *newOwner == '\0' ? std::optional<bool>(false)
                                                        : std::nullopt;
            dbus_message_unref(message);
            if (outcome) {
                return *outcome;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        dbus_connection_read_write(bus, static_cast<int>(left.count()));
    }
    return false;
}
