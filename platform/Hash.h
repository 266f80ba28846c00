#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace platform {

// The hash functions behind `Value::hash` and `Object::hash`. They are fixed
// and independent of the process, the run and the machine, because some
// hashes end up in preference keys that several processes share:
//   - bytes: 64-bit FNV-1a (offset basis 0xcbf29ce484222325, prime 0x100000001b3);
//   - strings: FNV-1a over their UTF-8 encoding;
//   - combining: FNV-1a continued from the first hash over the eight
//     little-endian bytes of the second.
namespace Hash {

std::uint64_t bytes(const char* data, std::size_t size, std::uint64_t seed = 0xcbf29ce484222325ULL);
std::uint64_t bytes(const QByteArray& data);
std::uint64_t string(const QString& text);
std::uint64_t combine(std::uint64_t seed, std::uint64_t value);

} // namespace Hash
} // namespace platform
