// Writing the normalised image of a file (fwNES header unless asked not to, whole sides,
// zero padding) and the temporary image that takes its surplus sides. A write that does not
// complete never leaves an incomplete image in the original's place.
#include "disk_layout.h"
#include "options.h"
#include "placement.h"
#include "platform.h"
#include "process.h"
#include "process_job.h"
#include "ui.h"

#include <cstdio>
#include <cstring>

static constexpr std::size_t zero_chunk = 4096;

static constexpr struct {
    unsigned bit;
    const char *words;
} reason_words[] = {
    {reason_header_count, "header side count"},
    {reason_size, "size"},
    {reason_later_side, "later side first"},
};

// The rewrite reasons in words, joined by ", ".
static void reasons_in_words(unsigned reasons, char *buf, std::size_t size)
{
    std::size_t used = 0;
    buf[0] = '\0';
    for (const auto &r : reason_words) {
        if ((reasons & r.bit) == 0 || used >= size)
            continue;
        int n = std::snprintf(buf + used, size - used, "%s%s", used > 0 ? ", " : "", r.words);
        used += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
}

// Writes count sides of the image from the file offset from; the bytes the file lacks are
// written as zeros. True when every byte was accepted.
static bool write_sides(std::FILE *f, const image_job *job, std::size_t from, std::size_t count)
{
    static const std::uint8_t zeros[zero_chunk] = {};
    std::size_t want = count * fds::side_size;
    std::size_t have = job->image.size > from ? job->image.size - from : 0;
    std::size_t piece = have < want ? have : want;
    if (piece > 0 && std::fwrite(job->image.begin() + from, 1, piece, f) != piece)
        return false;
    for (std::size_t left = want - piece; left > 0;) {
        std::size_t n = left < zero_chunk ? left : zero_chunk;
        if (std::fwrite(zeros, 1, n, f) != n)
            return false;
        left -= n;
    }
    return true;
}

static bool write_fwnes_header(std::FILE *f, int sides)
{
    std::uint8_t header[fds::fwnes_header_size] = {};
    std::memcpy(header, fds::fwnes_magic, fds::fwnes_magic_size);
    header[fds::fwnes_side_count_offset] = static_cast<std::uint8_t>(sides);
    return std::fwrite(header, 1, sizeof header, f) == sizeof header;
}

// Closes f; false when any byte written to it did not reach the file.
static bool finish_file(std::FILE *f)
{
    bool ok = std::fflush(f) == 0 && std::ferror(f) == 0;
    return std::fclose(f) == 0 && ok;
}

// Step 12.2: the path with its file name's extension replaced by ".fds" (added when the name
// has none).
static bool make_new_path(image_job *job)
{
    const char *sep = std::strrchr(job->path, plat_sep);
    const char *dot = std::strrchr(sep != nullptr ? sep + 1 : job->path, '.');
    std::size_t stem =
        dot != nullptr ? static_cast<std::size_t>(dot - job->path) : std::strlen(job->path);
    static constexpr char fds_ext[] = ".fds";
    if (stem + sizeof fds_ext > sizeof job->new_path)
        return false;
    std::memcpy(job->new_path, job->path, stem);
    std::memcpy(job->new_path + stem, fds_ext, sizeof fds_ext);
    return true;
}

// Step 12.4: header (unless option 0x10) and W sides. True when all of it was written.
static bool write_normalised(image_job *job, std::FILE *f)
{
    int sides = job->entry != 0 ? job->retained : job->sides;
    bool header_ok = (job->options & opt_no_fwnes_header) != 0 || write_fwnes_header(f, sides);
    if (!header_ok)
        job->outcome |= outcome_header_write_failed;
    bool data_ok =
        header_ok && write_sides(f, job, job->first_side, static_cast<std::size_t>(sides));
    return finish_file(f) && data_ok;
}

// Moves the original back from bak to its own path (non-"tmp" files only).
static void put_original_back(image_job *job)
{
    if (job->bak_path[0] == '\0')
        job_describe(job, "original left in place");
    else if (plat_move_noreplace(job->bak_path, job->path) == 0)
        job_describe(job, "original put back in place");
    else
        job_describe(job, "original left in %s", job->bak_path);
}

// After a failed write of a new file: it is removed and the original put back.
static void discard_incomplete(image_job *job)
{
    if (plat_remove_own_file(job->new_path) != 0)
        job_describe(job, "incomplete %s left; original left in %s", job->new_path,
                     job->bak_path[0] != '\0' ? job->bak_path : job->path);
    else
        put_original_back(job);
}

// A "tmp" file rewritten over itself: the new image goes to a side file first and replaces
// the original only once it is complete, so a full disk can never leave half an image.
static bool rewrite_over_original(image_job *job)
{
    char side_path[new_name_buffer_size + 8];
    std::snprintf(side_path, sizeof side_path, "%s.new", job->new_path);
    std::FILE *f = plat_create_new(side_path);
    if (f == nullptr) {
        job->outcome |= outcome_not_written;
        job_describe(job, "%s could not be created; left unchanged", side_path);
        return false;
    }
    if (!write_normalised(job, f)) {
        ui_message(false, "fwrite() error", "Vormlin");
        plat_remove_own_file(side_path);
        job->outcome |= outcome_not_written;
        job_describe(job, "%s could not be written; left unchanged", job->new_path);
        return false;
    }
    if (plat_replace_file(side_path, job->new_path) != 0) {
        plat_remove_own_file(side_path);
        job->outcome |= outcome_not_written;
        job_describe(job, "%s could not be replaced; left unchanged", job->new_path);
        return false;
    }
    return true;
}

// A new file at new_path; on failure the original is back in its place.
static bool write_new_file(image_job *job)
{
    std::FILE *f = plat_create_new(job->new_path);
    if (f == nullptr) {
        job->outcome |= outcome_not_written;
        job_describe(job, "%s could not be created", job->new_path);
        put_original_back(job);
        return false;
    }
    if (!write_normalised(job, f)) {
        ui_message(false, "fwrite() error", "Vormlin");
        job->outcome |= outcome_not_written;
        job_describe(job, "%s could not be written", job->new_path);
        discard_incomplete(job);
        return false;
    }
    return true;
}

static bool back_up(image_job *job)
{
    job->outcome = job->reasons;
    if (move_to_subdir_landed(job->path, "bak", nullptr, true, false, job->bak_path,
                              sizeof job->bak_path) == 0)
        return true;
    job->bak_path[0] = '\0';
    job_describe(job, "backup into bak failed; left unchanged");
    return false;
}

bool rewrite_image(image_job *job)
{
    if (!make_new_path(job) || (!job->tmp_name && !back_up(job)))
        return false;
    bool over_original = job->tmp_name && std::strcmp(job->new_path, job->path) == 0;
    // Without a backup the split-off sides must be safe before the file is overwritten.
    if (over_original && job->entry != 0 && !split_surplus(job)) {
        job_describe(job, "left unchanged");
        return false;
    }
    if (over_original) {
        if (!rewrite_over_original(job))
            return false;
    } else if (!write_new_file(job)) {
        return false;
    }
    job->rewritten = true;
    char reasons[64];
    reasons_in_words(job->reasons, reasons, sizeof reasons);
    if (job->bak_path[0] != '\0')
        job_describe(job, "normalised for %s (original in %s)", reasons, job->bak_path);
    else
        job_describe(job, "normalised for %s as %s", reasons, job->new_path);
    return true;
}

bool split_surplus(image_job *job)
{
    job->split_done = true;
    int surplus = job->sides - job->retained;
    if (surplus <= 0)
        return true;
    job->outcome |= outcome_split;
    char name[32];
    std::FILE *f = open_temp_image(name);
    if (f == nullptr) {
        ui_message(false, "Cannot open temp file", "Vormlin");
        job_describe(job, "no temporary image for %d surplus side(s)", surplus);
        return false;
    }
    std::size_t from = job->first_side + static_cast<std::size_t>(job->retained) * fds::side_size;
    bool data_ok = write_sides(f, job, from, static_cast<std::size_t>(surplus));
    if (!finish_file(f) || !data_ok) {
        ui_message(false, "fwrite() error", "Vormlin");
        plat_remove_own_file(name);
        job_describe(job, "%d surplus side(s) could not be written to %s", surplus, name);
        return false;
    }
    job->split_written = true;
    job_describe(job, "%d surplus side(s) split off into %s", surplus, name);
    return true;
}
