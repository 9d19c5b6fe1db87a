// Placing a file into the subdirectory its identification decides.
#pragma once

#include "job.h"

// A file without a disk side: into rom when it begins like a cartridge image, else into bad.
void place_sideless(image_job *job);

// An identified image: complete ones into ren (or dupes when ren holds the name) under their
// catalogue name, tagged with each differing file; partial ones into parts.
void place_identified(image_job *job);
