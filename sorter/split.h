// Splitting off the sides that do not belong to the identified image into a temporary image,
// an ordinary .fds file of the current directory that a later scan sorts like any other.
#pragma once

#include "job.h"

#include <cstddef>

// Writes the sides behind the retained ones into a temporary image, as a step of the job's
// change. True when there were none or all were written there.
bool split_surplus(image_job *job);

// Picks the next free "tmp%04u.fds" of the current directory into name (room for 32
// characters). False when none is free.
bool choose_temp_name(char *name, std::size_t size);

// The temporary-name counter; lives as long as the process.
extern int temp_counter;
