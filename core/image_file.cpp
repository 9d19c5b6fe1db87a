// Whole-file reads with every failure told apart, so callers can report each plainly.
#include "image_file.h"

#include "vfs.h"

#include <cstdio>
#include <new>

static read_result read_open_file(std::FILE *f, image_buffer *out)
{
    // The file goes straight into its buffer: a stream buffer would only add a copy, and
    // seeking to the end through one reads the file's last block for nothing.
    std::setvbuf(f, nullptr, _IONBF, 0);
    if (std::fseek(f, 0, SEEK_END) != 0)
        return read_size_unknown;
    long length = std::ftell(f);
    if (length < 0 || std::fseek(f, 0, SEEK_SET) != 0)
        return read_size_unknown;
    auto size = static_cast<std::size_t>(length);
    // One spare byte keeps the buffer non-empty for an empty file.
    out->bytes.reset(new (std::nothrow) std::uint8_t[size + 1]);
    if (out->bytes == nullptr)
        return read_no_memory;
    out->size = size;
    if (size > 0 && std::fread(out->bytes.get(), 1, size, f) != size)
        return read_short;
    return read_ok;
}

read_result read_image_file(const char *path, image_buffer *out)
{
    out->bytes.reset();
    out->size = 0;
    std::FILE *f = vfs->open_for_reading(path);
    if (f == nullptr)
        return read_open_failed;
    read_result r = read_open_file(f, out);
    std::fclose(f);
    if (r != read_ok) {
        out->bytes.reset();
        out->size = 0;
    }
    return r;
}
