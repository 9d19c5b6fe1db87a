// Signature search and side counting over an image held in memory.
#include "signature.h"

#include "bytes.h"
#include "disk_layout.h"

#include <cstring>

const std::uint8_t *find_signature(const std::uint8_t *data, const char *pattern,
                                   const std::uint8_t *end)
{
    if (data == nullptr || end == nullptr || pattern == nullptr || data >= end)
        return nullptr;
    std::size_t len = std::strlen(pattern);
    std::size_t avail = static_cast<std::size_t>(end - data);
    if (len == 0 || len > avail)
        return nullptr;
    const auto first = static_cast<std::uint8_t>(pattern[0]);
    const std::size_t last_start = avail - len;
    // Positions count by index: a pointer formed past the end of the data is undefined.
    // memchr finds the next candidate first byte; files without a side are scanned whole.
    for (std::size_t at = 0; at <= last_start; at++) {
        const void *hit = std::memchr(data + at, first, last_start - at + 1);
        if (hit == nullptr)
            return nullptr;
        at = static_cast<std::size_t>(static_cast<const std::uint8_t *>(hit) - data);
        const std::uint8_t *p = data + at;
        std::size_t k = 1;
        while (k < len && p[k] == static_cast<std::uint8_t>(pattern[k]))
            k++;
        if (k == len)
            return p;
    }
    return nullptr;
}

int count_sides(const std::uint8_t *first_side, const std::uint8_t *end)
{
    using namespace fds;
    std::uint8_t code = 0;
    if (!read_u8(first_side, end, info_block_code_offset, &code) || code != block_info)
        return 0;
    int count = 0;
    const std::uint8_t *side = first_side;
    for (;;) {
        std::uint8_t amount_code = 0;
        std::uint8_t files = 0;
        // A side too short to hold its file amount block ends the count.
        if (!read_u8(side, end, file_amount_code_offset, &amount_code) ||
            !read_u8(side, end, file_amount_count_offset, &files))
            break;
        if (amount_code != block_file_amount || files == 0)
            break;
        count++;
        if (bytes_left(side, end) <= side_size)
            break;
        side += side_size;
        if (*side != block_info)
            break;
    }
    return count;
}
