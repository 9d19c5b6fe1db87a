// Whole-file reads with every failure told apart, so callers can report each plainly.
#include "image_file.h"

#include "vfs.h"

#include <cstdint>
#include <new>

static read_result read_open_file(vfs_file *f, image_buffer *out)
{
    long long length = vfs_length(f);
    if (length < 0 || static_cast<unsigned long long>(length) >= SIZE_MAX)
        return read_size_unknown;
    auto size = static_cast<std::size_t>(length);
    // One spare byte keeps the buffer non-empty for an empty file.
    out->bytes.reset(new (std::nothrow) std::uint8_t[size + 1]);
    if (out->bytes == nullptr)
        return read_no_memory;
    out->size = size;
    if (size > 0 && vfs_read(f, out->bytes.get(), size) != size)
        return read_short;
    return read_ok;
}

read_result read_image_file(const char *path, image_buffer *out)
{
    out->bytes.reset();
    out->size = 0;
    vfs_file *f = vfs->open_for_reading(path);
    if (f == nullptr)
        return read_open_failed;
    read_result r = read_open_file(f, out);
    vfs_close(f);
    if (r != read_ok) {
        out->bytes.reset();
        out->size = 0;
    }
    return r;
}
