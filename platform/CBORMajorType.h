#pragma once

#include <cstdint>

namespace platform {

// The major types of CBOR (RFC 8949), the top three bits of an item's
// first byte, as CBORWriter writes and CBORTree reads them.
enum CBORMajorType : std::uint8_t {
    UnsignedType = 0,
    NegativeType = 1,
    BytesType = 2,
    TextType = 3,
    ArrayType = 4,
    MapType = 5,
    TagType = 6,
    SimpleType = 7,
};

} // namespace platform
