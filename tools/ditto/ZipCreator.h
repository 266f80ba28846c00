#pragma once

#include <string>
#include <utility>

struct archive;
struct archive_entry;

// Packs a file or folder into a PKZip archive (deflate), recording each
// entry's Unix mode so that executable bits and symbolic links come back on
// extraction. With the parent kept, the archive's top level is the source's
// own name; without it, the source's contents.
class ZipCreator {
public:
    ZipCreator(std::string source, std::string archivePath, bool keepParent)
        : source_(std::move(source)), archivePath_(std::move(archivePath)), keepParent_(keepParent) {}

    bool create(std::string* error);

private:
    bool addEntries(struct archive* disk, struct archive* writer, std::string* error);
    // The name inside the archive, or empty for the source itself when its parent is not kept.
    std::string archivedName(const std::string& diskPath) const;
    bool copyData(struct archive* disk, struct archive* writer, struct archive_entry* entry,
                  std::string* error);

    std::string source_;
    std::string archivePath_;
    bool keepParent_;
    std::string topName_;
};
