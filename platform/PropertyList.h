#pragma once

#include "Error.h"
#include "Value.h"

#include <QByteArray>

#include <optional>

namespace platform {

// Reading and writing property lists in their XML and binary forms.
// Property lists hold booleans, integers, reals, strings, data, dates,
// arrays and dictionaries; URLs and UUIDs are written as strings and sets as
// arrays; null, objects and errors cannot be written.
class PropertyList {
public:
    enum class Format { XML, Binary };

    // Reads either form; malformed input is an error, never a crash.
    static std::optional<Value> read(const QByteArray& data, Error* error = nullptr);
    static std::optional<QByteArray> write(const Value& value, Format format, Error* error = nullptr);
};

} // namespace platform
