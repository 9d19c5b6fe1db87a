// Inside the POSIX platform layer: the planned versions of its file-system changes
// (platform_posix_plan.cpp) and the pieces of platform_posix.cpp they share.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct entry_state {
    bool exists = false;     // any entry (a dangling symbolic link too)
    bool plain_file = false; // a regular file, symbolic links followed
    bool directory = false;  // a directory, symbolic links followed
};

// platform_posix.cpp
entry_state real_entry_state(const std::string &path);
std::FILE *real_open_for_reading(const char *path);
// Splits a path at its last separator into its directory ("." when none) and entry name.
void split_path(const char *path, std::string *dir, std::string *name);
// A file appeared at path: every open search of its directory that has not yet passed its
// name will return it.
void note_new_entry(const char *path);

// platform_posix_plan.cpp: the same operations on the planned state.
entry_state planned_entry_state(const std::string &path);
// The key that tells a directory apart from every other while planning.
std::string planned_dir_key(const std::string &dir);
// Adds the names the plan has made in dir that match pattern; true when the plan holds dir
// as a directory it has made.
bool add_planned_names(const std::string &dir, const char *pattern,
                       std::vector<std::string> *names);
int planned_make_dir(const char *path);
// replace: the target may be a file, which it replaces; otherwise it must not exist.
int planned_move(const char *from, const char *to, bool replace);
// text: the file may exist and is emptied then; otherwise it must not exist.
std::FILE *planned_create(const char *path, bool text);
std::FILE *planned_open_for_reading(const char *path);
int planned_remove(const char *path);
