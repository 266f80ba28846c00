#pragma once

#include "Value.h"

#include <QString>

namespace platform {

// printf-style formatting as the platform's string formatting does it:
// "%@" prints a value's description; "%d", "%ld", "%lu", "%f", "%x", "%s"
// and friends (with flags, width and precision) print numbers and text;
// "%%" prints a percent sign. Missing and null arguments print as "(null)".
QString formatString(const QString& format, const Value::Array& arguments);

template <typename... Args> QString stringWithFormat(const QString& format, const Args&... args) {
    return formatString(format, Value::Array{Value(args)...});
}

} // namespace platform
