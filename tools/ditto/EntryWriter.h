#pragma once

#include "DestinationGuard.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct archive;
struct archive_entry;

// Writes unpacked entries below the destination. Entries are checked in
// archive order against what is on disk by then: paths must stay inside,
// links must lead inside, nothing is written through a link.
//
// With a thread of its own, inflating the next entries (user time) overlaps
// with writing files (system time); that pays only when a processor is free,
// since handing data over costs a copy. Without one, everything is written
// as it comes. The thread is handed headers and data in batches: one
// hand-over per entry would cost more in waking threads than a small file
// costs to write. A batch keeps its data in one buffer; buffers go back and
// forth, so the memory in use stays at a few batches whatever the archive's
// size.
class EntryWriter {
public:
    // `destination` is a descriptor of the destination folder, which is also the current directory.
    EntryWriter(int destination, bool ownThread);
    ~EntryWriter();
    EntryWriter(const EntryWriter&) = delete;
    EntryWriter& operator=(const EntryWriter&) = delete;

    // Each answers false once writing has failed: reading can stop.
    bool beginEntry(struct archive_entry* entry);
    bool addData(const void* block, size_t size, std::int64_t offset);
    bool finishEntry();

    // Waits for what was handed over (everything, or with `abandon` nothing
    // more), applies the folders' times and modes and checks the links made
    // once more. False with the writing failure, or (abandoned) with none.
    bool finish(bool abandon, std::string* error);

private:
    struct Item {
        enum class Kind { Header, Data, Finish } kind = Kind::Finish;
        struct archive_entry* entry = nullptr;
        size_t start = 0; // in the batch's data
        size_t size = 0;
        std::int64_t offset = 0;
    };
    struct Batch {
        std::vector<Item> items;
        std::vector<char> data;
        bool last = false;
    };

    bool add(Item item);
    bool handOver();
    void run();
    bool writeBatch(Batch& batch);
    // `data` holds a data item's bytes.
    bool write(const Item& item, const char* data);
    bool fail(const std::string& error);
    void startBatch();
    static void release(Batch& batch);

    int destination_;
    DestinationGuard guard_;
    struct archive* disk_;
    std::string path_;
    // The entry being written is the destination itself, which is left as it is.
    bool skipping_ = false;
    // Links made so far, checked once more at the end: a later link can change where an earlier one leads.
    std::vector<std::string> links_;
    Batch filling_;

    // Shared by both threads.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> queue_;
    std::vector<std::vector<char>> spareBuffers_;
    bool failed_ = false;
    bool abandoned_ = false;
    std::string error_;
    std::thread thread_;
};
