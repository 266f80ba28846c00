#pragma once

#include <string>
#include <utility>

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

private:
    // False with the reading failure, or false with nothing when the writer stopped taking entries.
    bool readEntries(struct archive* reader, EntryWriter& writer, std::string* error);
    bool readData(struct archive* reader, EntryWriter& writer, const std::string& entry, std::string* error);

    std::string destination_;
    bool writerThread_;
};
