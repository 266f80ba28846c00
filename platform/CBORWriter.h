#pragma once

#include "CBORMajorType.h"

#include <QByteArray>
#include <QString>
#include <QtCborCommon>

#include <cstdint>
#include <vector>

namespace platform {

// Writes CBOR (RFC 8949) straight into a byte array, item by item, with the
// encodings QCborStreamWriter chooses (shortest heads, doubles as doubles,
// text as UTF-8), so either writes the same bytes. It exists because the
// stream writer hands every item to a QIODevice, which costs archives of
// many small items several times what building them does.
class CBORWriter {
public:
    explicit CBORWriter(QByteArray* data) : data_(data) {}

    void append(bool value) { data_->append(static_cast<char>(value ? 0xF5 : 0xF4)); }
    void append(qint64 value);
    void append(double value);
    void append(QCborTag tag) { appendHead(TagType, static_cast<std::uint64_t>(tag)); }
    void append(QCborKnownTags tag) { append(QCborTag(tag)); }
    void append(const QByteArray& bytes);
    void append(QStringView text);
    void append(const QString& text) { append(QStringView(text)); }
    void appendTextString(const char* utf8, qsizetype size);
    void appendNull() { data_->append(static_cast<char>(0xF6)); }

    // Containers of unknown length end with a break; those of a known length
    // end after that many items (a map counts pairs).
    void startArray() { startContainer(ArrayType); }
    void startArray(std::uint64_t count) { startContainer(ArrayType, count); }
    void endArray() { endContainer(); }
    void startMap() { startContainer(MapType); }
    void startMap(std::uint64_t count) { startContainer(MapType, count); }
    void endMap() { endContainer(); }

private:
    using MajorType = CBORMajorType;
    void appendHead(MajorType type, std::uint64_t value);
    void startContainer(MajorType type);
    void startContainer(MajorType type, std::uint64_t count);
    void endContainer();

    QByteArray* data_;
    // Per open container: whether it ends with a break.
    std::vector<bool> open_;
};

} // namespace platform
