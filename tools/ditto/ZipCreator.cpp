#include "ZipCreator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct ReaderFree {
    void operator()(struct archive* a) const { archive_read_free(a); }
};
struct WriterFree {
    void operator()(struct archive* a) const { archive_write_free(a); }
};
struct EntryFree {
    void operator()(struct archive_entry* e) const { archive_entry_free(e); }
};

std::string describe(struct archive* archive, const char* fallback) {
    const char* text = archive_error_string(archive);
    return text && *text ? text : fallback;
}

} // namespace

bool ZipCreator::create(std::string* error) {
    while (source_.size() > 1 && source_.back() == '/') {
        source_.pop_back();
    }
    std::error_code failure;
    const std::filesystem::path canonical = std::filesystem::canonical(source_, failure);
    if (failure) {
        *error = source_ + ": " + failure.message();
        return false;
    }
    topName_ = canonical.filename().string();
    if (topName_.empty()) {
        topName_ = "root";
    }

    std::unique_ptr<struct archive, WriterFree> writer(archive_write_new());
    archive_write_set_format_zip(writer.get());
    archive_write_zip_set_compression_deflate(writer.get());
    if (archive_write_open_filename(writer.get(), archivePath_.c_str()) != ARCHIVE_OK) {
        *error = archivePath_ + ": " + describe(writer.get(), "could not be created");
        return false;
    }

    std::unique_ptr<struct archive, ReaderFree> disk(archive_read_disk_new());
    // The source itself is followed when it is a link; links inside it are archived as links.
    archive_read_disk_set_symlink_hybrid(disk.get());
    // A PKZip archive keeps none of these; not reading them saves a few calls per file.
    archive_read_disk_set_behavior(disk.get(), ARCHIVE_READDISK_NO_XATTR | ARCHIVE_READDISK_NO_ACL |
                                                   ARCHIVE_READDISK_NO_FFLAGS);
    bool created = false;
    if (archive_read_disk_open(disk.get(), source_.c_str()) != ARCHIVE_OK) {
        *error = source_ + ": " + describe(disk.get(), "could not be read");
    } else {
        created = addEntries(disk.get(), writer.get(), error);
    }
    // Closing writes the central directory; the archive is unusable without it.
    if (archive_write_close(writer.get()) != ARCHIVE_OK && created) {
        *error = archivePath_ + ": " + describe(writer.get(), "could not be finished");
        created = false;
    }
    if (!created) {
        ::unlink(archivePath_.c_str());
    }
    return created;
}

bool ZipCreator::addEntries(struct archive* disk, struct archive* writer, std::string* error) {
    // The archive may be made inside the folder being packed; it must not pack itself.
    struct stat output {};
    const bool outputKnown = ::stat(archivePath_.c_str(), &output) == 0;
    std::unique_ptr<struct archive_entry, EntryFree> entry(archive_entry_new());
    for (;;) {
        archive_entry_clear(entry.get());
        const int status = archive_read_next_header2(disk, entry.get());
        if (status == ARCHIVE_EOF) {
            return true;
        }
        if (status < ARCHIVE_WARN) {
            *error = describe(disk, "could not read the source");
            return false;
        }
        const std::string diskPath = archive_entry_pathname(entry.get());
        const struct stat* onDisk = archive_entry_stat(entry.get());
        if (outputKnown && onDisk->st_dev == output.st_dev && onDisk->st_ino == output.st_ino) {
            continue;
        }
        archive_read_disk_descend(disk);
        const std::string name = archivedName(diskPath);
        if (name.empty()) {
            continue;
        }
        archive_entry_set_pathname(entry.get(), name.c_str());
        if (archive_write_header(writer, entry.get()) < ARCHIVE_WARN) {
            *error = diskPath + ": " + describe(writer, "could not be archived");
            return false;
        }
        if (archive_entry_filetype(entry.get()) == AE_IFREG && archive_entry_size(entry.get()) > 0 &&
            !copyData(disk, writer, entry.get(), error)) {
            return false;
        }
    }
}

std::string ZipCreator::archivedName(const std::string& diskPath) const {
    if (diskPath == source_) {
        return keepParent_ ? topName_ : std::string();
    }
    const std::string below = diskPath.substr(source_ == "/" ? 1 : source_.size() + 1);
    return keepParent_ ? topName_ + "/" + below : below;
}

bool ZipCreator::copyData(struct archive* disk, struct archive* writer, struct archive_entry* entry,
                          std::string* error) {
    const std::string path = archive_entry_sourcepath(entry) ? archive_entry_sourcepath(entry) : source_;
    // Holes come back as gaps between blocks; the archive needs them as zeros.
    static const std::vector<char> zeros(1 << 16, 0);
    la_int64_t written = 0;
    const auto fillTo = [&](la_int64_t end) {
        while (written < end) {
            const size_t gap = static_cast<size_t>(std::min<la_int64_t>(end - written, zeros.size()));
            if (archive_write_data(writer, zeros.data(), gap) < 0) {
                *error = archivePath_ + ": " + describe(writer, "could not be written");
                return false;
            }
            written += static_cast<la_int64_t>(gap);
        }
        return true;
    };
    for (;;) {
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(disk, &block, &size, &offset);
        if (status == ARCHIVE_EOF) {
            return fillTo(archive_entry_size(entry));
        }
        if (status < ARCHIVE_WARN) {
            *error = path + ": " + describe(disk, "could not be read");
            return false;
        }
        if (!fillTo(offset)) {
            return false;
        }
        if (size > 0 && archive_write_data(writer, block, size) < 0) {
            *error = archivePath_ + ": " + describe(writer, "could not be written");
            return false;
        }
        written += static_cast<la_int64_t>(size);
    }
}
