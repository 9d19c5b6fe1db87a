// The file system as the programs see it: one table of every operation they perform on it.
// The real table calls the platform layer; the sorter's preview puts a table of its own in
// its place for a whole run, so that no operation needs to ask which one it is.
#pragma once

#include "platform.h"

#include <cstdio>
#include <string>

// The operations mean what their plat_ namesakes in platform.h mean. A search handle is
// whatever the table's find_first returned; only the same table's calls take it back.
struct vfs_ops {
    void *(*find_first)(const char *dir, const char *pattern, plat_entry *entry);
    bool (*find_next)(void *search, plat_entry *entry);
    void (*find_close)(void *search);
    bool (*entry_exists)(const char *path);
    plat_entry_state (*entry_state)(const char *path);
    int (*make_dir)(const char *path);
    int (*move_noreplace)(const char *from, const char *to);
    int (*replace_file)(const char *from, const char *to);
    std::FILE *(*create_new)(const char *path);
    std::FILE *(*open_for_reading)(const char *path);
    int (*remove_own_file)(const char *path);
    int (*sync_file)(std::FILE *f);
    plat_lock_result (*lock_dir)(const char *dir, plat_lock **out, std::string *why);
};

extern const vfs_ops vfs_real;

// The table in use: vfs_real unless a run has chosen another.
extern const vfs_ops *vfs;

// Calls visit(name, dir, context) for every entry of dir (empty or ending in the separator)
// that matches pattern and that a scan takes (plat_entry_is_scanned), in listing order.
using vfs_visit = void (*)(const char *name, const char *dir, void *context);
void vfs_walk(const char *dir, const char *pattern, vfs_visit visit, void *context);
