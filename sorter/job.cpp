// The account of one file's pass through the sorter.
#include "job.h"

#include "path.h"
#include "ui.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

std::size_t job_dir_length(const image_job *job)
{
    return path_dir_length(job->path);
}

void job_describe(image_job *job, const char *format, ...)
{
    std::size_t used = std::strlen(job->what);
    if (used + 3 >= sizeof job->what)
        return;
    if (used > 0) {
        std::memcpy(job->what + used, "; ", 3);
        used += 2;
    }
    va_list args;
    va_start(args, format);
    std::vsnprintf(job->what + used, sizeof job->what - used, format, args);
    va_end(args);
}

void job_alert(const image_job *job, const char *text)
{
    if (!job->ahead)
        ui_message(false, text, "Vormlin");
}
