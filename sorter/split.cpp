// Splitting off surplus sides into temporary images "tmp%04u.fds" in the current directory:
// written under a hidden name and published under the free name once the change is durable.
#include "split.h"

#include "disk_layout.h"
#include "path.h"
#include "side_writer.h"
#include "ui.h"

#include <cstdio>
#include <cstring>

int temp_counter = 0;

static constexpr int temp_number_max = 9999;  // the last number a search may go on from
static constexpr int temp_wrap_above = 10000; // a counter above this starts again at 1

static void temp_name(char *buf, std::size_t size, int n)
{
    std::snprintf(buf, size, "tmp%04u.fds", static_cast<unsigned>(n));
}

static bool taken(const char *name, const char *avoid, const std::vector<std::string> *planned)
{
    if (std::strcmp(name, avoid) == 0 || vfs->entry_exists(name))
        return true;
    if (planned == nullptr)
        return false;
    for (const std::string &p : *planned) {
        if (p == name)
            return true;
    }
    return false;
}

// Any entry of the name counts as taken, so that no existing file is ever written over.
bool choose_temp_name(char *name, std::size_t size, const char *avoid,
                      const std::vector<std::string> *planned)
{
    int n = temp_counter;
    if (n > temp_wrap_above || n < 0)
        n = 1;
    temp_counter = n + 1;
    temp_name(name, size, n);
    while (taken(name, avoid, planned)) {
        n = temp_counter;
        temp_counter = n + 1;
        if (temp_counter > temp_number_max)
            return false;
        temp_name(name, size, n);
    }
    return true;
}

static int surplus_of(const image_job *job)
{
    return job->sides - job->retained;
}

// The name the normalised image takes when it is published in the current directory, where
// the temporary image must not take it too.
static const char *image_name_here(const image_job *job)
{
    return job->change.temps_apart ? "" : path_file_part(job->new_path);
}

bool split_prepare(image_job *job)
{
    int surplus = surplus_of(job);
    if (surplus <= 0)
        return true;
    job->outcome |= outcome_split;
    image_writer w;
    if (choose_temp_name(job->temp_name, sizeof job->temp_name, image_name_here(job),
                         job->temps_planned))
        w.f = change_create(&job->change, change_split);
    if (w.f == nullptr) {
        job_alert(job, "Cannot open temp file");
        job->split = split_no_file;
        job->split_problem = job->change.problem;
        return false;
    }
    std::size_t from = job->first_side + static_cast<std::size_t>(job->retained) * fds::side_size;
    if (!write_sides(&w, job, from, static_cast<std::size_t>(surplus)) ||
        change_plan_publish(&job->change, change_split, job->temp_name, w.written) != 0) {
        job_alert(job, "fwrite() error");
        change_discard(&job->change, change_split);
        job->split = split_not_written;
        return false;
    }
    job->split = split_prepared;
    return true;
}

bool split_publish(image_job *job)
{
    int surplus = surplus_of(job);
    if (job->split == split_prepared && change_publish(&job->change, change_split) != 0) {
        job_alert(job, "fwrite() error");
        job->split = split_not_written;
    }
    switch (job->split) {
    case split_none:
        return true;
    case split_prepared:
        job->split_written = true;
        job_describe(job, "%d surplus side(s) split off into %s", surplus, job->temp_name);
        return true;
    case split_no_file:
        job_describe(job, "no temporary image for %d surplus side(s)%s%s", surplus,
                     job->split_problem.empty() ? "" : ": ", job->split_problem.c_str());
        return false;
    case split_not_written:
        job_describe(job, "%d surplus side(s) could not be written to %s", surplus, job->temp_name);
        return false;
    }
    return false;
}
