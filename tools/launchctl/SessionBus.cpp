#include "SessionBus.h"

#include <dbus/dbus.h>

namespace {

constexpr const char* kBusService = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";

DBusMessage* busMethodCall(const char* member) {
    return dbus_message_new_method_call(kBusService, kBusPath, kBusService, member);
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

DBusMessage* SessionBus::call(DBusMessage* message, std::string* problem) {
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
    DBusMessage* reply =
        dbus_connection_send_with_reply_and_block(bus, message, DBUS_TIMEOUT_USE_DEFAULT, &error);
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
    DBusMessage* request = busMethodCall("GetConnectionUnixProcessID");
    const char* nameBytes = name.c_str();
    if (request && !dbus_message_append_args(request, DBUS_TYPE_STRING, &nameBytes, DBUS_TYPE_INVALID)) {
        dbus_message_unref(request);
        request = nullptr;
    }
    std::string ignored;
    DBusMessage* reply = call(request, &ignored);
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
    DBusMessage* request = busMethodCall("StartServiceByName");
    const char* nameBytes = name.c_str();
    const dbus_uint32_t flags = 0;
    const bool sent = request &&
                      dbus_message_append_args(request, DBUS_TYPE_STRING, &nameBytes, DBUS_TYPE_UINT32,
                                               &flags, DBUS_TYPE_INVALID) &&
                      dbus_connection_send(bus, request, nullptr);
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
