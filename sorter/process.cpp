// The sorter's per-file step: read an image, find and count its sides, decide whether it must
// be rewritten and identify it; then rewrite, split and place it (rewrite.h, split.h,
// place.h), one helper per step.
#include "process.h"

#include "batch.h"
#include "bytes.h"
#include "catalogue.h"
#include "disk_layout.h"
#include "identify.h"
#include "options.h"
#include "place.h"
#include "quick_disk.h"
#include "rewrite.h"
#include "signature.h"
#include "ui.h"

#include <cstring>

// Names that are rewritten in place, without a backup: the temporary images among them.
static constexpr char in_place_prefix[] = "tmp";

// The directory text followed by the name; false when it does not fit.
static bool build_path(image_job *job, const char *name, const char *dir)
{
    std::size_t dir_len = dir != nullptr ? std::strlen(dir) : 0;
    std::size_t name_len = std::strlen(name);
    if (dir_len + name_len >= sizeof job->path)
        return false;
    if (dir_len > 0)
        std::memcpy(job->path, dir, dir_len);
    std::memcpy(job->path + dir_len, name, name_len + 1);
    return true;
}

// The first side and the number of sides behind it.
static void find_sides(image_job *job)
{
    const std::uint8_t *begin = job->image.begin();
    const std::uint8_t *end = job->image.end();
    const std::uint8_t *first = find_signature(begin, fds::signature_with_code, end);
    job->sides = first != nullptr ? count_sides(first, end) : 0;
    job->first_side = first != nullptr ? static_cast<std::size_t>(first - begin) : 0;
}

// The layout class, from where the first side starts.
static void classify_layout(image_job *job)
{
    std::size_t at = job->first_side;
    if (job->quick_disk)
        job->layout = layout_other;
    else if (at == 0 || at == fds::fwnes_header_size)
        job->layout = layout_standard;
    else if (at == fds::fam_first_side_offset_a || at == fds::fam_first_side_offset_b)
        job->layout = layout_fam;
    else
        job->layout = layout_other;
}

// An fwNES header whose side count disagrees with the counted sides.
static void check_header_count(image_job *job)
{
    const std::uint8_t *data = job->image.begin();
    const std::uint8_t *end = job->image.end();
    std::uint8_t count = 0;
    if (fds::has_bytes(data, end, 0, fds::fwnes_magic_size) &&
        std::memcmp(data, fds::fwnes_magic, fds::fwnes_magic_size) == 0 &&
        fds::read_u8(data, end, fds::fwnes_side_count_offset, &count) &&
        static_cast<std::int8_t>(count) != job->sides)
        job->reasons |= reason_header_count;
}

// Whole sides behind the header the options ask for.
static void check_size(image_job *job)
{
    if (job->quick_disk) {
        job->reasons |= reason_size;
        return;
    }
    std::size_t size = job->image.size;
    std::size_t header = (job->options & opt_no_fwnes_header) != 0 ? 0 : fds::fwnes_header_size;
    if (size < header || (size - header) % fds::side_size != 0)
        job->reasons |= reason_size;
}

// The catalogue entry the first side matches, the further rewrite reasons it gives, and the
// sides that stay in the image. An entry whose side count is below 1 keeps one side.
static void identify(image_job *job)
{
    std::uint8_t *first = job->image.bytes.get() + job->first_side;
    job->entry = identify_image(first, job->image.end(), job->options);
    if (job->entry == 0) {
        job->retained = job->sides;
        return;
    }
    const cat_entry &e = catalogue[job->entry];
    if (e.side_index == 1)
        job->tagged_name_fits =
            tagged_catalogue_name(job->entry, job->tagged_name, sizeof job->tagged_name);
    if (e.side_count < job->sides)
        job->reasons |= reason_size;
    if (e.side_index != 1 && job->sides > 1)
        job->reasons |= reason_later_side;
    int retained = e.side_index == 1 ? e.side_count : 1;
    if (retained < 1)
        retained = 1;
    job->retained = retained > job->sides ? job->sides : retained;
}

