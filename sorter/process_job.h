// The state of one process_image call, handed between its step helpers (process.cpp,
// normalise.cpp, process_place.cpp). Everything here lives for one file only.
#pragma once

#include "image_file.h"
#include "ui.h"

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr std::size_t path_buffer_size = 260;     // a file path and its terminator
inline constexpr std::size_t new_name_buffer_size = 780; // new file paths and new names
inline constexpr std::size_t landed_buffer_size = 256;   // where a moved file now is
inline constexpr std::size_t what_buffer_size = 640;     // the account of what was done

// Outcome bit for a normalised image that could not be created or written completely: the
// original was put back (or left in bak) and nothing was split or placed.
inline constexpr unsigned outcome_not_written = 0x1000;

enum layout_class { layout_standard, layout_fam, layout_other };

struct image_job {
    const char *name = nullptr; // as the scan found it
    unsigned options = 0;
    char path[path_buffer_size] = "";
    char new_path[new_name_buffer_size] = ""; // the normalised image, once written
    char bak_path[landed_buffer_size] = "";   // the original in bak, once moved there
    image_buffer image;
    std::size_t first_side = 0; // offset of the first side in the file
    int sides = 0;              // counted sides (H)
    layout_class layout = layout_other;
    unsigned reasons = 0;
    int entry = 0;    // the matched catalogue entry (E), 0 for none
    int retained = 0; // sides that stay in the image (B)
    unsigned outcome = 0;
    bool tmp_name = false;      // a "tmp" file: rewritten without a backup
    bool rewritten = false;     // new_path holds the normalised image
    bool split_done = false;    // the surplus sides have been dealt with
    bool split_written = false; // and written into a temporary image
    file_fate fate = fate_failed;
    char what[what_buffer_size] = "";
};

// Appends a printf-style clause to the job's account, separated by "; ".
void job_describe(image_job *job, const char *format, ...);

// Step 12: backs the file up (unless it is rewritten in place) and writes the normalised
// image. False when nothing usable was written; the original is then back in its place.
bool rewrite_image(image_job *job);

// Step 13: writes the sides behind the retained ones into a temporary image. False when
// surplus sides exist and could not all be written there.
bool split_surplus(image_job *job);

// Step 14: moves an identified image into ren, dupes or parts.
void place_identified(image_job *job);
