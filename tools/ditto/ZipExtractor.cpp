#include "ZipExtractor.h"

#include "ArrivingArchive.h"
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

struct ArrivingInput {
    ArrivingArchive& archive;
    std::vector<char> buffer;
};

la_ssize_t readArriving(struct archive* reader, void* data, const void** block) {
    auto* arriving = static_cast<ArrivingInput*>(data);
    const ssize_t got = arriving->archive.read(arriving->buffer.data(), arriving->buffer.size());
    if (got < 0) {
        archive_set_error(reader, EIO, "%s", arriving->archive.error().c_str());
        return -1;
    }
    *block = arriving->buffer.data();
    return got;
}

} // namespace

int ZipExtractor::openDestination(std::string* error) {
    std::error_code failure;
    std::filesystem::create_directories(destination_, failure);
    if (failure) {
        *error = destination_ + ": " + failure.message();
        return -1;
    }
    const int destination = ::open(destination_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (destination < 0) {
        *error = destination_ + ": " + std::strerror(errno);
        return -1;
    }
    // The disk writer refuses absolute paths, so entries are written relative to the destination.
    if (::fchdir(destination) != 0) {
        *error = destination_ + ": " + std::strerror(errno);
        ::close(destination);
        return -1;
    }
    return destination;
}

ZipExtractor::Arrival ZipExtractor::extractArriving(int input, int spool, std::string* error) {
    const int destination = openDestination(error);
    if (destination < 0) {
        return Arrival::Failed;
    }
    ArrivingArchive incoming(input, spool);
    if (!incoming.start(error)) {
        ::close(destination);
        return Arrival::Failed;
    }
    ArrivingInput arriving{incoming, std::vector<char>(kReadBlockSize)};
    std::vector<StreamedEntry> streamed;
    // Problems of the archive are told by unpacking it again from the spool.
    std::string problem;
    bool read = false;
    bool written = false;
    {
        std::unique_ptr<struct archive, ReaderFree> reader(archive_read_new());
        archive_read_support_format_zip_streamable(reader.get());
        EntryWriter writer(destination, writerThread_);
        if (archive_read_open(reader.get(), &arriving, nullptr, readArriving, nullptr) == ARCHIVE_OK) {
            read = readEntries(reader.get(), writer, &problem, &streamed);
        }
        written = writer.finish(!read, &problem);
    }
    // The reader stops at the central directory; the rest is needed as well.
    if (!incoming.finish(error)) {
        ::close(destination);
        return Arrival::Failed;
    }
    const bool settled = read && written && CentralDirectoryPass(destination).apply(spool, streamed);
    ::close(destination);
    return settled ? Arrival::Extracted : Arrival::UnpackAgain;
}

bool ZipExtractor::extract(int archiveFd, std::string* error) {
    const int destination = openDestination(error);
    if (destination < 0) {
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

bool ZipExtractor::readEntries(struct archive* reader, EntryWriter& writer, std::string* error,
                               std::vector<StreamedEntry>* streamed) {
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
        if (streamed) {
            const mode_t type = archive_entry_filetype(entry);
            if (status != ARCHIVE_OK || (type != AE_IFREG && type != AE_IFDIR) || archive_entry_hardlink(entry)) {
                return false;
            }
            streamed->push_back({path, type, archive_entry_perm(entry),
                                 {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)}});
        }
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
