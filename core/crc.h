// CRC-32 of IEEE 802.3 (the zlib and PNG one), the identity of every file stored on a disk side.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t crc_polynomial = 0xEDB88320u; // reflected
inline constexpr std::uint32_t crc_preset = 0xFFFFFFFFu;

// The 256-entry table; filled by crc_build_table.
extern std::uint32_t crc_table[256];

// Fills crc_table, the faster paths' tables derived from it, and picks the fastest path the
// processor offers. Rebuilding gives the same tables, so calling it again is harmless.
void crc_build_table();

// CRC-32 of length bytes starting at bytes[start]. An initial value of 0 stands for the
// preset register 0xFFFFFFFF; any other value continues a register (not complemented).
// crc_build_table must have run before. Takes the fastest path available; every path gives
// the value of crc_of_bytes_bytewise.
std::uint32_t crc_of_bytes(const std::uint8_t *bytes, std::size_t length, std::size_t start = 0,
                           std::uint32_t initial = 0);

// The CRC of earlier bytes whose CRC is crc (0 for none) followed by these length bytes: the
// running CRC of a file written or read piece by piece.
std::uint32_t crc_continue(std::uint32_t crc, const std::uint8_t *bytes, std::size_t length);

// The reference: one lookup in crc_table per byte. Same arguments and result as crc_of_bytes.
std::uint32_t crc_of_bytes_bytewise(const std::uint8_t *bytes, std::size_t length,
                                    std::size_t start = 0, std::uint32_t initial = 0);

// The portable fast path, sixteen bytes per step through tables built from crc_table; what
// crc_of_bytes falls back to on a processor without carry-less multiplication.
std::uint32_t crc_of_bytes_sliced(const std::uint8_t *bytes, std::size_t length,
                                  std::size_t start = 0, std::uint32_t initial = 0);

// Whether crc_of_bytes folds with carry-less multiplication on this processor.
bool crc_uses_clmul();
