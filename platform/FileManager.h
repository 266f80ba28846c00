#pragma once

#include "Error.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

// File operations on whole items (a file, a link or a folder with
// everything in it). Symbolic links are copied and moved as links, never
// followed. Failures are Errors in NSPOSIXErrorDomain naming the item.
class FileManager {
public:
    static bool fileExists(const QString& path);
    static bool isDirectory(const QString& path);
    static bool createDirectory(const QString& path, bool withIntermediateDirectories,
                                Error* error = nullptr);
    // Copies `source` to `destination`, which must not exist yet.
    static bool copyItem(const QString& source, const QString& destination, Error* error = nullptr);
    // Renames, or copies then removes the source when the destination is on
    // another file system. The destination must not exist yet.
    static bool moveItem(const QString& source, const QString& destination, Error* error = nullptr);
    static bool removeItem(const QString& path, Error* error = nullptr);
    // Writes the file whole or not at all: through a temporary file beside
    // it, synced and renamed into place. The folder must exist.
    static bool writeDataAtomically(const QString& path, const QByteArray& data, Error* error = nullptr);
    // The paths of a folder's own items, hidden ones included, sorted by
    // name; nullopt when the folder cannot be listed.
    static std::optional<QStringList> contentsOfDirectory(const QString& path, Error* error = nullptr);

    // The hidden resource value. An item is hidden when its name starts
    // with a dot, or when it carries the extended attribute
    // `HiddenAttributeName`: an item whose name is fixed (a staging folder
    // beside the apps a user sees) can still be hidden, and the mark goes
    // wherever the item goes and away with it.
    static const QString HiddenAttributeName;
    static bool isHidden(const QString& path);
    // Marks or unmarks the item; a dot-named item stays hidden either way.
    static bool setHidden(const QString& path, bool hidden, Error* error = nullptr);
};

} // namespace platform
