// Generated images for fuzzing: the known images whose catalogue identification is fuzzed
// against, and the seed inputs of each fuzz target. Nothing here comes from a real disk.
#pragma once

#include "fdsgen.h"

#include <string>
#include <utility>
#include <vector>

// Known-good images by file name; the dumper's lines for them form the fuzzing catalogue.
const std::vector<std::pair<std::string, bytes>> &fuzz_known_images();

// The catalogue text that the dumper writes for the known images.
std::string fuzz_known_catalogue();

// Seed inputs of a target ("side_report", "catalogue", "identify", "process", "recovery"), in
// the input form that target's entry point takes.
std::vector<bytes> fuzz_seed_inputs(const std::string &target);
