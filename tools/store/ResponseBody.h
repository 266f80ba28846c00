#pragma once

#include <QByteArray>
#include <QFile>

#include <memory>

// The bytes a response carries: a few bytes made in memory, or a stretch of
// a file read block by block as the connection can take them.
class ResponseBody {
public:
    ResponseBody() = default;
    static ResponseBody fromBytes(const QByteArray& bytes);
    // `file` is open for reading; the body is `length` bytes from `offset`.
    static ResponseBody fromFile(std::unique_ptr<QFile> file, qint64 offset, qint64 length);

    qint64 size() const { return size_; }
    qint64 remaining() const { return size_ - consumed_; }
    // The next at most `maxBytes` bytes; empty at the end, or when the file
    // could not be read (then `failed`).
    QByteArray read(qint64 maxBytes);
    bool failed() const { return failed_; }

private:
    QByteArray bytes_;
    std::unique_ptr<QFile> file_;
    qint64 offset_ = 0;
    qint64 size_ = 0;
    qint64 consumed_ = 0;
    bool failed_ = false;
};
