#pragma once

#include "Error.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include <sys/types.h>

namespace platform {

// File operations on whole items (a file, a link or a folder with
// everything in it). Symbolic links are copied and moved as links, never
// followed. Failures are Errors in NSPOSIXErrorDomain naming the item.
class FileManager {
public:
    // What a copy does to each file and folder as it copies it, so that
    // work on every item of a copied tree needs no walk of its own.
    struct CopyOptions {
        // The permission bits (07777) an item gets, given its source's;
        // none keeps the source's.
        std::function<mode_t(mode_t)> permissions;
        // Extended attributes (as `ExtendedAttributes` names them) that stay
        // behind; every other one goes with its item.
        QStringList attributesLeftBehind;
    };

    static bool fileExists(const QString& path);
    static bool isDirectory(const QString& path);
    static bool createDirectory(const QString& path, bool withIntermediateDirectories,
                                Error* error = nullptr);
    // Copies `source` to `destination`, which must not exist yet, with
    // permission bits and extended attributes. Pipes, sockets and devices
    // are not copied: meeting one fails the copy. The destination must not
    // exist yet, and a copy that fails takes what it had made with it.
    static bool copyItem(const QString& source, const QString& destination, Error* error = nullptr);
    static bool copyItem(const QString& source, const QString& destination, const CopyOptions& options,
                         Error* error = nullptr);
    // Renames, or copies then removes the source when the destination is on
    // another file system. The destination must not exist yet. Once the
    // copy is whole the move is done: a source that cannot be removed
    // entirely then stays partly behind, but the item is never left only
    // in pieces, and callers never throw the whole copy away.
    static bool moveItem(const QString& source, const QString& destination, Error* error = nullptr);
    static bool removeItem(const QString& path, Error* error = nullptr);
    // Removes scratch of this process's own (a finished download, its
    // temporary folder) as `removeItem` does, but gives the pages of its
    // large files back to the system on a background queue, so that the
    // caller does not wait for that (about 15 ms for a 50 MiB archive). The
    // files are emptied there, even for a descriptor still open on them:
    // nothing may use them any more. A file with another name elsewhere (a
    // hard link) keeps its contents.
    static bool discardItem(const QString& path, Error* error = nullptr);
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
