// The limits on names and paths, in bytes of their UTF-8 text. Every buffer that holds one is
// sized from these; a name or path longer than its limit is refused, never cut.
#pragma once

#include <cstddef>

// A file's path: the directory text and the file name.
inline constexpr std::size_t path_max = 259;
// Where a move may put a file: its subdirectory and new name included.
inline constexpr std::size_t target_path_max = 255;
// The directory to sort, as the dialog's field or the command line gives it.
inline constexpr std::size_t directory_text_max = 254;
// The current directory, as fetched: generous, so that any directory the system can name fits.
inline constexpr std::size_t current_dir_max = 4095;
// A name a directory search reports: any name the system stores (255 UTF-16 units on Windows
// are up to 765 bytes of UTF-8), so that a name too long for a path is seen and refused.
inline constexpr std::size_t entry_name_max = 1023;

// Buffers for them, terminator included.
inline constexpr std::size_t path_buffer_size = path_max + 1;
inline constexpr std::size_t target_buffer_size = target_path_max + 1;
inline constexpr std::size_t directory_buffer_size = directory_text_max + 1;
inline constexpr std::size_t current_dir_buffer_size = current_dir_max + 1;
inline constexpr std::size_t entry_name_buffer_size = entry_name_max + 1;
