// Splitting off surplus sides into temporary images "tmp%04u.fds" in the current directory.
#include "split.h"

#include "disk_layout.h"
#include "journal.h"
#include "side_writer.h"
#include "ui.h"
#include "vfs.h"

#include <cstring>

int temp_counter = 0;

static constexpr int temp_number_max = 9999;  // the last number a search may go on from
static constexpr int temp_wrap_above = 10000; // a counter above this starts again at 1

static void temp_name(char *buf, std::size_t size, int n)
{
    std::snprintf(buf, size, "tmp%04u.fds", static_cast<unsigned>(n));
}

// Any entry of the name counts as taken, so that no existing file is ever written over. The
// image is written under a hidden name and published under the free name once complete.
std::FILE *open_temp_image(char *name_out)
{
    int n = temp_counter;
    if (n > temp_wrap_above || n < 0)
        n = 1;
    temp_counter = n + 1;
    char name[32];
    temp_name(name, sizeof name, n);
    while (vfs->entry_exists(name)) {
        n = temp_counter;
        temp_counter = n + 1;
        if (temp_counter > temp_number_max)
            return nullptr;
        temp_name(name, sizeof name, n);
    }
    if (journal_note(step_new, hidden_split_name) != 0)
        return nullptr;
    std::FILE *f = vfs->create_new(hidden_split_name);
    if (f != nullptr && name_out != nullptr)
        std::memcpy(name_out, name, std::strlen(name) + 1);
    return f;
}

int publish_temp_image(std::FILE *f, const char *name)
{
    if (!finish_file(f))
        return -1;
    if (journal_note(step_publish, hidden_split_name, name) != 0)
        return -1;
    return vfs->move_noreplace(hidden_split_name, name);
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
    if (!data_ok || publish_temp_image(f, name) != 0) {
        if (!data_ok)
            std::fclose(f);
        ui_message(false, "fwrite() error", "Vormlin");
        job_describe(job, "%d surplus side(s) could not be written to %s", surplus, name);
        return false;
    }
    job->split_written = true;
    job_describe(job, "%d surplus side(s) split off into %s", surplus, name);
    return true;
}
