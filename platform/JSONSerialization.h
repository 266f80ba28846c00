#pragma once

#include "Error.h"
#include "Value.h"

#include <QByteArray>

#include <optional>

namespace platform {

// The offset in the input at which reading stopped, in the user info of a read error.
inline const QString NSJSONSerializationErrorIndex = QStringLiteral("NSJSONSerializationErrorIndex");

// Reading and writing JSON text. Objects become dictionaries, arrays arrays,
// strings strings, true and false booleans and null the null value. A number
// written as an integer (or as an integral real) within the 64-bit range
// reads as an integer, exactly; any other number reads as a double. The top
// level may be any value, in either direction.
//
// Writing is compact. Dates become ISO-8601 strings in UTC (with milliseconds
// when they have any), URLs and UUIDs strings, data base64 strings and sets
// arrays; unsigned numbers beyond the signed 64-bit range become doubles.
// Objects, errors and non-finite doubles have no JSON form and are refused.
class JSONSerialization {
public:
    // Malformed input is an error in NSCocoaErrorDomain (3840) naming what
    // was wrong and where, never a crash.
    static std::optional<Value> read(const QByteArray& data, Error* error = nullptr);
    // A value without a JSON form is an error in NSCocoaErrorDomain (3851).
    static std::optional<QByteArray> write(const Value& value, Error* error = nullptr);
};

} // namespace platform
