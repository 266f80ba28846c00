#pragma once

#include "Error.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

namespace platform {

// The ".strings" text format of localised string tables:
//     /* comment */  "key" = "value";   // comment
// Keys and values are quoted strings (or bare words of letters, digits and
// "_.-$:/"); `"key";` alone maps the key to itself. Escapes: \" \\ \n \t \r
// \0NNN (octal) and \UXXXX. The text is UTF-8, or UTF-16 with a byte-order mark.
class StringsTable {
public:
    static std::optional<QHash<QString, QString>> parse(const QByteArray& data, Error* error = nullptr);
};

} // namespace platform
