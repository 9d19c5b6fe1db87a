// The dumper's command line: options and the split of file arguments.
#pragma once

#include <string>
#include <string_view>

// Applies the options at the front of argv[1..argc) to info_level and crc_output and returns
// the index of the first argument that is not an option (argc when there is none). Only an
// option's second character counts; unknown letters are ignored.
int apply_options(int argc, const char *const *argv);

// Splits a file argument at its last path separator: the directory keeps the separator;
// without one the directory is empty and the whole argument is the file name.
void split_file_argument(std::string_view argument, std::string *dir, std::string *name);
