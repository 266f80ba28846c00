#pragma once

// Readable failure messages for the platform's types in GoogleTest assertions.

#include "platform/Error.h"
#include "platform/Value.h"

#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace platform {

inline void PrintTo(const Value& value, std::ostream* out) {
    *out << value.description().toStdString();
}
inline void PrintTo(const Error& error, std::ostream* out) {
    *out << error.description().toStdString();
}

} // namespace platform
