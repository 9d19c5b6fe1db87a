// Splitting off the sides that do not belong to the identified image into a temporary image,
// an ordinary .fds file of the current directory that a later scan sorts like any other.
#pragma once

#include "job.h"

#include <cstddef>
#include <string>
#include <vector>

// Writes the sides behind the retained ones into a hidden temporary image and plans its
// publication, as part of the job's change. True when there were none or all were written.
bool split_prepare(image_job *job);

// Publishes the temporary image split_prepare wrote, once the change is durable, and says
// what became of the split. True when there was nothing to split or it is published.
bool split_publish(image_job *job);

// Picks the next free "tmp%04u.fds" of the current directory, other than avoid and the names
// in planned, into name (room for temp_name_buffer_size characters). False when none is free.
bool choose_temp_name(char *name, std::size_t size, const char *avoid = "",
                      const std::vector<std::string> *planned = nullptr);

// The temporary-name counter; lives as long as the process.
extern int temp_counter;
