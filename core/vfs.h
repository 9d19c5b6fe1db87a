// The file system as the programs see it: one table of every operation they perform on it,
// and a table of methods for each file it opens, so that every byte read, written, flushed
// and synced passes through the table that opened the file. The real table calls the
// platform layer; the sorter's preview, and the tests' recorders, put a table of their own in
// its place for a whole run, so that no operation needs to ask which one it is.
#pragma once

#include "platform.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// An open file. Each table's files begin with this, followed by whatever the table keeps.
struct vfs_file;

struct vfs_file_methods {
    // Up to size bytes into buf; fewer at the end of the file or on an error.
    std::size_t (*read)(vfs_file *f, void *buf, std::size_t size);
    // Appends size bytes; true when every one was taken.
    bool (*write)(vfs_file *f, const void *data, std::size_t size);
    // Hands what was written to the system: it survives the end of this process (a kill),
    // not a power cut. 0 on success.
    int (*flush)(vfs_file *f);
    // Makes what was written durable: it survives a power cut. 0 on success.
    int (*sync)(vfs_file *f);
    // The file's length in bytes, or -1.
    long long (*length)(vfs_file *f);
    // Starts the file anew: what is written from here on is all it holds, once anything is. A
    // change of its size, as ordered as a rename; the file keeps its place on the disk. 0 on
    // success.
    int (*rewind)(vfs_file *f);
    // Closes the file; 0 when every byte written reached the system and nothing failed.
    int (*close)(vfs_file *f);
};

struct vfs_file {
    const vfs_file_methods *methods;
};

inline std::size_t vfs_read(vfs_file *f, void *buf, std::size_t size)
{
    return f->methods->read(f, buf, size);
}
inline bool vfs_write(vfs_file *f, const void *data, std::size_t size)
{
    return f->methods->write(f, data, size);
}
inline bool vfs_write(vfs_file *f, const std::string &text)
{
    return f->methods->write(f, text.data(), text.size());
}
inline int vfs_flush(vfs_file *f)
{
    return f->methods->flush(f);
}
inline int vfs_sync(vfs_file *f)
{
    return f->methods->sync(f);
}
inline long long vfs_length(vfs_file *f)
{
    return f->methods->length(f);
}
inline int vfs_rewind(vfs_file *f)
{
    return f->methods->rewind(f);
}
inline int vfs_close(vfs_file *f)
{
    return f->methods->close(f);
}

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
    vfs_file *(*create_new)(const char *path);
    vfs_file *(*open_for_reading)(const char *path);
    int (*remove_own_file)(const char *path);
    // Makes what was written to the count files durable together, with as few waits for the
    // disk as the system allows (one syncfs where there is one). 0 on success.
    int (*sync_together)(vfs_file *const *files, std::size_t count);
    plat_lock_result (*lock_dir)(const char *dir, plat_lock **out, std::string *why);
};

extern const vfs_ops vfs_real;

// A file kept in a stdio stream, which it owns from here on; durable ones are synced through
// the platform layer, others only flushed (a memory stream). nullptr when stream is, or when
// no memory is left (the stream is then closed).
vfs_file *vfs_stream_file(std::FILE *stream, bool durable);

// The table in use: vfs_real unless a run has chosen another.
extern const vfs_ops *vfs;

// Calls visit(name, dir, context) for every entry of dir (empty or ending in the separator)
// that matches pattern and that a scan takes (plat_entry_is_scanned), in listing order.
using vfs_visit = void (*)(const char *name, const char *dir, void *context);
void vfs_walk(const char *dir, const char *pattern, vfs_visit visit, void *context);

// The names vfs_walk would visit, in its order.
std::vector<std::string> vfs_names(const char *dir, const char *pattern);
