// Identifying a disk image by the CRCs of its files: find the catalogue entry of its first
// side, then verify every side the data holds against the entries of that image.
#include "identify.h"

#include "bytes.h"
#include "catalogue.h"
#include "crc.h"
#include "disk_layout.h"
#include "options.h"

#include <cstring>
#include <vector>

using namespace fds;

namespace {

constexpr int no_entry = 0;
constexpr int verify_ok = 0;
constexpr int verify_failed = -1;
// From four common files on, the search leaves the last one to the verification, which
// records it as the side's differing file.
constexpr int all_compared_up_to = 3;

enum walk_step { walk_file, walk_list_ends, walk_no_match };

// Looks at the file header at off of a side holding avail bytes; on walk_file sets the
// file's data size. The search bounds files only by the end of the data.
walk_step search_file_at(const std::uint8_t *side, std::size_t avail, std::size_t off,
                         std::size_t *size)
{
    if (off > avail)
        return walk_no_match;
    if (off == avail || side[off] != block_file_header)
        return walk_list_ends;
    std::uint16_t file_size = 0;
    if (!read_le16(side, side + avail, off + file_size_offset, &file_size))
        return walk_no_match;
    if (!has_bytes(side, side + avail, off + file_data_offset, file_size))
        return walk_no_match;
    *size = file_size;
    return walk_file;
}

// The CRCs of the n declared files, 0 where the list ended early. False when a file runs
// past the end of the data.
bool side_crc_list(const std::uint8_t *side, std::size_t avail, std::size_t n,
                   std::vector<std::uint32_t> *list)
{
    list->assign(n, 0u);
    std::size_t off = first_file_header_offset;
    for (std::size_t i = 0; i < n; i++) {
        std::size_t size = 0;
        walk_step step = search_file_at(side, avail, off, &size);
        if (step == walk_no_match)
            return false;
        if (step == walk_list_ends)
            break;
        (*list)[i] = crc_of_bytes(side + off + file_data_offset, size);
        off += file_overhead + size;
    }
    return true;
}

bool entry_matches(const cat_entry &e, const std::vector<std::uint32_t> &list)
{
    int n = static_cast<int>(list.size());
    int c = e.file_count;
    if (c <= 0 || e.crcs.size() < static_cast<std::size_t>(c))
        return false;
    if (e.crcs[0] != list[0])
        return false;
    int m = n < c ? n : c;
    int big = n < c ? c : n;
    if (big - m > 1)
        return false;
    int t = m > all_compared_up_to ? m - 1 : m;
    for (int k = 1; k < t; k++) {
        // A catalogue CRC of 0 after the first place stands for any file.
        if (e.crcs[k] != 0 && e.crcs[k] != list[k])
            return false;
    }
    return true;
}

// Moves past header/data pairs that the file amount block does not announce; stops one
// byte behind a header code that is not followed by a data block code.
std::size_t skip_undeclared_files(const std::uint8_t *side, std::size_t avail, std::size_t off)
{
    while (off < avail && side[off] == block_file_header) {
        std::uint8_t data_code = 0;
        if (!read_u8(side, side + avail, off + file_data_code_offset, &data_code) ||
            data_code != block_file_data)
            return off + 1;
        // The size bytes lie before the data block code, which exists.
        std::size_t size = le16(side + off + file_size_offset);
        off += file_overhead + size;
    }
    return off;
}

} // namespace

int match_first_side(const std::uint8_t *side, const std::uint8_t *end)
{
    std::uint8_t declared = 0;
    if (!read_u8(side, end, file_amount_count_offset, &declared))
        return no_entry;
    if (row_count < 2 || declared == 0)
        return no_entry;
    std::vector<std::uint32_t> list;
    if (!side_crc_list(side, bytes_left(side, end), declared, &list))
        return no_entry;
    for (int i = 1; i < row_count && i < catalogue_capacity; i++) {
        if (entry_matches(catalogue[i], list))
            return i;
    }
    return no_entry;
}

int verify_side(std::uint8_t *side, const std::uint8_t *side_end, int entry, unsigned options)
{
    if (entry < 1 || entry >= row_count || entry >= catalogue_capacity)
        return verify_failed;
    cat_entry &e = catalogue[entry];
    e.mismatch_crc = 0;
    std::uint8_t declared = 0;
    if (!read_u8(side, side_end, file_amount_count_offset, &declared))
        return verify_failed;
    std::size_t avail = bytes_left(side, side_end);
    std::size_t off = first_file_header_offset;
    bool had_differing = false;
    for (std::size_t i = 0; i < declared; i++) {
        if (!has_bytes(side, side_end, off, file_data_offset))
            return verify_failed;
        std::size_t size = le16(side + off + file_size_offset);
        if (!has_bytes(side, side_end, off + file_data_offset, size))
            return verify_failed;
        std::uint32_t crc = crc_of_bytes(side + off + file_data_offset, size);
        bool agrees = i < e.crcs.size() && static_cast<int>(i) < e.file_count && crc == e.crcs[i];
        if (!agrees) {
            if (had_differing)
                return verify_failed;
            had_differing = true;
            e.mismatch_crc = crc;
        }
        off += file_overhead + size;
    }
    off = skip_undeclared_files(side, avail, off);
    if ((options & opt_zero_unused) != 0 && off < avail)
        std::memset(side + off, 0, avail - off);
    return verify_ok;
}

int identify_image(std::uint8_t *first_side, const std::uint8_t *end, unsigned options)
{
    int b = match_first_side(first_side, end);
    if (b == no_entry)
        return no_entry;
    const cat_entry &first = catalogue[b];
    if (first.side_index != 1 || first.side_count <= 0)
        return b;
    std::uint8_t *side = first_side;
    for (int i = 0; i < first.side_count; i++) {
        // The catalogue ends before this side's entry (its later lines were not loaded):
        // the image cannot be checked in full, so it is not claimed as identified, and
        // nobody downstream looks at an entry that was never loaded.
        if (b + i >= row_count)
            return no_entry;
        std::size_t left = bytes_left(side, end);
        const std::uint8_t *side_end = left < side_size ? end : side + side_size;
        if (verify_side(side, side_end, b + i, options) != verify_ok)
            return no_entry;
        if (left <= side_size)
            break;
        side += side_size;
    }
    return b;
}
