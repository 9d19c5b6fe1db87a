// Locating the first disk side of an image and counting the sides behind it.
#pragma once

#include <cstddef>
#include <cstdint>

// The first position p in [data, end) at which the bytes of pattern (without its terminator)
// occur wholly inside the range; nullptr when there is none.
const std::uint8_t *find_signature(const std::uint8_t *data, const char *pattern,
                                   const std::uint8_t *end);

// Number of consecutive complete sides from first_side: each must carry its file amount
// block with a nonzero file count, and each further side must start with the info block
// code. 0 without a first side, an end, or an info block code at the first side. Never
// reads at or beyond end.
int count_sides(const std::uint8_t *first_side, const std::uint8_t *end);
