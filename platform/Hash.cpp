#include "Hash.h"

namespace platform::Hash {

namespace {
constexpr std::uint64_t kPrime = 0x100000001b3ULL;
}

std::uint64_t bytes(const char* data, std::size_t size, std::uint64_t seed) {
    std::uint64_t hash = seed;
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= static_cast<unsigned char>(data[i]);
        hash *= kPrime;
    }
    return hash;
}

std::uint64_t bytes(const QByteArray& data) {
    return bytes(data.constData(), static_cast<std::size_t>(data.size()));
}

std::uint64_t string(const QString& text) {
    return bytes(text.toUtf8());
}

std::uint64_t combine(std::uint64_t seed, std::uint64_t value) {
    char little[8];
    for (int i = 0; i < 8; ++i) {
        little[i] = static_cast<char>((value >> (8 * i)) & 0xff);
    }
    return bytes(little, sizeof little, seed);
}

} // namespace platform::Hash
