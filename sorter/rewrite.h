// Rewriting a file as its normalised image.
#pragma once

#include "job.h"

// Backs the file up into bak (unless it is a "tmp" file, rewritten in place) and writes the
// normalised image in its place. False when nothing usable was written; the original is then
// back in its place.
bool rewrite_image(image_job *job);
