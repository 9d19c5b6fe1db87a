// The sorter's per-file step: read, classify, normalise, identify, split and place an image.
#pragma once

#include "job.h" // the outcome word's bits

#include <string>

// What became of a file, kept beyond the call: its path, its fate and the account -v prints.
struct file_outcome {
    std::string path;
    file_fate fate = fate_failed;
    std::string what;
};

// Processes the file name in dir (ending in the separator, or nullptr), tells the front end
// what became of it, and stores that into *out when given. Returns the outcome word.
unsigned process_image(const char *name, const char *dir, unsigned options,
                       file_outcome *out = nullptr);

// The first half of it, which changes nothing: reads the file name of dir into job (whose
// options are set), finds and counts its sides and, when it has any, decides whether it must
// be rewritten and identifies it. False when it could not be read.
bool analyse_image(image_job *job, const char *name, const char *dir);
