// Splitting a path into its directory and entry name, with the platform's separator.
#pragma once

#include <string>

// Splits a path at its last separator into its directory ("." when it has none; the root
// keeps its separator) and its entry name.
void split_path(const char *path, std::string *dir, std::string *name);
