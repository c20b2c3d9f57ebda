// Reading multi-byte fields from byte spans without casting pointers. Callers check bounds
// first (`if (need > size - offset)`); these helpers assert nothing and never allocate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace halv::base {

inline std::uint16_t readLE16(std::span<const std::byte> data, std::size_t offset) {
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(data[offset]) |
                                      (std::to_integer<unsigned>(data[offset + 1]) << 8));
}

inline std::uint32_t readLE32(std::span<const std::byte> data, std::size_t offset) {
    return static_cast<std::uint32_t>(readLE16(data, offset)) |
           (static_cast<std::uint32_t>(readLE16(data, offset + 2)) << 16);
}

inline std::uint64_t readLE64(std::span<const std::byte> data, std::size_t offset) {
    return static_cast<std::uint64_t>(readLE32(data, offset)) |
           (static_cast<std::uint64_t>(readLE32(data, offset + 4)) << 32);
}

inline std::uint16_t readBE16(std::span<const std::byte> data, std::size_t offset) {
    return static_cast<std::uint16_t>((std::to_integer<unsigned>(data[offset]) << 8) |
                                      std::to_integer<unsigned>(data[offset + 1]));
}

inline std::uint32_t readBE32(std::span<const std::byte> data, std::size_t offset) {
    return (static_cast<std::uint32_t>(readBE16(data, offset)) << 16) |
           static_cast<std::uint32_t>(readBE16(data, offset + 2));
}

inline float readLEFloat(std::span<const std::byte> data, std::size_t offset) {
    const std::uint32_t bits = readLE32(data, offset);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline double readLEDouble(std::span<const std::byte> data, std::size_t offset) {
    const std::uint64_t bits = readLE64(data, offset);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// True when `need` bytes starting at `offset` lie inside a block of `size` bytes.
constexpr bool fits(std::size_t size, std::size_t offset, std::size_t need) {
    return offset <= size && need <= size - offset;
}

} // namespace halv::base
