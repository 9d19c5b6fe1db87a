// Whole sides, padded with zeros where the file ends early.
#include "side_writer.h"

#include "disk_layout.h"
#include "vfs.h"

#include <cstdint>

static constexpr std::size_t zero_chunk = 4096;

bool write_sides(std::FILE *f, const image_job *job, std::size_t from, std::size_t count)
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

bool finish_file(std::FILE *f)
{
    bool ok = std::ferror(f) == 0 && vfs->sync_file(f) == 0;
    return std::fclose(f) == 0 && ok;
}
