#pragma once

#include <cstddef>
#include <string>
#include <thread>

#include <sys/types.h>

// An archive arriving on a pipe, read as it comes while a thread of its own
// copies the same bytes into a spool file. The kernel duplicates the pipe's
// pages for the spool (tee), so the reader pays for no copy of its own and
// the writing of the spool overlaps with the unpacking.
class ArrivingArchive {
public:
    // `input` must be a pipe; `spool` a file, written from its current position.
    ArrivingArchive(int input, int spool) : input_(input), spool_(spool) {}
    ~ArrivingArchive();
    ArrivingArchive(const ArrivingArchive&) = delete;
    ArrivingArchive& operator=(const ArrivingArchive&) = delete;

    // Starts the spooling thread; false with the reason.
    bool start(std::string* error);
    // Up to `size` bytes of what arrives next; 0 at the end of the input, -1 with `error()`.
    ssize_t read(char* buffer, size_t size);
    // Passes whatever the reader left to the spool and waits until
    // everything is in it; false with the reason.
    bool finish(std::string* error);

    const std::string& error() const { return error_; }

private:
    void spool();
    void closeSpoolPipe();

    const int input_;
    const int spool_;
    int pipe_[2] = {-1, -1};
    std::thread thread_;
    // The reader's side.
    std::string error_;
    // The spooling thread's; read once it has been joined.
    std::string spoolError_;
};
