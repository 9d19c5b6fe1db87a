// Moving files into the outcome subdirectories, and creating temporary images.
#pragma once

#include <cstddef>
#include <cstdio>

inline constexpr int move_failed = -1;

// Moves the file at path into subdir (created beside it when missing) under new_name or
// its own name. numbered: on failure retry with the last character replaced by 0 .. 9.
// keep_ext: keep the source's extension when it differs from the target's. 0 when moved.
int move_to_subdir(const char *path, const char *subdir, const char *new_name, bool numbered,
                   bool keep_ext);

// The same move; on success the path the file now has is stored into landed (landed_size
// bytes, cut to fit) so that a caller can move it back or tell the user where it went.
int move_to_subdir_landed(const char *path, const char *subdir, const char *new_name, bool numbered,
                          bool keep_ext, char *landed, std::size_t landed_size);

// Creates the next free "tmp%04u.fds" of the current directory for binary writing, or
// nullptr. The name is stored into name_out (room for 32 characters) when given.
std::FILE *open_temp_image(char *name_out = nullptr);

// The temporary-name counter; lives as long as the process.
extern int temp_counter;
