#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

// One CBOR (RFC 8949) data item read whole into a flat list of items in the
// order they are written: a container's or tag's contents follow it, and
// each item knows where it and all it holds end, so a reader skips a value
// without walking it. Strings stay in the data until asked for.
//
// It exists for keyed archives, which read their objects field by field in
// any order: a tree of QCborValues costs an allocation and a copy per item,
// which made reading most of the time of a round trip between processes.
// Reading checks everything a reader may trip over later: truncation, bad
// heads, lengths beyond the data, invalid UTF-8, nesting deeper than asked,
// bytes after the item. Indefinite-length strings and simple values other
// than false, true, null and undefined are refused; keyed archives never
// hold them.
class CBORTree {
public:
    enum class Kind : std::uint8_t {
        // Integers beyond the 64-bit signed range read as doubles.
        Integer,
        Double,
        Bytes,
        Text,
        Array,
        Map,
        Tag,
        False,
        True,
        Null,
        Undefined,
    };
    struct Item {
        Kind kind;
        // Arrays: elements; maps: key-value pairs.
        std::uint32_t count = 0;
        // The index just past this item and everything it contains.
        std::uint32_t end = 0;
        union {
            std::int64_t integer;
            double real;
            std::uint64_t tag;
            struct {
                std::uint32_t offset;
                std::uint32_t size;
            } span; // Bytes and Text: where they lie in the data
        };
    };

    // The index of the item the data holds as a whole.
    static constexpr std::uint32_t Root = 0;

    // The one item `data` holds, or nothing, with what is wrong and where in
    // `problem`. Containers may nest `maximumDepth` deep.
    static std::optional<CBORTree> read(const QByteArray& data, int maximumDepth, QString* problem);

    const Item& item(std::uint32_t index) const { return items_[index]; }
    // Bytes and Text items.
    QByteArrayView bytes(std::uint32_t index) const;
    QString text(std::uint32_t index) const;
    // The first element of an array, the first key of a map, the content of
    // a tag; then `next` steps over whole values.
    static std::uint32_t firstChild(std::uint32_t index) { return index + 1; }
    std::uint32_t next(std::uint32_t index) const { return items_[index].end; }
    // The value of the first pair of a map whose key is the given text.
    std::optional<std::uint32_t> valueForKey(std::uint32_t map, QStringView key) const;

private:
    class Parser;

    QByteArray data_;
    std::vector<Item> items_;
};

} // namespace platform
