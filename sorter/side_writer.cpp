// Whole sides, padded with zeros where the file ends early.
#include "side_writer.h"

#include "disk_layout.h"
#include "vfs.h"

#include <cstdint>

// Padding is written a side at a time: one system call where pieces of a page took sixteen.
// Never written to, and left out of the program file (a zero array that is not const).
static std::uint8_t zeros[fds::side_size];

bool write_bytes(image_writer *w, const std::uint8_t *bytes, std::size_t size)
{
    if (size == 0)
        return true;
    if (!vfs_write(w->f, bytes, size))
        return false;
    identity_add(&w->written, bytes, size);
    return true;
}

bool write_sides(image_writer *w, const image_job *job, std::size_t from, std::size_t count)
{
    std::size_t want = count * fds::side_size;
    std::size_t have = job->image.size > from ? job->image.size - from : 0;
    std::size_t piece = have < want ? have : want;
    if (!write_bytes(w, job->image.begin() + from, piece))
        return false;
    for (std::size_t left = want - piece; left > 0;) {
        std::size_t n = left < sizeof zeros ? left : sizeof zeros;
        if (!write_bytes(w, zeros, n))
            return false;
        left -= n;
    }
    return true;
}
