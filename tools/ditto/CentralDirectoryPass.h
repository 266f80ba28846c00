#pragma once

#include "DestinationGuard.h"

#include <string>
#include <vector>

#include <sys/types.h>
#include <time.h>

// What unpacking an entry from its local header alone made on disk.
struct StreamedEntry {
    std::string path;
    mode_t type = 0; // AE_IFREG or AE_IFDIR
    mode_t permissions = 0;
    timespec modified{};
};

// An archive unpacked while it arrived was read from its local headers,
// which know nothing of modes or links: every entry became a file or a
// folder. Once the whole archive is there, this pass brings the tree to what
// the central directory says: permissions, symbolic links (unpacked as
// files holding their targets) and the times of folders and links. It
// refuses, leaving the tree to be unpacked again from the directory, what
// the stream cannot have unpacked as the directory reads: other entries or
// another order, a name twice, entries below a link, a link leading outside
// the destination, set-id bits and kinds other than files, folders and links.
class CentralDirectoryPass {
public:
    // `destination` is a descriptor of the folder the entries were unpacked into.
    explicit CentralDirectoryPass(int destination) : destination_(destination), guard_(destination) {}

    // `archiveFd` holds the whole archive (seekable); false when the tree
    // must be unpacked again, or when a change could not be made.
    bool apply(int archiveFd, const std::vector<StreamedEntry>& streamed);

private:
    struct Entry {
        std::string path; // as named in the archive
        std::string normalized;
        mode_t type = 0;
        mode_t permissions = 0;
        bool hasTime = false;
        timespec modified{};
        std::string target; // links only
    };

    bool readDirectory(int archiveFd, const std::vector<StreamedEntry>& streamed, std::vector<Entry>* entries);
    bool makeLinks(const std::vector<Entry>& entries);
    bool setTime(const std::string& path, const timespec& modified, int flags);

    int destination_;
    DestinationGuard guard_;
};
