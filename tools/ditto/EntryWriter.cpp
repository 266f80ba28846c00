#include "EntryWriter.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kDiskFlags = ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                           ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS;

constexpr size_t kBatchBytes = 1 << 20;
constexpr size_t kBatchItems = 512;
// Batches waiting for the writer: enough to keep it busy while the reader inflates.
constexpr size_t kQueuedBatches = 8;

std::string describe(struct archive* archive, const char* fallback) {
    const char* text = archive_error_string(archive);
    return text && *text ? text : fallback;
}

// Something the caller should hear about that does not spoil the extraction.
void warn(const std::string& text) {
    std::fprintf(stderr, "ditto: warning: %s\n", text.c_str());
}

} // namespace

EntryWriter::EntryWriter(int destination, bool ownThread)
    : destination_(destination), guard_(destination), disk_(archive_write_disk_new()) {
    archive_write_disk_set_options(disk_, kDiskFlags);
    startBatch();
    if (ownThread) {
        thread_ = std::thread([this] { run(); });
    }
}

EntryWriter::~EntryWriter() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            abandoned_ = true;
            changed_.notify_all();
        }
        thread_.join();
    }
    release(filling_);
    for (Batch& batch : queue_) {
        release(batch);
    }
    archive_write_free(disk_);
}

void EntryWriter::release(Batch& batch) {
    for (Item& item : batch.items) {
        archive_entry_free(item.entry);
        item.entry = nullptr;
    }
}

void EntryWriter::startBatch() {
    filling_ = Batch();
    std::lock_guard lock(mutex_);
    if (!spareBuffers_.empty()) {
        filling_.data = std::move(spareBuffers_.back());
        spareBuffers_.pop_back();
    } else {
        filling_.data.reserve(kBatchBytes);
    }
}

// Without a thread of its own, everything is written as it comes, straight from the reader's buffers.
bool EntryWriter::beginEntry(struct archive_entry* entry) {
    if (!thread_.joinable()) {
        return write({Item::Kind::Header, entry, 0, 0, 0}, nullptr);
    }
    return add({Item::Kind::Header, archive_entry_clone(entry), 0, 0, 0});
}

bool EntryWriter::addData(const void* block, size_t size, std::int64_t offset) {
    if (!thread_.joinable()) {
        return write({Item::Kind::Data, nullptr, 0, size, offset}, static_cast<const char*>(block));
    }
    if (!filling_.data.empty() && filling_.data.size() + size > filling_.data.capacity() && !handOver()) {
        return false;
    }
    const size_t start = filling_.data.size();
    filling_.data.insert(filling_.data.end(), static_cast<const char*>(block),
                         static_cast<const char*>(block) + size);
    return add({Item::Kind::Data, nullptr, start, size, offset});
}

bool EntryWriter::finishEntry() {
    if (!thread_.joinable()) {
        return write({Item::Kind::Finish, nullptr, 0, 0, 0}, nullptr);
    }
    return add({Item::Kind::Finish, nullptr, 0, 0, 0});
}

bool EntryWriter::add(Item item) {
    filling_.items.push_back(item);
    if (filling_.data.size() >= kBatchBytes || filling_.items.size() >= kBatchItems) {
        return handOver();
    }
    return true;
}

bool EntryWriter::handOver() {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return failed_ || queue_.size() < kQueuedBatches; });
        if (failed_) {
            lock.unlock();
            release(filling_);
            filling_.items.clear();
            return false;
        }
        queue_.push_back(std::move(filling_));
        changed_.notify_all();
    }
    startBatch();
    return true;
}

void EntryWriter::run() {
    for (;;) {
        Batch batch;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return !queue_.empty() || abandoned_; });
            if (abandoned_) {
                return;
            }
            batch = std::move(queue_.front());
            queue_.pop_front();
            changed_.notify_all();
        }
        const bool written = writeBatch(batch);
        if (!written || batch.last) {
            return;
        }
    }
}

