// Test helpers for the sorter's global catalogue: put it back to its start-up state, fill it
// by hand, and run a test inside a scratch current directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Releases every CRC list, zeroes the whole table and sets the row count to 0 (not loaded).
void reset_catalogue_for_tests();

// Appends a loaded entry (the row count becomes at least 2) and returns its number.
int add_catalogue_entry(const std::string &name, int side_index, int side_count,
                        const std::vector<std::uint32_t> &crcs, int listed = 1);

// Makes a fresh scratch directory the current directory; the destructor restores the
// previous one and removes the scratch directory. dir is empty when that failed.
struct scratch_cwd {
    explicit scratch_cwd(const std::string &tag);
    ~scratch_cwd();
    scratch_cwd(const scratch_cwd &) = delete;
    scratch_cwd &operator=(const scratch_cwd &) = delete;

    std::string dir;
    std::string previous;
};
