#include "ProcessEnvironment.h"

#include <QtGlobal>

#include <mutex>

extern char** environ;

namespace platform {

namespace {

std::mutex& environmentMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

} // namespace

QList<QByteArray> ProcessEnvironment::snapshot() {
    std::lock_guard lock(environmentMutex());
    QList<QByteArray> entries;
    for (char** entry = environ; *entry; ++entry) {
        entries << QByteArray(*entry);
    }
    return entries;
}

void ProcessEnvironment::setValue(const char* name, const std::optional<QByteArray>& value) {
    // Both locks: ours keeps snapshots whole, Qt's keeps its own readers
    // (qgetenv and friends) from walking a table being changed.
    std::lock_guard lock(environmentMutex());
    if (value) {
        qputenv(name, *value);
    } else {
        qunsetenv(name);
    }
}

} // namespace platform
