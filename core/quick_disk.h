// QuickDisk images (.qd): whole sides of 65,536 bytes and no file header. A side holds the
// blocks of a disk side in their order, each followed by its 2-byte checksum (low byte
// first), and zeros behind the last.
#pragma once

#include "image_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qd {

inline constexpr std::size_t side_size = 65536;
inline constexpr std::size_t checksum_size = 2;
inline constexpr std::uint16_t checksum_start = 0x8000;
inline constexpr std::uint16_t checksum_polynomial = 0x8408;
// Some official images store this as the disk info block's checksum.
inline constexpr std::uint16_t info_checksum_unset = 0x0000;

// QuickDisk images are the files of this pattern.
inline constexpr char file_pattern[] = "*.qd";

} // namespace qd

// Whether name is that of a QuickDisk image (".qd", in any case).
bool is_qd_name(const char *name);

// The name of the .fds image of the QuickDisk image file_name (its ".qd" replaced by ".fds"):
// what catalogues and reports call its disk.
std::string fds_name_of_qd(std::string_view file_name);

// The checksum a QuickDisk side stores behind a block of size bytes.
std::uint16_t qd_checksum(const std::uint8_t *block, std::size_t size);

// A block whose stored checksum is not its own: sides and blocks count from 1, the disk info
// block being a side's first.
struct qd_bad_block {
    int side;
    int block;
    bool operator==(const qd_bad_block &) const = default;
};

// The sides of a QuickDisk image as a headerless .fds image holds them: each side's blocks
// without their checksums, padded with zeros to 65,500 bytes; a short last side counts as a
// side. A side's blocks end at the first byte that is not the block expected next or at a
// block that does not fit. bad gets the blocks whose checksum does not match. False when
// there is no memory for the result.
bool qd_to_fds(const std::uint8_t *data, std::size_t size, image_buffer *out,
               std::vector<qd_bad_block> *bad);
