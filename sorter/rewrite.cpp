// Rewriting a file as its normalised image (fwNES header unless asked not to, whole sides,
// zero padding) and splitting off its surplus sides, as one journalled change: the new image
// and the split-off sides are written under hidden names and made durable with the journal
// first; then the original is backed up into bak and the new files published, or, for a
// "tmp" file, the new image replaces it. A change that does not complete is undone: no
// incomplete image is ever left in the original's place.
#include "rewrite.h"

#include "batch.h"
#include "change.h"
#include "disk_layout.h"
#include "options.h"
#include "path.h"
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

static bool write_fwnes_header(image_writer *w, int sides)
{
    std::uint8_t header[fds::fwnes_header_size] = {};
    std::memcpy(header, fds::fwnes_magic, fds::fwnes_magic_size);
    header[fds::fwnes_side_count_offset] = static_cast<std::uint8_t>(sides);
    return write_bytes(w, header, sizeof header);
}

// The path with its file name's extension replaced by ".fds" (added when the name has none).
static bool make_new_path(image_job *job)
{
    const char *dot = std::strrchr(path_file_part(job->path), '.');
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
static bool write_normalised(image_job *job, image_writer *w)
{
    int sides = job->entry != 0 ? job->retained : job->sides;
    bool header_ok = (job->options & opt_no_fwnes_header) != 0 || write_fwnes_header(w, sides);
    if (!header_ok)
        job->outcome |= outcome_header_write_failed;
    bool data_ok =
        header_ok && write_sides(w, job, job->first_side, static_cast<std::size_t>(sides));
    return data_ok;
}

// The normalised image is in place: said so, with why.
static void tell_normalised(image_job *job)
{
    job->rewritten = true;
    char reasons[64];
    reasons_in_words(job->reasons, reasons, sizeof reasons);
    if (job->bak_path[0] != '\0')
        job_describe(job, "normalised for %s (original in %s)", reasons, job->bak_path);
    else
        job_describe(job, "normalised for %s as %s", reasons, job->new_path);
}

// The new image could not be had: said so, with the part of it that failed.
static bool not_written(image_job *job, const char *what)
{
    job->outcome |= outcome_not_written;
    job_describe(job, "%s could not be %s", job->new_path, what);
    return false;
}

// Writes the normalised image into its hidden file, which scans pass over: no one ever sees
// a part of it under its own name. *written is what it holds. False (and the fwrite()
// message) when not all of it was written.
static bool write_hidden_image(image_job *job, file_identity *written)
{
    image_writer w;
    w.f = change_create(&job->change, change_image);
    if (w.f == nullptr)
        return not_written(job, "created");
    if (!write_normalised(job, &w)) {
        job_alert(job, "fwrite() error");
        return not_written(job, "written");
    }
    *written = w.written;
    return true;
}

static bool in_place(const image_job *job)
{
    return job->tmp_name && std::strcmp(job->new_path, job->path) == 0;
}

// A "tmp" file rewritten over itself has no backup: its surplus sides are split off first,
// and the finished image then replaces it in one step.
static bool plan_in_place(image_job *job)
{
    file_identity written;
    if (job->entry != 0 && !split_prepare(job))
        return split_publish(job); // nothing to publish: it says why the split failed
    if (!write_hidden_image(job, &written))
        return false;
    if (change_plan_replace(&job->change, job->name, written) != 0)
        return not_written(job, "replaced");
    return true;
}

static bool make_in_place(image_job *job)
{
    if (!split_publish(job))
        return false;
    if (change_replace(&job->change) != 0)
        return not_written(job, "replaced");
    tell_normalised(job);
    return true;
}

// Plans the original's move into bak under its own name (numbered when taken), the change's
// first step.
static bool plan_back_up(image_job *job)
{
    job->outcome = job->reasons;
    if (free_target_in_subdir(job->path, backup_dir_name, move_numbered, job->backup_target,
                              sizeof job->backup_target) == 0 &&
        change_plan_back_up(&job->change, job->name, path_file_part(job->backup_target),
                            job->original) == 0)
        return true;
    job_describe(job, "backup into bak failed");
    return false;
}

// Whether the name the new image takes is free, or will be once the original is in bak: it
// may be the original's own name in another spelling (case on Windows).
static bool new_name_free(const image_job *job)
{
    return std::strcmp(job->new_path, job->path) == 0 || !vfs->entry_exists(job->new_path) ||
           plat_same_dir(job->new_path, job->path);
}

// Any other file: its normalised image (and its surplus sides) written, to be made durable
// before the original is backed up (unless it is a "tmp" file) and the image published.
static bool plan_written(image_job *job)
{
    file_identity written;
    if (!job->tmp_name && !plan_back_up(job))
        return false;
    // A taken name is never tried: the image could not be published there.
    if (!new_name_free(job))
        return not_written(job, "created");
    if (!write_hidden_image(job, &written))
        return false;
    if (change_plan_publish(&job->change, change_image, path_file_part(job->new_path), written) !=
        0)
        return not_written(job, "created");
    if (job->entry != 0)
        split_prepare(job);
    return true;
}

// The original into bak, the image under the new name, then the temporary image. A failed
// split does not undo the rest: the sides are still in the original in bak.
static bool make_written(image_job *job)
{
    if (!job->tmp_name) {
        if (change_back_up(&job->change) != 0) {
            job_describe(job, "backup into bak failed");
            return false;
        }
        std::memcpy(job->bak_path, job->backup_target, sizeof job->bak_path);
    }
    if (change_publish(&job->change, change_image) != 0)
        return not_written(job, "created");
    tell_normalised(job);
    split_publish(job);
    return true;
}

// Undoes what the failed change had made, as the next run would; what it left is told.
static void undo(image_job *job)
{
    std::string failure;
    bool undone = change_undo(&job->change, &failure);
    if (!undone)
        job_describe(job, "%s; its journal stays for the next run", failure.c_str());
    else if (job->bak_path[0] != '\0')
        job_describe(job, "original put back in place");
    else
        job_describe(job, "left unchanged");
}

// Starts the file's change; false, told, when its journal cannot be had.
static bool begin(image_job *job, int slot)
{
    std::string dir(job->path, job_dir_length(job));
    if (change_begin(&job->change, dir.c_str(), slot) == 0)
        return true;
    job->outcome = job->tmp_name ? job->outcome | outcome_not_written : job->reasons;
    job_describe(job, "%s: %s; left unchanged",
                 job->tmp_name ? "not rewritten" : "backup into bak failed",
                 job->change.problem.c_str());
    return false;
}

bool rewrite_plan(image_job *job, int slot)
{
    if (!make_new_path(job) || !begin(job, slot))
        return false;
    if (in_place(job) ? plan_in_place(job) : plan_written(job))
        return true;
    undo(job);
    return false;
}

bool rewrite_planned_is_current(const image_job *job)
{
    if (!in_place(job) && !new_name_free(job))
        return false;
    char target[target_buffer_size];
    return job->tmp_name || (free_target_in_subdir(job->path, backup_dir_name, move_numbered,
                                                   target, sizeof target) == 0 &&
                             std::strcmp(target, job->backup_target) == 0);
}

bool rewrite_make(image_job *job)
{
    if (!(in_place(job) ? make_in_place(job) : make_written(job))) {
        undo(job);
        return false;
    }
    change_commit(&job->change);
    return true;
}

// The sync failed: nothing was renamed, and the change is undone.
static bool not_durable(image_job *job)
{
    job_alert(job, "fwrite() error");
    not_written(job, "written");
    undo(job);
    return false;
}

// The change planned and durable: ahead of its turn, or now with the changes of the files
// after it. False, told and undone, when it could not be.
static bool plan_durable(image_job *job)
{
    if (adopt_planned_change(job))
        return true;
    if (!rewrite_plan(job, 0))
        return false;
    return batch_make_durable(job) == 0 || not_durable(job);
}

bool rewrite_image(image_job *job)
{
    if (!make_new_path(job) || !plan_durable(job))
        return false;
    return rewrite_make(job);
}
