// The sorter's per-file step: read, classify, normalise, identify, split and place an image.
#pragma once

// Outcome word bits.
inline constexpr unsigned outcome_unreadable = 0x04;
inline constexpr unsigned outcome_header_write_failed = 0x02;
inline constexpr unsigned outcome_bad = 0x20;
inline constexpr unsigned outcome_rom = 0x40;
inline constexpr unsigned outcome_split = 0x400;

// Rewrite reasons.
inline constexpr unsigned reason_header_count = 0x100;
inline constexpr unsigned reason_size = 0x200;
inline constexpr unsigned reason_later_side = 0x800;

// Processes the file name in dir (ending in the separator, or nullptr). Returns the
// outcome word.
unsigned process_image(const char *name, const char *dir, unsigned options);
