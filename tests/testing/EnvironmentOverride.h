#pragma once

#include "platform/ProcessEnvironment.h"

#include <QByteArray>
#include <QList>

#include <optional>
#include <utility>

namespace testing_support {

// Sets (or, with nullopt, unsets) environment variables for the life of the
// object and puts the previous values back afterwards.
class EnvironmentOverride {
public:
    using Entry = std::pair<const char*, std::optional<QByteArray>>;

    explicit EnvironmentOverride(std::initializer_list<Entry> entries) {
        for (const auto& [name, value] : entries) {
            saved_.append(
                {name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
            apply(name, value);
        }
    }
    ~EnvironmentOverride() {
        for (auto it = saved_.crbegin(); it != saved_.crend(); ++it) {
            apply(it->first, it->second);
        }
    }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    static void apply(const char* name, const std::optional<QByteArray>& value) {
        platform::ProcessEnvironment::setValue(name, value);
    }

    QList<Entry> saved_;
};

} // namespace testing_support
