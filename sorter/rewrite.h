// Rewriting a file as its normalised image.
#pragma once

#include "job.h"

// Backs the file up into bak (unless it is a "tmp" file, rewritten in place), writes the
// normalised image in its place and, for an identified image, splits off its surplus sides.
// False when nothing usable was written: the change is then undone, or left to the next run
// when it could not be.
bool rewrite_image(image_job *job);
