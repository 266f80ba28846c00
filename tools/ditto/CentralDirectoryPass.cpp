#include "CentralDirectoryPass.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kReadBlockSize = 64 * 1024;

struct ReaderFree {
    void operator()(struct archive* a) const { archive_read_free(a); }
};

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

bool CentralDirectoryPass::apply(int archiveFd, const std::vector<StreamedEntry>& streamed) {
    std::vector<Entry> entries;
    if (!readDirectory(archiveFd, streamed, &entries)) {
        return false;
    }
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const Entry& entry : entries) {
        names.push_back(entry.normalized);
    }
    std::sort(names.begin(), names.end());
    if (std::adjacent_find(names.begin(), names.end()) != names.end()) {
        return false;
    }
    for (const Entry& entry : entries) {
        if (entry.type != AE_IFLNK) {
            continue;
        }
        const std::string below = entry.normalized + "/";
        const auto next = std::lower_bound(names.begin(), names.end(), below);
        if (next != names.end() && next->compare(0, below.size(), below) == 0) {
            return false;
        }
    }
    if (!makeLinks(entries)) {
        return false;
    }

    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        if (entry.type != AE_IFREG) {
            continue;
        }
        if (entry.permissions != streamed[i].permissions &&
            ::fchmodat(destination_, entry.normalized.c_str(), entry.permissions, 0) != 0) {
            return false;
        }
        if (entry.hasTime && !sameTime(entry.modified, streamed[i].modified) &&
            !setTime(entry.normalized, entry.modified, 0)) {
            return false;
        }
    }
    // Folders last, deepest first: making the links changed their times, and
    // a folder may take away the write permission its contents needed.
    std::vector<const Entry*> folders;
    for (const Entry& entry : entries) {
        // The destination itself keeps its own mode and times (see EntryWriter).
        if (entry.type == AE_IFDIR && entry.normalized != ".") {
            folders.push_back(&entry);
        }
    }
    std::sort(folders.begin(), folders.end(),
              [](const Entry* a, const Entry* b) { return a->normalized > b->normalized; });
    for (const Entry* folder : folders) {
        if (::fchmodat(destination_, folder->normalized.c_str(), folder->permissions, 0) != 0) {
            return false;
        }
        if (folder->hasTime && !setTime(folder->normalized, folder->modified, 0)) {
            return false;
        }
    }
    return true;
}

bool CentralDirectoryPass::readDirectory(int archiveFd, const std::vector<StreamedEntry>& streamed,
                                         std::vector<Entry>* entries) {
    std::unique_ptr<struct archive, ReaderFree> reader(archive_read_new());
    archive_read_support_format_zip_seekable(reader.get());
    if (::lseek(archiveFd, 0, SEEK_SET) != 0 ||
        archive_read_open_fd(reader.get(), archiveFd, kReadBlockSize) != ARCHIVE_OK) {
        return false;
    }
    for (;;) {
        struct archive_entry* header = nullptr;
        const int status = archive_read_next_header(reader.get(), &header);
        if (status == ARCHIVE_EOF) {
            return entries->size() == streamed.size();
        }
        const size_t index = entries->size();
        const char* path = archive_entry_pathname(header);
        if (status != ARCHIVE_OK || !path || index >= streamed.size() || streamed[index].path != path) {
            return false;
        }
        Entry entry;
        entry.path = path;
        entry.normalized = DestinationGuard::normalized(entry.path);
        entry.type = archive_entry_filetype(header);
        entry.permissions = archive_entry_perm(header);
        entry.hasTime = archive_entry_mtime_is_set(header) != 0;
        entry.modified = {archive_entry_mtime(header), archive_entry_mtime_nsec(header)};
        if ((entry.permissions & (S_ISUID | S_ISGID)) != 0) {
            return false;
        }
        if (entry.type == AE_IFLNK) {
            const char* target = archive_entry_symlink(header);
            if (!target || streamed[index].type != AE_IFREG) {
                return false;
            }
            entry.target = target;
        } else if ((entry.type != AE_IFREG && entry.type != AE_IFDIR) || entry.type != streamed[index].type) {
            return false;
        }
        entries->push_back(std::move(entry));
    }
}

bool CentralDirectoryPass::makeLinks(const std::vector<Entry>& entries) {
    std::vector<const Entry*> links;
    for (const Entry& entry : entries) {
        if (entry.type != AE_IFLNK) {
            continue;
        }
        // Judged in archive order against the links made so far, as unpacking from the directory would.
        if (guard_.linkProblem(entry.path, entry.target)) {
            return false;
        }
        const char* path = entry.normalized.c_str();
        if ((::unlinkat(destination_, path, 0) != 0 && errno != ENOENT) ||
            ::symlinkat(entry.target.c_str(), destination_, path) != 0) {
            return false;
        }
        if (entry.hasTime && !setTime(entry.normalized, entry.modified, AT_SYMLINK_NOFOLLOW)) {
            return false;
        }
        links.push_back(&entry);
    }
    // A later link can change where an earlier one leads.
    return std::none_of(links.begin(), links.end(),
                        [this](const Entry* link) { return guard_.linkProblem(link->path, link->target); });
}

bool CentralDirectoryPass::setTime(const std::string& path, const timespec& modified, int flags) {
    const timespec times[2] = {{0, UTIME_OMIT}, modified};
    return ::utimensat(destination_, path.c_str(), times, flags) == 0;
}
