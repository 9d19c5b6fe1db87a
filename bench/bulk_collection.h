// Large synthetic collections for the whole-program benchmarks: a set of catalogued games
// and a pile of images in a realistic mix of forms, built with the image generator.
#pragma once

#include <cstdint>
#include <string>

// Games that fill a catalogue of 499 lines, the sorter's capacity: 399 single-side games
// and 50 two-side games.
inline constexpr int bulk_catalogue_lines = 499;

// The mix of a collection: the realistic one, or only catalogued games without their header,
// so that every image is backed up, rewritten and placed.
enum bulk_mix { bulk_mixed, bulk_all_rewritten };

// Writes dir/known/ (one good headered image of every game, to make the catalogue from) and
// dir/collection/ (count images: good ones with and without header, two-side images to split,
// unknown games, a changed file, FAM layout, damaged signatures, truncated images, cartridge
// dumps; or, with bulk_all_rewritten, images that all need rewriting). The same seed gives the
// same files. False, with a message in *error, on failure.
bool write_bulk_collection(const std::string &dir, int count, std::uint32_t seed,
                           std::string *error, bulk_mix mix = bulk_mixed);
