// Reading QuickDisk sides as .fds sides: both hold the same blocks in the same order, a
// QuickDisk side with a checksum behind each.
#include "quick_disk.h"

#include "bytes.h"
#include "disk_layout.h"
#include "wildcard.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

// Which block a side holds next: the info block, the file amount block, then a header and
// its data block for each file, as long as a header follows.
struct block_walk {
    std::uint8_t next = fds::block_info;
    std::size_t data_size = 0; // of the file whose header came last
};

// The size of the block at p (left bytes from p on) when it is the block expected next and
// fits; 0 when the side's blocks end here.
std::size_t next_block(block_walk *w, const std::uint8_t *p, std::size_t left)
{
    if (left == 0 || p[0] != w->next)
        return 0;
    std::size_t size = 0;
    switch (w->next) {
    case fds::block_info:
        size = fds::info_block_size;
        w->next = fds::block_file_amount;
        break;
    case fds::block_file_amount:
        size = fds::file_amount_block_size;
        w->next = fds::block_file_header;
        break;
    case fds::block_file_header:
        size = fds::file_header_block_size;
        if (size > left)
            return 0;
        w->data_size = fds::le16(p + fds::file_size_offset);
        w->next = fds::block_file_data;
        break;
    default: // the data block: its code and the file's bytes
        size = 1 + w->data_size;
        w->next = fds::block_file_header;
        break;
    }
    return size <= left ? size : 0;
}

bool checksum_matches(const std::uint8_t *block, std::size_t size, int number)
{
    std::uint16_t stored = fds::le16(block + size);
    return stored == qd_checksum(block, size) || (number == 1 && stored == qd::info_checksum_unset);
}

// One QuickDisk side (left bytes of it there) into a zeroed .fds side.
void side_to_fds(const std::uint8_t *side, std::size_t left, std::uint8_t *out, int number,
                 std::vector<qd_bad_block> *bad)
{
    block_walk w;
    std::size_t in = 0, written = 0;
    for (int block = 1;; block++) {
        std::size_t size = next_block(&w, side + in, left - in);
        if (size == 0 || left - in - size < qd::checksum_size || size > fds::side_size - written)
            return;
        if (!checksum_matches(side + in, size, block))
            bad->push_back({number, block});
        std::memcpy(out + written, side + in, size);
        in += size + qd::checksum_size;
        written += size;
    }
}

} // namespace

std::uint16_t qd_checksum(const std::uint8_t *block, std::size_t size)
{
    unsigned reg = qd::checksum_start;
    auto feed = [&reg](std::uint8_t byte) {
        for (int bit = 0; bit < 8; bit++) {
            unsigned out = reg & 1u;
            reg = (reg >> 1) | (((byte >> bit) & 1u) << 15);
            if (out != 0)
                reg ^= qd::checksum_polynomial;
        }
    };
    for (std::size_t i = 0; i < size; i++)
        feed(block[i]);
    feed(0);
    feed(0);
    return static_cast<std::uint16_t>(reg);
}

bool qd_to_fds(const std::uint8_t *data, std::size_t size, image_buffer *out,
               std::vector<qd_bad_block> *bad)
{
    std::size_t sides = size / qd::side_size + (size % qd::side_size != 0 ? 1 : 0);
    if (sides > SIZE_MAX / fds::side_size)
        return false;
    out->bytes.reset(new (std::nothrow) std::uint8_t[sides * fds::side_size]());
    out->size = out->bytes != nullptr ? sides * fds::side_size : 0;
    if (out->bytes == nullptr && sides > 0)
        return false;
    for (std::size_t i = 0; i < sides; i++) {
        std::size_t at = i * qd::side_size;
        side_to_fds(data + at, std::min(qd::side_size, size - at),
                    out->bytes.get() + i * fds::side_size, static_cast<int>(i + 1), bad);
    }
    return true;
}

bool is_qd_name(const char *name)
{
    return wildcard_match(qd::file_pattern, name);
}

std::string fds_name_of_qd(std::string_view file_name)
{
    static constexpr std::string_view qd_ext = ".qd";
    std::string_view stem = file_name.substr(0, file_name.size() - qd_ext.size());
    return std::string(stem) + ".fds";
}
