// Moving files into the outcome subdirectories (bak, ren, dupes, parts, bad, rom).
#pragma once

#include <cstddef>

inline constexpr int move_failed = -1;

// Flags of a move.
inline constexpr unsigned move_numbered = 0x1; // on failure, retry with the last character
                                               // of the name replaced by 0 .. 9
inline constexpr unsigned move_keep_ext = 0x2; // keep the source's extension when it differs
                                               // from the target's

// Starts a sort afresh: forgets which subdirectories and targets the moves before saw.
void subdir_moves_forget();

// Moves the file at path into subdir (created beside it when missing) under new_name or its
// own name, never over an existing file. 0 when moved.
int move_to_subdir(const char *path, const char *subdir, const char *new_name, unsigned flags);

// The target a move of path into subdir under its own name would land on: the first one no
// entry holds, of the plain name and (move_numbered) the numbered ones; subdir is made when
// missing. 0 with the path in target (size bytes); nonzero when none is free.
int free_target_in_subdir(const char *path, const char *subdir, unsigned flags, char *target,
                          std::size_t size);

// The same move; on success the path the file now has is stored into landed (landed_size
// bytes, cut to fit) so that a caller can move it back or tell the user where it went.
int move_to_subdir_landed(const char *path, const char *subdir, const char *new_name,
                          unsigned flags, char *landed, std::size_t landed_size);
