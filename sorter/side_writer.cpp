// Whole sides, padded with zeros where the file ends early.
#include "side_writer.h"

#include "disk_layout.h"
#include "vfs.h"

#include <cstdint>

static constexpr std::size_t zero_chunk = 4096;

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
    static const std::uint8_t zeros[zero_chunk] = {};
    std::size_t want = count * fds::side_size;
    std::size_t have = job->image.size > from ? job->image.size - from : 0;
    std::size_t piece = have < want ? have : want;
    if (!write_bytes(w, job->image.begin() + from, piece))
        return false;
    for (std::size_t left = want - piece; left > 0;) {
        std::size_t n = left < zero_chunk ? left : zero_chunk;
        if (!write_bytes(w, zeros, n))
            return false;
        left -= n;
    }
    return true;
}
