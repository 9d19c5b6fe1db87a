// The thin platform layer: every file-system operation the programs need, with one POSIX and
// one Win32 implementation chosen at link time. Paths are byte texts in the platform's form.
#pragma once

#include "name_limits.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Called first thing in each program's main. POSIX: ignores SIGXFSZ, so that a write beyond
// the file-size limit fails with an error the caller sees (and handles) instead of killing
// the program halfway through an image. Win32: nothing to do.
void plat_init();

// The program's arguments, its own name first, as UTF-8. Win32 takes them from the wide
// command line, so that a name outside the system's code page arrives whole; POSIX takes argv
// as it is.
std::vector<std::string> plat_arguments(int argc, char **argv);

// Writes UTF-8 text to stream (standard output or error, or any file): to a Windows console
// window as wide characters, so that every character shows; anywhere else (a file, a pipe, a
// POSIX terminal) as the bytes themselves.
void plat_write_text(std::FILE *stream, const char *text, std::size_t size);

// The path separator: "\" on Windows, "/" on POSIX.
extern const char plat_sep;

// The end of a line in the platform's text files: "\r\n" on Windows, "\n" on POSIX.
extern const char plat_line_end[];

struct plat_entry {
    char name[entry_name_buffer_size];
    bool plain_file; // not a directory (POSIX: a regular file, symbolic links followed)
};

// Whether a scan takes this entry: a plain file whose name does not begin with ".".
inline bool plat_entry_is_scanned(const plat_entry &entry)
{
    return entry.name[0] != '.' && entry.plain_file;
}

struct plat_search; // an open directory search

// Starts a search of the entries of dir (empty or ending in the separator) whose names match
// pattern ("*" any run of characters, "?" one character). Fills the first match into *entry;
// nullptr when nothing matches or dir cannot be listed. POSIX: names match case-insensitively
// and come in ascending order of their upper-cased ASCII letters, ties by byte order; a file
// that this program creates or moves into dir during the search is returned too when its name
// sorts after the entry returned last.
plat_search *plat_find_first(const char *dir, const char *pattern, plat_entry *entry);
// The next match; false at the end.
bool plat_find_next(plat_search *search, plat_entry *entry);
void plat_find_close(plat_search *search);

// Whether any entry (file or directory) of this path exists.
bool plat_entry_exists(const char *path);

struct plat_entry_state {
    bool exists = false;     // any entry (a dangling symbolic link too)
    bool plain_file = false; // not a directory (POSIX: a regular file, symbolic links followed)
    bool directory = false;  // a directory (POSIX: symbolic links followed)
    bool link = false;       // a symbolic link (Win32: a reparse point) itself
};

// What stands at path.
plat_entry_state plat_entry_state_of(const char *path);

// The current directory, without a final separator unless it is a root. 0 on success;
// nonzero when it cannot be fetched or does not fit in size bytes.
int plat_current_dir(char *buf, std::size_t size);

// Creates a directory. 0 on success.
int plat_make_dir(const char *path);

// Moves a file to a new path on the same volume, never replacing an existing file.
// 0 on success; nonzero when the target exists or the move fails (nothing moved then).
int plat_move_noreplace(const char *from, const char *to);

// Moves a file over another, replacing it in one step: readers see the old or the new file,
// never a mix or none (POSIX rename; Win32 MoveFileEx with replacing). 0 on success; on
// failure nothing changed.
int plat_replace_file(const char *from, const char *to);

// Creates a new file for binary writing; fails (nullptr) when the path exists already.
std::FILE *plat_create_new(const char *path);

// Opens an existing plain file for binary reading; nullptr for anything else (a directory,
// a device, a pipe), so that reading it can neither block nor wander. When length is given it
// receives the file's length, learnt with the same look that found it plain.
std::FILE *plat_open_for_reading(const char *path, long long *length = nullptr);

// Removes a file that this program has just created itself. 0 on success.
int plat_remove_own_file(const char *path);

// Flushes f and makes what was written to it durable (fsync; FlushFileBuffers), so that a
// power cut after the file is published cannot leave it empty. 0 on success.
int plat_sync_file(std::FILE *f);

// Flushes f and starts its file anew: what is written from here on is all it holds, once
// anything is. The file keeps its place on the disk: it is cut to one byte, which the next
// write covers, since freeing all of it costs a file system far more. 0 on success.
int plat_rewind_file(std::FILE *f);

// Flushes the count streams and makes what was written to them durable together, waiting for
// the disk as few times as the system allows: POSIX syncs the one file system they share once
// (syncfs), Win32 flushes each file. 0 on success.
int plat_sync_files(std::FILE *const *files, std::size_t count);

// Text written in the system's legacy ("ANSI") code page, as UTF-8. Win32 converts from the
// active code page (1252 on a Western Windows, 932 on a Japanese one); POSIX has no such code
// page and gives the bytes back as they are.
std::string plat_legacy_to_utf8(std::string_view text);

// Whether path names the same place from any current directory.
bool plat_is_absolute(const char *path);

// Whether name names an entry of the directory it is used in and nothing elsewhere: not
// empty, not "." or "..", no separator (Win32: neither "\\" nor "/", and no ":", which would
// name a drive or a stream).
bool plat_is_plain_name(const char *name);

// A lock on a directory that only one process holds at a time and that the system drops when
// the process ends, however it ends (POSIX flock; Win32 a named mutex).
struct plat_lock;
enum plat_lock_result { lock_taken, lock_busy, lock_unavailable };
// lock_taken with *out set; lock_busy when another process holds it; lock_unavailable when
// the directory cannot be locked, with the reason in *why when given ("Permission denied").
plat_lock_result plat_lock_dir(const char *dir, plat_lock **out, std::string *why = nullptr);
void plat_unlock_dir(plat_lock *lock);

// Whether the two paths name one directory, or one file (in another spelling).
bool plat_same_dir(const char *a, const char *b);
