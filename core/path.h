// Paths: the one place that splits them, with the platform's separator. Paths are UTF-8,
// whose multi-byte characters never hold a byte that could be taken for a separator.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The length of the directory part of path: up to and with its last separator; 0 when it
// has none.
std::size_t path_dir_length(std::string_view path);

// The file-name part of path: everything behind its last separator.
const char *path_file_part(const char *path);

// Splits a path at its last separator into its directory ("." when it has none; the root
// keeps its separator) and its entry name.
void split_path(const char *path, std::string *dir, std::string *name);
