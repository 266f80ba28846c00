#pragma once

#include "CentralDirectoryPass.h"

#include <string>
#include <utility>
#include <vector>

struct archive;
class EntryWriter;

// Unpacks a PKZip archive into a folder (made with its intermediate folders
// when missing), keeping modes, folders, symbolic links and modification
// times, and never writing outside the folder: the first entry that would
// (absolute, climbing with "..", a link pointing out, anything written
// through a link) stops the extraction with a text naming it.
class ZipExtractor {
public:
    // With `writerThread`, files are written on a thread of their own while the next entries inflate.
    ZipExtractor(std::string destination, bool writerThread)
        : destination_(std::move(destination)), writerThread_(writerThread) {}

    // `archiveFd` must be seekable: the central directory at the end is read first.
    bool extract(int archiveFd, std::string* error);

    enum class Arrival { Extracted, UnpackAgain, Failed };
    // Unpacks an archive as it arrives on `input`, which is read to its end
    // in any case and copied into `spool` (an empty file), so that the
    // central directory can be applied once it is there (see
    // CentralDirectoryPass). UnpackAgain means the stream could not settle
    // the archive: whatever it unpacked must be removed and the archive
    // unpacked from `spool`, which then explains any problem. Failed comes
    // with the reason `input` could not be read or spooled.
    Arrival extractArriving(int input, int spool, std::string* error);

private:
    // Makes the destination and makes it the current directory; its descriptor, or -1 with the reason.
    int openDestination(std::string* error);
    // False with the reading failure, or false with nothing when the writer
    // stopped taking entries. With `streamed`, entries read from local
    // headers are noted there, and anything but files and folders stops the reading.
    bool readEntries(struct archive* reader, EntryWriter& writer, std::string* error,
                     std::vector<StreamedEntry>* streamed = nullptr);
    bool readData(struct archive* reader, EntryWriter& writer, const std::string& entry, std::string* error);

    std::string destination_;
    bool writerThread_;
};
