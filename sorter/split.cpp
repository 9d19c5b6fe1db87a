// Splitting off surplus sides into temporary images "tmp%04u.fds" in the current directory:
// written under a hidden name and published under the free name once complete.
#include "split.h"

#include "disk_layout.h"
#include "side_writer.h"
#include "ui.h"
#include "vfs.h"

#include <cstdio>

int temp_counter = 0;

static constexpr int temp_number_max = 9999;  // the last number a search may go on from
static constexpr int temp_wrap_above = 10000; // a counter above this starts again at 1

static void temp_name(char *buf, std::size_t size, int n)
{
    std::snprintf(buf, size, "tmp%04u.fds", static_cast<unsigned>(n));
}

// Any entry of the name counts as taken, so that no existing file is ever written over.
bool choose_temp_name(char *name, std::size_t size)
{
    int n = temp_counter;
    if (n > temp_wrap_above || n < 0)
        n = 1;
    temp_counter = n + 1;
    temp_name(name, size, n);
    while (vfs->entry_exists(name)) {
        n = temp_counter;
        temp_counter = n + 1;
        if (temp_counter > temp_number_max)
            return false;
        temp_name(name, size, n);
    }
    return true;
}

// Writes the surplus sides into the temporary image and publishes it under name.
static bool write_temp_image(image_job *job, image_writer *w, const char *name, int surplus)
{
    std::size_t from = job->first_side + static_cast<std::size_t>(job->retained) * fds::side_size;
    bool written = write_sides(w, job, from, static_cast<std::size_t>(surplus));
    return finish_file(w) && written &&
           change_publish(&job->change, change_split, name, w->written) == 0;
}

bool split_surplus(image_job *job)
{
    int surplus = job->sides - job->retained;
    if (surplus <= 0)
        return true;
    job->outcome |= outcome_split;
    char name[32];
    image_writer w;
    if (choose_temp_name(name, sizeof name))
        w.f = change_create(&job->change, change_split);
    if (w.f == nullptr) {
        ui_message(false, "Cannot open temp file", "Vormlin");
        const std::string &why = job->change.problem;
        job_describe(job, "no temporary image for %d surplus side(s)%s%s", surplus,
                     why.empty() ? "" : ": ", why.c_str());
        return false;
    }
    if (!write_temp_image(job, &w, name, surplus)) {
        ui_message(false, "fwrite() error", "Vormlin");
        job_describe(job, "%d surplus side(s) could not be written to %s", surplus, name);
        return false;
    }
    job->split_written = true;
    job_describe(job, "%d surplus side(s) split off into %s", surplus, name);
    return true;
}
