// The dumper's report on one disk image file: one line per disk side, by default the
// catalogue line that the sorter reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// Reports the image dir + file_name (dir ends in the separator, or is nullptr) on stdout,
// obeying info_level and crc_output. file_name becomes the image name of every line; a
// file_name holding ";", CR or LF is not reported, only warned about on stderr.
void side_report(const char *file_name, const char *dir);

// The same, printing to out.
void side_report_to(std::FILE *out, const char *file_name, const char *dir);

// The report on an image already in memory (size bytes at data), printed to out as if the
// file dir + file_name had held them; side_report_to uses it once the file is loaded.
void side_report_bytes(std::FILE *out, const char *file_name, const char *dir,
                       const std::uint8_t *data, std::size_t size);

// The image name of side index (from 1) of count: the file name itself for the first side;
// for later sides the name with the side tag " (IoC)" before its last "." (at its end when
// it has none), the part before the tag cut to 244 characters.
std::string image_name(std::string_view file_name, std::size_t index, std::size_t count);
