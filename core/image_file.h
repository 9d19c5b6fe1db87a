// Reading an image file whole into one buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct image_buffer {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
    const std::uint8_t *begin() const { return bytes.get(); }
    const std::uint8_t *end() const { return bytes.get() + size; }
};

enum read_result {
    read_ok = 0,
    read_open_failed,  // not there, not a plain file, or not readable
    read_size_unknown, // the length could not be taken
    read_no_memory,    // the file does not fit in memory
    read_short,        // fewer bytes came than the length promised
};

// Reads the file at path whole with one read. On success out holds exactly its bytes.
read_result read_image_file(const char *path, image_buffer *out);
