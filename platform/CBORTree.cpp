#include "CBORTree.h"

#include "CBORMajorType.h"

#include <QAnyStringView>
#include <QStringDecoder>
#include <QUtf8StringView>

#include <cmath>
#include <cstring>
#include <limits>

namespace platform {

namespace {

using MajorType = CBORMajorType;
constexpr std::uint8_t IndefiniteLength = 31;
constexpr std::uint8_t Break = 0xFF;
constexpr int MaximumTagChain = 4;

double halfToDouble(std::uint16_t half) {
    const int exponent = (half >> 10) & 0x1F;
    const int mantissa = half & 0x3FF;
    double value;
    if (exponent == 0) {
        value = std::ldexp(mantissa, -24);
    } else if (exponent != 31) {
        value = std::ldexp(mantissa + 1024, exponent - 25);
    } else {
        value = mantissa == 0 ? std::numeric_limits<double>::infinity()
                              : std::numeric_limits<double>::quiet_NaN();
    }
    return (half & 0x8000) ? -value : value;
}

bool isValidUTF8(QByteArrayView bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString ignored = decoder(bytes);
            return !decoder.hasError();
        }
    }
    return true;
}

} // namespace

// Reads one item at a time, depth first, appending it to the tree.
class CBORTree::Parser {
public:
    Parser(const QByteArray& data, std::vector<Item>& items, int maximumDepth)
        : data_(reinterpret_cast<const std::uint8_t*>(data.constData())),
          size_(static_cast<std::size_t>(data.size())), items_(items), maximumDepth_(maximumDepth) {}

    // `depth` counts the containers around the item, `tags` the tags
    // directly around it.
    bool readItem(int depth, int tags = 0) {
        if (position_ >= size_) {
            return fail(QStringLiteral("the data ends before an item"));
        }
        const std::size_t start = position_;
        const std::uint8_t initial = data_[position_++];
        const auto major = static_cast<MajorType>(initial >> 5);
        const std::uint8_t additional = initial & 0x1F;
        if (major == SimpleType) {
            return readSimple(additional, start);
        }
        if (additional == IndefiniteLength) {
            if (major == ArrayType || major == MapType) {
                return readContainer(major, std::nullopt, depth, start);
            }
            return failAt(start, major == BytesType || major == TextType
                                     ? QStringLiteral("strings of indefinite length are not used")
                                     : QStringLiteral("an item of indefinite length cannot be one"));
        }
        std::uint64_t argument = 0;
        if (!readArgument(additional, &argument, start)) {
            return false;
        }
        switch (major) {
        case UnsignedType:
            if (argument > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                appendDouble(static_cast<double>(argument));
            } else {
                append(Kind::Integer).integer = static_cast<std::int64_t>(argument);
            }
            return true;
        case NegativeType:
            if (argument > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                appendDouble(-1.0 - static_cast<double>(argument));
            } else {
                append(Kind::Integer).integer = -1 - static_cast<std::int64_t>(argument);
            }
            return true;
        case BytesType:
        case TextType: {
            if (argument > size_ - position_) {
                return failAt(start, QStringLiteral("a string runs past the end of the data"));
            }
            const QByteArrayView bytes(data_ + position_, static_cast<qsizetype>(argument));
            if (major == TextType && !isValidUTF8(bytes)) {
                return failAt(start, QStringLiteral("a text string is not valid UTF-8"));
            }
            Item& item = append(major == TextType ? Kind::Text : Kind::Bytes);
            item.span = {static_cast<std::uint32_t>(position_), static_cast<std::uint32_t>(argument)};
            position_ += static_cast<std::size_t>(argument);
            return true;
        }
        case ArrayType:
        case MapType:
            return readContainer(major, argument, depth, start);
        case TagType: {
            // Archives tag plain values only; a chain of tags is bounded so
            // that it cannot recurse without end.
            if (tags >= MaximumTagChain) {
                return failAt(start, QStringLiteral("tags are nested more deeply than archives use"));
            }
            const std::size_t index = items_.size();
            append(Kind::Tag).tag = argument;
            if (!readItem(depth, tags + 1)) {
                return false;
            }
            items_[index].end = static_cast<std::uint32_t>(items_.size());
            return true;
        }
        case SimpleType:
            break;
        }
        return false;
    }

    bool finish() {
        if (position_ != size_) {
            problem_ = QStringLiteral("The archive has %1 bytes after its value at byte %2")
                           .arg(size_ - position_)
                           .arg(position_);
            return false;
        }
        return true;
    }

    const QString& problem() const { return problem_; }

private:
    bool readArgument(std::uint8_t additional, std::uint64_t* argument, std::size_t start) {
        if (additional < 24) {
            *argument = additional;
            return true;
        }
        if (additional > 27) {
            return failAt(start, QStringLiteral("an item has a reserved head"));
        }
        const std::size_t length = std::size_t(1) << (additional - 24);
        if (length > size_ - position_) {
            return failAt(start, QStringLiteral("the data ends inside an item's head"));
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < length; ++i) {
            value = (value << 8) | data_[position_ + i];
        }
        position_ += length;
        *argument = value;
        return true;
    }

