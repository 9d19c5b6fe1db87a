// Publisher names of the maker codes recorded in a disk info block.
#pragma once

#include <cstddef>
#include <cstdint>

struct maker_row {
    std::uint8_t code;
    const char *name;
};

inline constexpr std::size_t maker_table_rows = 56;

// Ascending by code; each code occurs once.
extern const maker_row maker_table[maker_table_rows];

// The name of the code's row, or "Unknown" when there is none. Never empty; never released.
const char *maker_name(std::uint8_t code);
