#include "ZipExtractor.h"

#include "EntryWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr size_t kReadBlockSize = 1 << 20;

std::string describe(struct archive* archive, const char* fallback) {
    const char* text = archive_error_string(archive);
    return text && *text ? text : fallback;
}

struct ReaderFree {
    void operator()(struct archive* a) const { archive_read_free(a); }
};

} // namespace

bool ZipExtractor::extract(int archiveFd, std::string* error) {
    std::error_code failure;
    std::filesystem::create_directories(destination_, failure);
    if (failure) {
        *error = destination_ + ": " + failure.message();
        return false;
    }
    const int destination = ::open(destination_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (destination < 0) {
        *error = destination_ + ": " + std::strerror(errno);
        return false;
    }
    // The disk writer refuses absolute paths, so entries are written relative to the destination.
    if (::fchdir(destination) != 0) {
        *error = destination_ + ": " + std::strerror(errno);
        ::close(destination);
        return false;
    }

    std::unique_ptr<struct archive, ReaderFree> reader(archive_read_new());
    archive_read_support_format_zip_seekable(reader.get());
    std::string readError;
    bool read = false;
    EntryWriter writer(destination, writerThread_);
    if (archive_read_open_fd(reader.get(), archiveFd, kReadBlockSize) != ARCHIVE_OK) {
        readError = describe(reader.get(), "could not read the archive");
    } else {
        read = readEntries(reader.get(), writer, &readError);
    }
    // Entries are written in order, so a writing failure is the earliest problem when there is one.
    std::string writeError;
    const bool written = writer.finish(!read, &writeError);
    ::close(destination);
    if (read && written) {
        return true;
    }
    *error = !writeError.empty() ? writeError : readError;
    return false;
}

bool ZipExtractor::readEntries(struct archive* reader, EntryWriter& writer, std::string* error) {
    for (;;) {
        struct archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader, &entry);
        if (status == ARCHIVE_EOF) {
            return true;
        }
        if (status < ARCHIVE_WARN) {
            *error = describe(reader, "could not read the archive");
            return false;
        }
        const char* rawPath = archive_entry_pathname(entry);
        const std::string path = rawPath ? rawPath : "";
        if (status == ARCHIVE_WARN) {
            std::fprintf(stderr, "ditto: warning: %s: %s\n", path.c_str(),
                         describe(reader, "unusual entry").c_str());
        }
        if (!writer.beginEntry(entry)) {
            return false;
        }
        // A link's target has been read with its header already.
        if (archive_entry_filetype(entry) != AE_IFLNK && !readData(reader, writer, path, error)) {
            return false;
        }
        if (!writer.finishEntry()) {
            return false;
        }
    }
}

bool ZipExtractor::readData(struct archive* reader, EntryWriter& writer, const std::string& entry,
                            std::string* error) {
    for (;;) {
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF) {
            return true;
        }
        // The reader warns about a bad CRC or size only once the data is out: the entry is damaged.
        if (status != ARCHIVE_OK) {
            *error = entry + ": " + describe(reader, "could not be read");
            return false;
        }
        if (!writer.addData(block, size, offset)) {
            return false;
        }
    }
}
