#pragma once

#include "Error.h"

#include <QByteArray>

#include <future>
#include <memory>
#include <optional>

namespace platform {

// A one-way channel between processes: what is written at one end is read
// at the other. Both ends close when the pipe goes away.
class Pipe {
public:
    static std::shared_ptr<Pipe> make(Error* error = nullptr);
    ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int readDescriptor() const { return read_; }
    int writeDescriptor() const { return write_; }
    void closeReadEnd();
    void closeWriteEnd();

    // Reads until every writer has closed its end.
    QByteArray readDataToEndOfFile();
    // Starts that reading on a thread of its own, so that a writer at the
    // other end never stalls on a full pipe while this process is busy (say,
    // writing to the same child's input); `readDataToEndOfFile` then waits
    // for it and answers what it read. The thread holds its own descriptor:
    // the pipe may go away first.
    void readToEndOfFileInBackground();
    // False when the data could not all be written, for instance because
    // the reading end has been closed (the process is not signalled).
    bool writeData(const QByteArray& data);
    // Writes up to `size` bytes of the open file `file` from `offset` on.
    // The kernel hands the file's cached pages to the pipe, so the bytes are
    // not copied through this process (files that cannot do that are read
    // the ordinary way). Answers how many bytes were written, fewer than
    // asked only at the end of the file, or -1 when they could not all be
    // written (the reading end has been closed, say).
    qint64 writeFromFile(int file, qint64 offset, qint64 size);

private:
    Pipe(int read, int write) : read_(read), write_(write) {}

    int read_;
    int write_;
    std::future<QByteArray> background_;
};

} // namespace platform
