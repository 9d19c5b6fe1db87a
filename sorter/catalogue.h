// The catalogue of known disk sides, loaded once from ingredients.dat.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

inline constexpr int catalogue_capacity = 500; // entry 0 is never used
inline constexpr std::size_t field_max = 80;   // longest field fstrtok keeps whole
inline constexpr std::size_t name_size = 82;   // 81 characters and a terminator

struct cat_entry {
    char game_code[5];
    std::int8_t side_number;
    std::int8_t side_index;
    std::int8_t side_count;
    std::int8_t file_count;
    std::int8_t listed;
    char name[name_size];
    std::vector<std::uint32_t> crcs; // exactly file_count elements once loaded
    std::uint32_t mismatch_crc;      // the one differing file of the latest verification
    std::int32_t found;              // complete finds of this first side since start
};

extern cat_entry catalogue[catalogue_capacity];
// 0 while not loaded; else one more than the number of loaded entries.
extern std::int32_t row_count;

// Catalogue text in memory, decoded to UTF-8 and read as text mode reads a file on every
// platform: a carriage return directly before a line feed is dropped, a byte 0x1A ends it.
struct text_stream {
    const char *next; // the next byte to read
    const char *end;  // one past the last byte
    bool ended;       // a read found no further character
};

// Reads one field ending at delim, a line feed or the end of the file into buf (room for
// max + 2 bytes). A longer field keeps its first max + 1 bytes, less any character they
// would split. Returns the field's length (max for a longer one), 0 when the end of the file
// ended the field.
std::size_t fstrtok(text_stream *in, char delim, char *buf, std::size_t max);

// Loads ingredients.dat from the current directory unless already loaded, in any encoding
// decode_text reads; returns the row count (0 when the file cannot be read or decoded; see
// the messages for other results).
int load_catalogue();

// Releases every loaded entry's CRC list.
void release_catalogue();
