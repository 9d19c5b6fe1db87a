// Writing a new image into a file that the sorter creates, keeping the identity of what was
// written so that its journal can name it. The file's change makes it durable and closes it.
#pragma once

#include "job.h"
#include "journal.h"

#include <cstddef>

struct image_writer {
    vfs_file *f = nullptr;
    file_identity written; // of every byte accepted so far
};

// Writes size bytes; true when every one was accepted.
bool write_bytes(image_writer *w, const std::uint8_t *bytes, std::size_t size);

// Writes count sides of the image from the file offset from; the bytes the file lacks are
// written as zeros. True when every byte was accepted.
bool write_sides(image_writer *w, const image_job *job, std::size_t from, std::size_t count);
