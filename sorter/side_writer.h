// Writing whole disk sides of a job's image into a file that the sorter creates.
#pragma once

#include "job.h"

#include <cstddef>
#include <cstdio>

// Writes count sides of the image from the file offset from; the bytes the file lacks are
// written as zeros. True when every byte was accepted.
bool write_sides(std::FILE *f, const image_job *job, std::size_t from, std::size_t count);

// Makes what was written to f durable and closes it; false when any byte did not reach the
// file.
bool finish_file(std::FILE *f);