    bool readSimple(std::uint8_t additional, std::size_t start) {
        switch (additional) {
        case 20:
            append(Kind::False);
            return true;
        case 21:
            append(Kind::True);
            return true;
        case 22:
            append(Kind::Null);
            return true;
        case 23:
            append(Kind::Undefined);
            return true;
        case 25:
        case 26:
        case 27: {
            std::uint64_t bits = 0;
            if (!readArgument(additional, &bits, start)) {
                return false;
            }
            if (additional == 25) {
                appendDouble(halfToDouble(static_cast<std::uint16_t>(bits)));
            } else if (additional == 26) {
                float value;
                const auto single = static_cast<std::uint32_t>(bits);
                std::memcpy(&value, &single, sizeof value);
                appendDouble(value);
            } else {
                double value;
                std::memcpy(&value, &bits, sizeof value);
                appendDouble(value);
            }
            return true;
        }
        case IndefiniteLength:
            return failAt(start, QStringLiteral("a break stands outside any container"));
        default:
            return failAt(start, QStringLiteral("simple values other than false, true, null and "
                                                "undefined are not used"));
        }
    }

    // `count` is the number of elements (arrays) or pairs (maps); nothing
    // for a container that ends with a break.
    bool readContainer(MajorType major, std::optional<std::uint64_t> count, int depth, std::size_t start) {
        if (depth >= maximumDepth_) {
            return nestsTooDeep();
        }
        const std::uint64_t itemsPerEntry = major == MapType ? 2 : 1;
        // Every item takes at least a byte: a longer count is a lie.
        if (count && *count > (size_ - position_) / itemsPerEntry) {
            return failAt(start, QStringLiteral("a container claims more items than the data holds"));
        }
        const std::size_t index = items_.size();
        append(major == MapType ? Kind::Map : Kind::Array);
        std::uint64_t entries = 0;
        for (;;) {
            if (count) {
                if (entries == *count) {
                    break;
                }
            } else {
                if (position_ >= size_) {
                    return failAt(start, QStringLiteral("a container of indefinite length has no end"));
                }
                if (data_[position_] == Break) {
                    ++position_;
                    break;
                }
            }
            for (std::uint64_t i = 0; i < itemsPerEntry; ++i) {
                if (!readItem(depth + 1)) {
                    return false;
                }
            }
            ++entries;
        }
        if (entries > std::numeric_limits<std::uint32_t>::max()) {
            return failAt(start, QStringLiteral("a container holds too many items"));
        }
        items_[index].count = static_cast<std::uint32_t>(entries);
        items_[index].end = static_cast<std::uint32_t>(items_.size());
        return true;
    }

    Item& append(Kind kind) {
        Item& item = items_.emplace_back();
        item.kind = kind;
        item.integer = 0;
        item.end = static_cast<std::uint32_t>(items_.size());
        return item;
    }
    void appendDouble(double value) { append(Kind::Double).real = value; }

    bool nestsTooDeep() {
        problem_ = QStringLiteral("The archive nests deeper than %1 levels").arg(maximumDepth_);
        return false;
    }
    bool fail(const QString& what) { return failAt(position_, what); }
    bool failAt(std::size_t offset, const QString& what) {
        problem_ = QStringLiteral("The archive is damaged: %1 at byte %2").arg(what).arg(offset);
        return false;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
    std::vector<Item>& items_;
    const int maximumDepth_;
    QString problem_;
};

std::optional<CBORTree> CBORTree::read(const QByteArray& data, int maximumDepth, QString* problem) {
    CBORTree tree;
    if (data.size() > std::numeric_limits<std::uint32_t>::max()) {
        if (problem) {
            *problem = QStringLiteral("The archive is larger than 4 GiB");
        }
        return std::nullopt;
    }
    tree.data_ = data;
    Parser parser(tree.data_, tree.items_, maximumDepth);
    if (!parser.readItem(0) || !parser.finish()) {
        if (problem) {
            *problem = parser.problem();
        }
        return std::nullopt;
    }
    return tree;
}

QByteArrayView CBORTree::bytes(std::uint32_t index) const {
    const Item& item = items_[index];
    return QByteArrayView(data_.constData() + item.span.offset, item.span.size);
}

QString CBORTree::text(std::uint32_t index) const {
    return QString::fromUtf8(bytes(index));
}

std::optional<std::uint32_t> CBORTree::valueForKey(std::uint32_t map, QStringView key) const {
    const Item& container = items_[map];
    std::uint32_t entry = firstChild(map);
    for (std::uint32_t i = 0; i < container.count; ++i) {
        const std::uint32_t value = next(entry);
        if (items_[entry].kind == Kind::Text && QAnyStringView::equal(QUtf8StringView(bytes(entry)), key)) {
            return value;
        }
        entry = next(value);
    }
    return std::nullopt;
}

} // namespace platform
