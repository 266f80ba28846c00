#include "ResponseBody.h"

#include <algorithm>

ResponseBody ResponseBody::fromBytes(const QByteArray& bytes) {
    ResponseBody body;
    body.bytes_ = bytes;
    body.size_ = bytes.size();
    return body;
}

ResponseBody ResponseBody::fromFile(std::unique_ptr<QFile> file, qint64 offset, qint64 length) {
    ResponseBody body;
    body.file_ = std::move(file);
    body.offset_ = offset;
    body.size_ = length;
    return body;
}

QByteArray ResponseBody::read(qint64 maxBytes) {
    const qint64 wanted = std::min(maxBytes, remaining());
    if (wanted <= 0 || failed_) {
        return {};
    }
    if (!file_) {
        const QByteArray slice = bytes_.mid(consumed_, wanted);
        consumed_ += slice.size();
        return slice;
    }
    if (consumed_ == 0 && !file_->seek(offset_)) {
        failed_ = true;
        return {};
    }
    QByteArray block(wanted, Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < wanted) {
        const qint64 n = file_->read(block.data() + filled, wanted - filled);
        if (n <= 0) {
            // The file shrank under us or could not be read: the promised
            // length cannot be kept, which the connection must not hide.
            failed_ = true;
            return {};
        }
        filled += n;
    }
    consumed_ += filled;
    return block;
}
