// Placing a file into the subdirectory its identification decides.
#pragma once

#include "job.h"

// Whether a file without a disk side begins like a cartridge image.
bool begins_like_cartridge(const image_buffer &image);

// A file without a disk side: into rom when it begins like a cartridge image, else into bad.
void place_sideless(image_job *job);

// An identified image: complete ones into ren (or dupes when ren holds the name) under their
// catalogue name, tagged with each differing file; partial ones into parts.
void place_identified(image_job *job);

// The catalogue name of entry, a first side, with the tag of each of its sides' differing
// files, into name; clears the tags. False when it would be longer than size.
bool tagged_catalogue_name(int entry, char *name, std::size_t size);
