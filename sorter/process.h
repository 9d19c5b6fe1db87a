// The sorter's per-file step: read, classify, normalise, identify, split and place an image.
#pragma once

#include "job.h" // the outcome word's bits

// Processes the file name in dir (ending in the separator, or nullptr). Returns the
// outcome word.
unsigned process_image(const char *name, const char *dir, unsigned options);
