#pragma once

#include "FileManager.h"

#include <QByteArray>

#include <sys/types.h>

namespace platform {

// Copies one item (a file, a link or a folder with everything in it) in a
// single pass, working relative to open folders so that no path is looked
// up twice. File data moves inside the kernel (`copy_file_range`), with
// reading and writing as the fallback where the file systems cannot do
// that. Each copied file or folder gets its permission bits from
// `CopyOptions::permissions` and its source's user extended attributes,
// less those left behind, before the copy goes on; a folder gets its bits
// last, once it is filled, so that a read-only source folder still copies.
// Links are copied as links. Anything else (a pipe, a socket, a device)
// stops the copy with ENOTSUP. The first failure stops the copy and leaves
// what was copied so far.
class ItemCopier {
public:
    explicit ItemCopier(const FileManager::CopyOptions& options) : options_(options) {}

    // `destination` must not exist. On failure answers false and `failure()`
    // is the errno value of the step that failed.
    bool copy(const QByteArray& source, const QByteArray& destination);
    int failure() const { return failure_; }
    // Whether the copy made the item at `destination`, so that what a
    // failed copy leaves there is its own to remove: an item another
    // process put there meanwhile makes the copy fail without being ours.
    bool madeDestination() const { return madeDestination_; }

private:
    // Copies `fromName` in the folder `fromFolder` to `toName` in
    // `toFolder`; `type` is the directory entry's type (DT_UNKNOWN when the
    // listing did not say).
    bool copyEntry(int fromFolder, const char* fromName, unsigned char type, int toFolder,
                   const char* toName);
    bool copyFile(int fromFolder, const char* fromName, int toFolder, const char* toName);
    bool copyFolder(int fromFolder, const char* fromName, int toFolder, const char* toName);
    bool copyLink(int fromFolder, const char* fromName, int toFolder, const char* toName);
    bool copyData(int from, int to);
    bool fail(int errnoValue);
    // Notes an item made in `toFolder`: the destination itself is the one
    // item made relative to the working folder.
    void made(int toFolder);
    mode_t permissionsFor(mode_t sourceMode) const;

    const FileManager::CopyOptions& options_;
    int failure_ = 0;
    bool madeDestination_ = false;
};

} // namespace platform
