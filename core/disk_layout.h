// The layout of a Famicom Disk System disk side and of the image files that hold sides.
// Offsets of side fields count from the side's first byte (the info block's code);
// offsets of file header fields count from the header's code byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fds {

// A disk side is a fixed-size run of blocks; sides follow each other without gaps.
inline constexpr std::size_t side_size = 65500;

// Block codes.
inline constexpr std::uint8_t block_info = 1;
inline constexpr std::uint8_t block_file_amount = 2;
inline constexpr std::uint8_t block_file_header = 3;
inline constexpr std::uint8_t block_file_data = 4;

// Disk info block (side offset 0, 56 bytes).
inline constexpr std::size_t info_block_code_offset = 0;
inline constexpr std::size_t info_signature_offset = 1;
inline constexpr std::size_t info_signature_size = 14;
inline constexpr std::size_t info_maker_offset = 15;
inline constexpr std::size_t info_game_code_offset = 16;
inline constexpr std::size_t info_game_code_size = 4;
inline constexpr std::size_t info_version_offset = 20;
inline constexpr std::size_t info_side_number_offset = 21;
inline constexpr std::size_t info_permit_date_offset = 31;
inline constexpr std::size_t info_marker1_offset = 34;
inline constexpr std::size_t info_marker2_offset = 35;
inline constexpr std::size_t info_created_date_offset = 44;
inline constexpr std::size_t date_size = 3;
inline constexpr std::size_t info_block_size = 56;
inline constexpr std::uint8_t info_marker1_valid = 0x49;
inline constexpr std::uint8_t info_marker2_valid = 0x61;
// Dates store the year as two BCD digits counted from this year.
inline constexpr unsigned bcd_year_base = 1925;

// File amount block (side offset 56, 2 bytes).
inline constexpr std::size_t file_amount_code_offset = 56;
inline constexpr std::size_t file_amount_count_offset = 57;
inline constexpr std::size_t file_amount_block_size = 2;

// The first file header block follows the file amount block.
inline constexpr std::size_t first_file_header_offset = 58;

// File header block (16 bytes) and the code byte of the data block behind it.
inline constexpr std::size_t file_code_offset = 0;
inline constexpr std::size_t file_number_offset = 1;
inline constexpr std::size_t file_id_offset = 2;
inline constexpr std::size_t file_name_offset = 3;
inline constexpr std::size_t file_name_size = 8;
inline constexpr std::size_t file_load_address_offset = 11;
inline constexpr std::size_t file_size_offset = 13; // 2 bytes, little-endian
inline constexpr std::size_t file_kind_offset = 15;
inline constexpr std::size_t file_data_code_offset = 16;
inline constexpr std::size_t file_header_block_size = 16;
inline constexpr std::size_t file_data_offset = 17;
// Header and data-block code together: the distance from one header to the next is this
// plus the file size.
inline constexpr std::size_t file_overhead = 17;

// The signature as stored behind the info block's code.
inline constexpr char signature_text[] = "*NINTENDO-HVC*";
// The sorter searches for the signature together with the info block code in front of it.
inline constexpr char signature_with_code[] = "\x01*NINTENDO-HVC*";

// The optional fwNES header in front of the first side.
inline constexpr std::size_t fwnes_header_size = 16;
inline constexpr std::uint8_t fwnes_magic[4] = {0x46, 0x44, 0x53, 0x1A}; // "FDS" 0x1A
inline constexpr std::size_t fwnes_magic_size = 4;
inline constexpr std::size_t fwnes_side_count_offset = 4;

// Where FAM-style images keep their first side.
inline constexpr std::size_t fam_first_side_offset_a = 61824;
inline constexpr std::size_t fam_first_side_offset_b = 61849;

} // namespace fds
