#pragma once

#include "Error.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

// Extended attributes of files. The system's attribute names
// ("com.apple.quarantine", "lumberjack.log.archived") live in Linux's "user."
// namespace; callers use the names without the prefix.
class ExtendedAttributes {
public:
    static bool set(const QString& path, const QString& name, const QByteArray& value,
                    Error* error = nullptr);
    // The value, or nothing when the file lacks the attribute (or cannot be read).
    static std::optional<QByteArray> get(const QString& path, const QString& name);
    // Removing an attribute the file lacks is not an error.
    static bool remove(const QString& path, const QString& name, Error* error = nullptr);
    static QStringList list(const QString& path);
    // Copies every attribute of the open file `from` onto the open file
    // `to`, except those named in `leftBehind`. Best effort: an attribute
    // that cannot be read or set is skipped and the rest still copied.
    static void copyAll(int from, int to, const QStringList& leftBehind);
};

} // namespace platform
