#include "CBORWriter.h"

#include <QtEndian>

#include <cstring>

namespace platform {

void CBORWriter::appendHead(MajorType type, std::uint64_t value) {
    const int major = type << 5;
    if (value < 24) {
        data_->append(static_cast<char>(major | static_cast<int>(value)));
        return;
    }
    char head[9];
    qsizetype size = 0;
    if (value <= 0xFF) {
        head[0] = static_cast<char>(major | 24);
        head[1] = static_cast<char>(value);
        size = 2;
    } else if (value <= 0xFFFF) {
        head[0] = static_cast<char>(major | 25);
        qToBigEndian(static_cast<std::uint16_t>(value), head + 1);
        size = 3;
    } else if (value <= 0xFFFFFFFFu) {
        head[0] = static_cast<char>(major | 26);
        qToBigEndian(static_cast<std::uint32_t>(value), head + 1);
        size = 5;
    } else {
        head[0] = static_cast<char>(major | 27);
        qToBigEndian(value, head + 1);
        size = 9;
    }
    data_->append(head, size);
}

void CBORWriter::append(qint64 value) {
    if (value >= 0) {
        appendHead(UnsignedType, static_cast<std::uint64_t>(value));
    } else {
        // −1 − value, as the encoding wants it; cannot overflow.
        appendHead(NegativeType, ~static_cast<std::uint64_t>(value));
    }
}

void CBORWriter::append(double value) {
    char item[9];
    item[0] = static_cast<char>(0xFB);
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    qToBigEndian(bits, item + 1);
    data_->append(item, sizeof item);
}

void CBORWriter::append(const QByteArray& bytes) {
    appendHead(BytesType, static_cast<std::uint64_t>(bytes.size()));
    data_->append(bytes);
}

void CBORWriter::append(QStringView text) {
    // Most text is ASCII, which is its own UTF-8: it is copied as it comes.
    const qsizetype headStart = data_->size();
    const qsizetype size = text.size();
    appendHead(TextType, static_cast<std::uint64_t>(size));
    const qsizetype start = data_->size();
    data_->resize(start + size);
    char* out = data_->data() + start;
    const char16_t* in = text.utf16();
    for (qsizetype i = 0; i < size; ++i) {
        if (in[i] >= 0x80) {
            data_->truncate(headStart);
            const QByteArray utf8 = text.toUtf8();
            appendTextString(utf8.constData(), utf8.size());
            return;
        }
        out[i] = static_cast<char>(in[i]);
    }
}

void CBORWriter::appendTextString(const char* utf8, qsizetype size) {
    appendHead(TextType, static_cast<std::uint64_t>(size));
    data_->append(utf8, size);
}

void CBORWriter::startContainer(MajorType type) {
    // The head of a container of unknown length: its type with 31.
    data_->append(static_cast<char>((type << 5) | 31));
    open_.push_back(true);
}

void CBORWriter::startContainer(MajorType type, std::uint64_t count) {
    appendHead(type, count);
    open_.push_back(false);
}

void CBORWriter::endContainer() {
    if (open_.back()) {
        data_->append(static_cast<char>(0xFF));
    }
    open_.pop_back();
}

} // namespace platform
