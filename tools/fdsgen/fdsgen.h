// Builders for synthetic disk images: disk sides with an info block, files of chosen kinds,
// names and contents, an optional fwNES header, several sides, FAM-style prefixes, and damage.
// Used by the tests and by the sample-collection tool; nothing here comes from a real disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using bytes = std::vector<std::uint8_t>;

struct gen_file {
    std::uint8_t number = 0;
    std::uint8_t id = 0;
    std::string name = "FILE"; // up to 8 characters, padded with blanks
    std::uint16_t load_address = 0x6000;
    std::uint8_t kind = 0; // 0 PRG, 1 CHR, 2 SND, others as numbers
    bytes data;
    int size_override = -1; // >= 0: header claims this size instead of data.size()
    std::uint8_t header_code = 3;
    std::uint8_t data_code = 4;
};

struct gen_side {
    std::uint8_t info_code = 1;
    std::string signature = "*NINTENDO-HVC*";
    std::uint8_t maker = 0x01;
    std::string game_code = "TEST"; // written as up to four characters
    std::uint8_t version = 0;
    std::uint8_t side_number = 0;
    std::uint8_t permit[3] = {0x61, 0x02, 0x21}; // BCD year (from 1925), month, day
    std::uint8_t created[3] = {0x61, 0x02, 0x21};
    bool info_valid = true; // writes the 0x49 0x61 markers
    std::uint8_t amount_code = 2;
    int declared_override = -1;       // >= 0: file amount block claims this many
    std::vector<gen_file> files;      // declared files, in order
    std::vector<gen_file> undeclared; // further header/data pairs behind them
    std::uint8_t filler = 0;          // byte filling the rest of the side
};

struct gen_image {
    std::vector<gen_side> sides;
    bool fwnes_header = false;
    int header_side_count = -1; // >= 0: the header's side count byte, else the real count
    std::size_t prefix = 0;     // bytes in front of the first side (e.g. 61824 for FAM)
    std::uint8_t prefix_fill = 0;
};

// A file whose contents are derived from seed, so that different seeds give different CRCs.
gen_file gen_make_file(std::uint8_t number, const std::string &name, std::size_t size,
                       std::uint32_t seed, std::uint8_t kind = 0);

// A side of the given game code with count files made from seed.
gen_side gen_make_side(const std::string &game_code, std::uint8_t side_number, int count,
                       std::uint32_t seed);

// Exactly 65500 bytes (longer only if the files do not fit).
bytes gen_side_bytes(const gen_side &side);

// The whole image file.
bytes gen_image_bytes(const gen_image &image);

// The image file of these sides, with an fwNES header when asked and prefix bytes before the
// first side.
bytes gen_image_of(const std::vector<gen_side> &sides, bool header = false, std::size_t prefix = 0);

// QuickDisk: a block's checksum; a side of exactly 65536 bytes, each block followed by its
// checksum (low byte first) and zeros behind the last; the image of these sides.
std::uint16_t gen_qd_checksum(const bytes &block);
bytes gen_qd_side_bytes(const gen_side &side);
bytes gen_qd_of(const std::vector<gen_side> &sides);

// A file of size bytes that begins like a cartridge dump (02 00 0D) and holds no disk side.
bytes gen_cartridge_dump(std::size_t size, std::uint32_t seed);

// CRC-32 of a file's data, computed independently of the programs' core.
std::uint32_t gen_crc32(const bytes &data);

// Damage: keep only the first length bytes; set one byte.
void gen_truncate(bytes *image, std::size_t length);
void gen_poke(bytes *image, std::size_t offset, std::uint8_t value);

// Writes bytes to a file; true on success.
bool gen_write_file(const std::string &path, const bytes &data);

enum gen_write_result {
    gen_written = 0,
    gen_exists,       // something stands at the path already; it was left alone
    gen_write_failed, // could not create or fill the file (a partial file is removed)
};

// Writes bytes to a new file, never replacing anything that stands at the path.
gen_write_result gen_write_new_file(const std::string &path, const bytes &data);
