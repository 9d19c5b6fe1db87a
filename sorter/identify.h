// Identifying a disk image in memory against the catalogue by the CRCs of its files.
#pragma once

#include <cstdint>

// Number of the first catalogue entry that matches the side's files (1 .. row count - 1),
// 0 for none. Reads nothing at or past end.
int match_first_side(const std::uint8_t *side, const std::uint8_t *end);

// Verifies a side's files against entry; records one differing file in the entry's mismatch
// slot and, with option 0x08, clears the bytes behind the files. 0 on success, -1 on failure.
int verify_side(std::uint8_t *side, const std::uint8_t *side_end, int entry, unsigned options);

// The matched entry of the image whose first side begins at first_side (0 for none).
int identify_image(std::uint8_t *first_side, const std::uint8_t *end, unsigned options);
