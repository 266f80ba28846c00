#include "ProcessEnvironment.h"

#include <mutex>

#include <stdlib.h>

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
    std::lock_guard lock(environmentMutex());
    if (value) {
        ::setenv(name, value->constData(), 1);
    } else {
        ::unsetenv(name);
    }
}

} // namespace platform
