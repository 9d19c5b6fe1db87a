// One file's pass through the sorter: the record that process_image hands from step to step,
// its outcome and rewrite-reason bits, and the account of what was done. Everything here
// lives for one file only.
#pragma once

#include "change.h"
#include "image_file.h"
#include "name_limits.h"

#include <cstddef>
#include <string>
#include <vector>

// Outcome word bits (what process_image returns).
inline constexpr unsigned outcome_header_write_failed = 0x02; // no byte of the header written
inline constexpr unsigned outcome_unreadable = 0x04;
inline constexpr unsigned outcome_bad = 0x20;    // no disk side: moved to bad
inline constexpr unsigned outcome_rom = 0x40;    // no disk side, a cartridge image: moved to rom
inline constexpr unsigned outcome_split = 0x400; // sides beyond the retained ones
// A normalised image that could not be created or written completely: the original was put
// back (or left in bak) and nothing was split or placed.
inline constexpr unsigned outcome_not_written = 0x1000;

// Rewrite reasons (also taken into the outcome word when the original is backed up).
inline constexpr unsigned reason_header_count = 0x100; // fwNES side count is off
inline constexpr unsigned reason_size = 0x200;         // not whole sides, or surplus sides
inline constexpr unsigned reason_later_side = 0x800;   // a later side of an image comes first

inline constexpr std::size_t new_name_buffer_size = 780; // new file paths and new names
inline constexpr std::size_t what_buffer_size = 640;     // the account of what was done

enum layout_class { layout_standard, layout_fam, layout_other };

// How far the split of surplus sides came.
enum split_state {
    split_none,        // nothing to split
    split_prepared,    // the temporary image is written and its publication planned
    split_no_file,     // its hidden file could not be had
    split_not_written, // not all of it could be written or published
};
inline constexpr std::size_t temp_name_buffer_size = 32;

// Where a processed file ended, for the front ends' tallies.
enum file_fate {
    fate_failed,       // unreadable, or a step it needed failed: left in place (or in bak)
    fate_identified,   // a complete catalogue image, moved into ren
    fate_duplicate,    // a complete image whose name ren already held, moved into dupes
    fate_partial,      // part of a catalogue image, moved into parts
    fate_unidentified, // matches no catalogue image: left in place, normalised if it had to be
    fate_bad,          // no disk side: moved into bad
    fate_rom,          // no disk side, a cartridge image: moved into rom
};

// What happened to one file, as the front ends are told it.
struct file_report {
    const char *path;
    unsigned outcome; // the outcome word process_image returns
    file_fate fate;
    bool rewritten;   // a normalised image was written
    bool split;       // surplus sides were written into a temporary image
    const char *what; // a short description of what was done and where the file went
};

struct image_job {
    const char *name = nullptr; // as the scan found it
    unsigned options = 0;
    char path[path_buffer_size] = "";
    char new_path[new_name_buffer_size] = "";    // the normalised image, once written
    char bak_path[target_buffer_size] = "";      // the original in bak, once moved there
    char backup_target[target_buffer_size] = ""; // where it goes in bak, once planned
    file_change change;                          // the journalled rewrite and split
    image_buffer image;
    file_identity original;     // of the file's bytes as read
    std::size_t first_side = 0; // offset of the first side in the file
    int sides = 0;              // sides counted in the file
    layout_class layout = layout_other;
    unsigned reasons = 0;
    int entry = 0;    // the catalogue entry the first side matched, 0 for none
    int retained = 0; // sides that belong to that entry's image and stay in the file
    // A complete image's catalogue name with the tag of each differing file, decided when it
    // is identified, and whether it fitted.
    char tagged_name[new_name_buffer_size] = "";
    bool tagged_name_fits = false;
    bool cartridge = false;  // no disk side, and begins like a cartridge image
    bool quick_disk = false; // read from a QuickDisk image: image holds its .fds sides
    unsigned outcome = 0;
    bool tmp_name = false; // a "tmp" file: rewritten without a backup
    bool ahead = false;    // planned ahead of its turn: it tells the user nothing
    const std::vector<std::string> *temps_planned = nullptr; // temporary images' names planned
                                                             // ahead for the files before it
    bool rewritten = false;                                  // new_path holds the normalised image
    bool split_written = false; // surplus sides were written into a temporary image
    split_state split = split_none;
    char temp_name[temp_name_buffer_size] = ""; // the temporary image's name, once chosen
    std::string split_problem;                  // why its hidden file could not be had
    file_fate fate = fate_failed;
    char what[what_buffer_size] = "";
};

// The length of the directory part of the job's path (up to and with its last separator).
std::size_t job_dir_length(const image_job *job);

// Appends a printf-style clause to the job's account, separated by "; ".
void job_describe(image_job *job, const char *format, ...);

// Shows the user a message box of a failed write ("fwrite() error"), unless the job is being
// planned ahead of its turn (the turn shows it, should it fail again).
void job_alert(const image_job *job, const char *text);
