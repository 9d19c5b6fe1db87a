// Rewriting a file as its normalised image.
#pragma once

#include "job.h"

// Backs the file up into bak (unless it is a "tmp" file, rewritten in place), writes the
// normalised image in its place and, for an identified image, splits off its surplus sides.
// False when nothing usable was written: the change is then undone, or left to the next run
// when it could not be.
bool rewrite_image(image_job *job);

// The two halves of a rewrite, for changes planned ahead and made durable together:
// rewrite_plan writes the new files and the journal of every step, in slot (false, told and
// undone, when it cannot); once they are durable, rewrite_make makes the steps and the change
// stands (false, told and undone, when one fails).
bool rewrite_plan(image_job *job, int slot);
bool rewrite_make(image_job *job);

// Whether the names a change planned ahead for job chose are still the ones its turn would
// choose: the backup's name in bak, and the new image's name free.
bool rewrite_planned_is_current(const image_job *job);