// FAM and other layouts are rewritten only when the user asked for conversion.
static void apply_conversion_gate(image_job *job)
{
    if (job->reasons != 0 && job->layout != layout_standard &&
        (job->options & opt_convert_fam) == 0)
        job->reasons = 0;
    else
        job->layout = layout_standard;
}

// A QuickDisk image is sorted as the .fds sides of its disk. Its identity, which a backup
// names, is that of the file as it is on disk; its sides are never whole .fds sides, so it is
// rewritten whenever conversion is asked for.
static bool read_quick_disk(image_job *job)
{
    job->original = identity_of_bytes(job->image.begin(), job->image.size);
    std::vector<qd_bad_block> bad;
    image_buffer sides;
    if (!qd_to_fds(job->image.begin(), job->image.size, &sides, &bad))
        return false;
    job->image = std::move(sides);
    job->quick_disk = true;
    for (const qd_bad_block &b : bad)
        job_describe(job, "bad checksum in side %d, block %d", b.side, b.block);
    return true;
}

static bool read_image(image_job *job, const char *name, const char *dir)
{
    if (!build_path(job, name, dir)) {
        job->outcome = outcome_unreadable;
        job_describe(job, "its path is longer than %zu bytes; left in place", path_max);
        return false;
    }
    if (read_image_file(job->path, &job->image) != read_ok ||
        (is_qd_name(name) && !read_quick_disk(job))) {
        job->outcome = outcome_unreadable;
        job_describe(job, "not readable; left in place");
        return false;
    }
    job->tmp_name = std::strncmp(name, in_place_prefix, sizeof in_place_prefix - 1) == 0;
    return true;
}

// The identity of the file's bytes as they are on disk, which a backup names: taken before
// identification when it may clear bytes in the buffer, else only for a file to be
// rewritten, since most files are not and it costs a pass over every byte.
static void take_identity(image_job *job)
{
    if (!job->quick_disk)
        job->original = identity_of_bytes(job->image.begin(), job->image.size);
}

// For a file with at least one side: rewrite it when a reason asks for it, split off the
// sides that belong elsewhere, and place it when it was identified.
static void normalise_and_place(image_job *job)
{
    if (job->reasons != 0) {
        if (!rewrite_image(job))
            return;
        if (job->entry == 0) {
            job->fate = fate_unidentified;
            job_describe(job, "not identified; normalised image left in place");
            return;
        }
    } else if (job->entry == 0) {
        job->fate = fate_unidentified;
        job_describe(job, "not identified; left unchanged");
        return;
    }
    place_identified(job);
}

bool analyse_image(image_job *job, const char *name, const char *dir)
{
    job->name = name;
    if (!read_image(job, name, dir))
        return false;
    find_sides(job);
    if (job->sides == 0) {
        job->cartridge = begins_like_cartridge(job->image);
        return true;
    }
    bool clears_bytes = (job->options & opt_zero_unused) != 0;
    if (clears_bytes)
        take_identity(job);
    classify_layout(job);
    check_header_count(job);
    check_size(job);
    identify(job);
    apply_conversion_gate(job);
    if (job->reasons != 0 && !clears_bytes)
        take_identity(job);
    return true;
}

unsigned process_image(const char *name, const char *dir, unsigned options, file_outcome *out)
{
    image_job job;
    job.options = options;
    if (batch_take_read_ahead(&job, name, dir) || analyse_image(&job, name, dir)) {
        if (job.sides == 0)
            place_sideless(&job);
        else
            normalise_and_place(&job);
    }
    file_report report = {job.path[0] != '\0' ? job.path : name,
                          job.outcome,
                          job.fate,
                          job.rewritten,
                          job.split_written,
                          job.what};
    ui_file_done(&report);
    if (out != nullptr)
        *out = file_outcome{report.path, report.fate, report.what};
    return job.outcome;
}