bool EntryWriter::writeBatch(Batch& batch) {
    bool written = true;
    for (const Item& item : batch.items) {
        if (!write(item, batch.data.data() + item.start)) {
            written = false;
            break;
        }
    }
    release(batch);
    batch.data.clear();
    std::lock_guard lock(mutex_);
    spareBuffers_.push_back(std::move(batch.data));
    return written;
}

bool EntryWriter::write(const Item& item, const char* data) {
    switch (item.kind) {
    case Item::Kind::Header: {
        const char* path = archive_entry_pathname(item.entry);
        path_ = path ? path : "";
        if (auto problem = guard_.pathProblem(path_)) {
            return fail(path_ + ": " + *problem);
        }
        // Archives of a folder's contents may name the folder itself ("./").
        // It exists already and keeps its own mode and times: one made
        // world-writable would let anyone swap what is unpacked into it.
        skipping_ = DestinationGuard::normalized(path_) == ".";
        if (skipping_) {
            return archive_entry_filetype(item.entry) == AE_IFDIR ||
                   fail(path_ + ": refusing an entry that would replace the destination itself");
        }
        if (const char* hardlink = archive_entry_hardlink(item.entry)) {
            if (auto problem = guard_.pathProblem(hardlink)) {
                return fail(path_ + ": link to " + hardlink + ": " + *problem);
            }
        }
        const bool isLink = archive_entry_filetype(item.entry) == AE_IFLNK;
        if (isLink) {
            const char* target = archive_entry_symlink(item.entry);
            if (auto problem = guard_.linkProblem(path_, target ? target : "")) {
                return fail(path_ + ": " + *problem);
            }
        }
        const int status = archive_write_header(disk_, item.entry);
        if (status < ARCHIVE_WARN) {
            return fail(path_ + ": " + describe(disk_, "could not be written"));
        }
        if (status == ARCHIVE_WARN) {
            warn(path_ + ": " + describe(disk_, "not quite restored"));
        }
        if (isLink) {
            links_.push_back(path_);
        }
        return true;
    }
    case Item::Kind::Data:
        if (skipping_) {
            return true;
        }
        if (archive_write_data_block(disk_, data, item.size, item.offset) < ARCHIVE_WARN) {
            return fail(path_ + ": " + describe(disk_, "could not be written"));
        }
        return true;
    case Item::Kind::Finish:
        if (std::exchange(skipping_, false)) {
            return true;
        }
        if (archive_write_finish_entry(disk_) < ARCHIVE_WARN) {
            return fail(path_ + ": " + describe(disk_, "could not be finished"));
        }
        return true;
    }
    return true;
}

bool EntryWriter::fail(const std::string& error) {
    std::lock_guard lock(mutex_);
    failed_ = true;
    error_ = error;
    changed_.notify_all();
    return false;
}

bool EntryWriter::finish(bool abandon, std::string* error) {
    if (abandon) {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
        changed_.notify_all();
    } else if (thread_.joinable()) {
        filling_.last = true;
        handOver();
    }
    if (thread_.joinable()) {
        thread_.join();
    }

    // Closing applies the times and modes of folders, which wait until their contents are in.
    const bool closed = archive_write_close(disk_) == ARCHIVE_OK;
    std::lock_guard lock(mutex_);
    if (failed_) {
        *error = error_;
        return false;
    }
    if (!closed) {
        *error = describe(disk_, "could not finish the extraction");
        return false;
    }
    for (const std::string& link : links_) {
        char target[PATH_MAX];
        const ssize_t length = ::readlinkat(destination_, link.c_str(), target, sizeof target);
        if (length < 0 || static_cast<size_t>(length) >= sizeof target) {
            continue; // replaced by a later entry
        }
        if (auto problem = guard_.linkProblem(link, std::string(target, static_cast<size_t>(length)))) {
            ::unlinkat(destination_, link.c_str(), 0);
            *error = link + ": " + *problem;
            return false;
        }
    }
    return !abandon;
}
