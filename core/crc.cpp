// Table-driven CRC-32, one table lookup per byte.
#include "crc.h"

std::uint32_t crc_table[256];

void crc_build_table()
{
    for (std::uint32_t i = 0; i < 256; i++) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; bit++)
            c = (c & 1) ? (c >> 1) ^ crc_polynomial : c >> 1;
        crc_table[i] = c;
    }
}

std::uint32_t crc_of_bytes(const std::uint8_t *bytes, std::size_t length, std::size_t start,
                           std::uint32_t initial)
{
    std::uint32_t reg = initial == 0 ? crc_preset : initial;
    const std::uint8_t *p = bytes + start;
    for (std::size_t i = 0; i < length; i++)
        reg = (reg >> 8) ^ crc_table[(reg ^ p[i]) & 0xFF];
    return ~reg;
}
