#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

namespace platform {

// The process's environment variables, changed and copied under one lock.
// Adding a variable may move the table `environ` points to, so a thread
// that walks it while another sets a variable can read freed memory; child
// processes are launched with a copy taken here, and the program's own
// changes go through here. (Variables set behind its back, with `setenv`
// or `qputenv`, are not covered by the lock.)
class ProcessEnvironment {
public:
    // Every variable as "NAME=value", in the table's order.
    static QList<QByteArray> snapshot();
    // Sets the variable, or removes it for nullopt.
    static void setValue(const char* name, const std::optional<QByteArray>& value);
};

} // namespace platform
