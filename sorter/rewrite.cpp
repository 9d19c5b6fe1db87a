// Rewriting a file as its normalised image (fwNES header unless asked not to, whole sides,
// zero padding): the original is backed up into bak first, or, for a "tmp" file, replaced
// only once the new image is complete. A write that does not complete never leaves an
// incomplete image in the original's place: the original is put back.
#include "rewrite.h"

#include "disk_layout.h"
#include "journal.h"
#include "options.h"
#include "side_writer.h"
#include "split.h"
#include "subdir_move.h"
#include "ui.h"
#include "vfs.h"

#include <cstdio>
#include <cstring>

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

static bool write_fwnes_header(std::FILE *f, int sides)
{
    std::uint8_t header[fds::fwnes_header_size] = {};
    std::memcpy(header, fds::fwnes_magic, fds::fwnes_magic_size);
    header[fds::fwnes_side_count_offset] = static_cast<std::uint8_t>(sides);
    return std::fwrite(header, 1, sizeof header, f) == sizeof header;
}

// The path with its file name's extension replaced by ".fds" (added when the name has none).
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

// The header (unless the options ask for none) and the retained sides, or all counted sides
// of an unidentified image. True when all of it was written.
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
    else if (vfs->move_noreplace(job->bak_path, job->path) == 0)
        job_describe(job, "original put back in place");
    else
        job_describe(job, "original left in %s", job->bak_path);
}

// The normalised image is written under a name beside the original that scans skip, and
// made durable, before it is published: no one ever sees a part of it under its own name.
// The hidden file of a failed attempt goes with the journal (journal_end).
static std::FILE *create_hidden_image(image_job *job)
{
    std::snprintf(job->hidden_path, sizeof job->hidden_path, "%.*s%s",
                  static_cast<int>(job_dir_length(job)), job->path, hidden_image_name);
    if (journal_note(step_new, job->hidden_path) != 0)
        return nullptr;
    return vfs->create_new(job->hidden_path);
}

// Writes the normalised image into its hidden file. False (and the fwrite() message) when
// not all of it was written.
static bool write_hidden_image(image_job *job, std::FILE *f)
{
    if (write_normalised(job, f))
        return true;
    ui_message(false, "fwrite() error", "Vormlin");
    job->outcome |= outcome_not_written;
    return false;
}

// A "tmp" file rewritten over itself replaces the original in one step once the new image is
// complete, so neither a full disk nor a kill can ever leave half an image.
static bool rewrite_over_original(image_job *job)
{
    std::FILE *f = create_hidden_image(job);
    if (f == nullptr) {
        job->outcome |= outcome_not_written;
        job_describe(job, "%s could not be created; left unchanged", job->new_path);
        return false;
    }
    if (!write_hidden_image(job, f)) {
        job_describe(job, "%s could not be written; left unchanged", job->new_path);
        return false;
    }
    if (journal_note(step_replace, job->hidden_path, job->new_path) != 0 ||
        vfs->replace_file(job->hidden_path, job->new_path) != 0) {
        job->outcome |= outcome_not_written;
        job_describe(job, "%s could not be replaced; left unchanged", job->new_path);
        return false;
    }
    return true;
}

// A new file at new_path; on failure the original is back in its place.
static bool write_new_file(image_job *job)
{
    std::FILE *f = create_hidden_image(job);
    if (f != nullptr && !write_hidden_image(job, f)) {
        job_describe(job, "%s could not be written", job->new_path);
        put_original_back(job);
        return false;
    }
    if (f == nullptr || journal_note(step_publish, job->hidden_path, job->new_path) != 0 ||
        vfs->move_noreplace(job->hidden_path, job->new_path) != 0) {
        job->outcome |= outcome_not_written;
        job_describe(job, "%s could not be created", job->new_path);
        put_original_back(job);
        return false;
    }
    return true;
}

static bool back_up(image_job *job)
{
    job->outcome = job->reasons;
    if (move_to_subdir_landed(job->path, "bak", nullptr, move_numbered | move_journalled,
                              job->bak_path, sizeof job->bak_path) == 0)
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
