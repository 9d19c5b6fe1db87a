// Bounds-checked reads from a byte range [p, end): every reader says whether the bytes exist.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fds {

// Whether the count bytes at offset from p all lie before end.
inline bool has_bytes(const std::uint8_t *p, const std::uint8_t *end, std::size_t offset,
                      std::size_t count)
{
    if (p == nullptr || end == nullptr || p > end)
        return false;
    std::size_t avail = static_cast<std::size_t>(end - p);
    return offset <= avail && count <= avail - offset;
}

// The byte at offset, or false when it lies outside the range.
inline bool read_u8(const std::uint8_t *p, const std::uint8_t *end, std::size_t offset,
                    std::uint8_t *out)
{
    if (!has_bytes(p, end, offset, 1))
        return false;
    *out = p[offset];
    return true;
}

// The little-endian 16-bit value at offset, or false when it lies outside the range.
inline bool read_le16(const std::uint8_t *p, const std::uint8_t *end, std::size_t offset,
                      std::uint16_t *out)
{
    if (!has_bytes(p, end, offset, 2))
        return false;
    *out = static_cast<std::uint16_t>(p[offset] | (p[offset + 1] << 8));
    return true;
}

// Little-endian 16-bit value from two bytes known to exist.
inline std::uint16_t le16(const std::uint8_t *p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// How many bytes remain from p to end (0 when p is at or past end).
inline std::size_t bytes_left(const std::uint8_t *p, const std::uint8_t *end)
{
    return p < end ? static_cast<std::size_t>(end - p) : 0;
}

} // namespace fds
