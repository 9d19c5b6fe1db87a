// The file work of one sort as the plain loop (plainloop.cpp) replays it, derived by comparing
// the tree a sorter left with the files it started from, matched by their bytes.
#pragma once

#include <string>
#include <vector>

// Writes to plan_path the plan that turns a directory holding copies of the files inputs
// (paths; each lands under its file name) into the tree under sorted_dir: every input read
// once; the subdirectories made; each file of the tree either an input renamed to its path
// (or left where it was) or new bytes written under a hidden name and renamed into place.
// False, with a message in *error, when the tree cannot be derived from the inputs.
bool write_work_plan(const std::vector<std::string> &inputs, const std::string &sorted_dir,
                     const std::string &plan_path, std::string *error);

// Whether the trees under a and b hold the same files with the same bytes; the first
// difference in *difference otherwise.
bool same_tree(const std::string &a, const std::string &b, std::string *difference);
