// Splitting off the sides that do not belong to the identified image into a temporary image,
// an ordinary .fds file of the current directory that a later scan sorts like any other.
#pragma once

#include "job.h"

#include <cstdio>

// Writes the sides behind the retained ones into a temporary image. False when surplus sides
// exist and could not all be written there.
bool split_surplus(image_job *job);

// Picks the next free "tmp%04u.fds" of the current directory and opens a hidden file to
// write its image into (journalled), or nullptr. The name is stored into name_out (room for
// 32 characters) when given.
std::FILE *open_temp_image(char *name_out = nullptr);

// Closes f durably and publishes its image under name. 0 on success; otherwise nothing
// appears under name (the hidden file goes with the journal).
int publish_temp_image(std::FILE *f, const char *name);

// The temporary-name counter; lives as long as the process.
extern int temp_counter;
