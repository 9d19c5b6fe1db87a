// Placing a file once it is examined: files without a disk side into rom or bad; identified
// complete images into ren (or dupes) under their catalogue name with a tag per differing
// file, partial ones into parts.
#include "place.h"

#include "bytes.h"
#include "catalogue.h"
#include "quick_disk.h"
#include "subdir_move.h"

#include <cstdio>
#include <cstring>
#include <string>

// Files without a disk side that begin like this are cartridge images.
static constexpr std::uint8_t rom_magic[3] = {0x02, 0x00, 0x0D};

bool begins_like_cartridge(const image_buffer &image)
{
    return fds::has_bytes(image.begin(), image.end(), 0, sizeof rom_magic) &&
           std::memcmp(image.begin(), rom_magic, sizeof rom_magic) == 0;
}

void place_sideless(image_job *job)
{
    bool rom = job->cartridge;
    job->outcome = rom ? outcome_rom : outcome_bad;
    const char *subdir = rom ? "rom" : "bad";
    char landed[target_buffer_size];
    int moved =
        move_to_subdir_landed(job->path, subdir, nullptr, move_numbered, landed, sizeof landed);
    if (moved != 0) {
        job_describe(job, "no disk side; could not be moved into %s", subdir);
        return;
    }
    job->fate = rom ? fate_rom : fate_bad;
    job_describe(job, "no disk side; moved to %s", landed);
}

// Replaces the name's text from its last "." (or appends, for a name without one) by the tag
// of side's differing file. False when the result would not fit.
static bool add_mismatch_tag(char *name, std::size_t size, int side, std::uint32_t crc)
{
    char *dot = std::strrchr(name, '.');
    std::size_t at = dot != nullptr ? static_cast<std::size_t>(dot - name) : std::strlen(name);
    int n = std::snprintf(name + at, size - at, " [%u-%08x].fds", static_cast<unsigned>(side),
                          static_cast<unsigned>(crc));
    return n > 0 && static_cast<std::size_t>(n) < size - at;
}

// A catalogue name, as the .fds image it names: a catalogue made from QuickDisk images by
// another tool may name them by their own files.
static std::string image_name_of(const char *catalogue_name)
{
    return is_qd_name(catalogue_name) ? fds_name_of_qd(catalogue_name) : catalogue_name;
}

bool tagged_catalogue_name(int entry, char *name, std::size_t size)
{
    const cat_entry &e = catalogue[entry];
    std::snprintf(name, size, "%s", image_name_of(e.name).c_str());
    bool fits = true;
    for (int i = 1; i <= e.side_count; i++) {
        int side_entry = entry + i - 1;
        if (side_entry >= row_count || side_entry >= catalogue_capacity)
            break;
        cat_entry &s = catalogue[side_entry];
        if (s.mismatch_crc != 0) {
            fits = fits && add_mismatch_tag(name, size, i, s.mismatch_crc);
            s.mismatch_crc = 0;
        }
    }
    return fits;
}

static void place_complete(image_job *job, const char *file, unsigned keep_ext)
{
    const char *name = job->tagged_name;
    catalogue[job->entry].found++;
    if (!job->tagged_name_fits) {
        job_describe(job, "identified; its tagged name is too long, left in place");
        return;
    }
    char landed[target_buffer_size];
    if (move_to_subdir_landed(file, "ren", name, keep_ext, landed, sizeof landed) == 0)
        job->fate = fate_identified;
    else if (move_to_subdir_landed(file, "dupes", name, move_numbered | keep_ext, landed,
                                   sizeof landed) == 0)
        job->fate = fate_duplicate;
    if (job->fate != fate_failed)
        job_describe(job, "identified; moved to %s", landed);
    else
        job_describe(job, "identified as %s; could not be moved", name);
}

void place_identified(image_job *job)
{
    const cat_entry &e = catalogue[job->entry];
    const char *file = job->rewritten ? job->new_path : job->path;
    unsigned keep_ext = job->layout != layout_standard ? move_keep_ext : 0;
    if (e.side_index == 1 && e.side_count == job->retained) {
        place_complete(job, file, keep_ext);
        return;
    }
    char landed[target_buffer_size];
    if (move_to_subdir_landed(file, "parts", image_name_of(e.name).c_str(),
                              move_numbered | keep_ext, landed, sizeof landed) != 0) {
        job_describe(job, "part of %s; could not be moved", e.name);
        return;
    }
    job->fate = fate_partial;
    job_describe(job, "part of an image; moved to %s", landed);
}
