// Moving files into the outcome subdirectories beside them, never over an existing file.
#include "subdir_move.h"

#include "name_limits.h"
#include "path.h"
#include "vfs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

static constexpr int numbered_attempts = 10; // the digits 0 .. 9

// What a sort has learnt about its outcome subdirectories, so that a move costs one call to
// the file system where it would cost up to a dozen (every copy of a game after the first
// was refused by ren, then by each numbered name of dupes taken before it). Only facts seen
// are kept: a directory that was there, a target that a move filled or that held an entry
// when a move was refused. Should a directory go away behind the sort's back, the first
// move into it that fails makes it again.
struct placement_memory {
    std::vector<std::string> directories;
    std::unordered_set<std::string> taken;
};
static placement_memory memory;
static constexpr std::size_t taken_remembered_max = 1 << 14; // under 2 MiB

void subdir_moves_forget()
{
    memory = placement_memory{};
}

static bool known_directory(const char *dir)
{
    return std::find(memory.directories.begin(), memory.directories.end(), dir) !=
           memory.directories.end();
}

static void remember_taken(const char *target)
{
    if (memory.taken.size() < taken_remembered_max)
        memory.taken.emplace(target);
}

static bool known_taken(const char *target)
{
    return memory.taken.count(target) != 0;
}

// Appends len bytes of text to the terminated text in buf; false (buf unchanged) when the
// result would not fit in size bytes.
static bool append(char *buf, std::size_t size, const char *text, std::size_t len)
{
    std::size_t used = std::strlen(buf);
    if (len >= size - used)
        return false;
    std::memcpy(buf + used, text, len);
    buf[used + len] = '\0';
    return true;
}

static bool append(char *buf, std::size_t size, const char *text)
{
    return append(buf, size, text, std::strlen(text));
}

static bool same_ignoring_case(const char *a, const char *b)
{
    for (; *a != '\0' && *b != '\0'; a++, b++) {
        if (std::toupper(static_cast<unsigned char>(*a)) !=
            std::toupper(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

// Gives the target's file name the source's extension when the two differ other than in
// case. Only file-name parts count, so a "." in a directory name is never cut into. A name
// without "." is left as it is. False when the result does not fit.
static bool keep_source_extension(const char *source, char (&target)[target_buffer_size])
{
    const char *source_dot = std::strrchr(path_file_part(source), '.');
    char *target_dot = std::strrchr(const_cast<char *>(path_file_part(target)), '.');
    if (source_dot == nullptr || target_dot == nullptr ||
        same_ignoring_case(source_dot, target_dot))
        return true;
    char kept[target_buffer_size];
    std::memcpy(kept, target, static_cast<std::size_t>(target_dot - target) + 1);
    kept[target_dot - target] = '\0';
    if (!append(kept, sizeof kept, source_dot))
        return false;
    std::memcpy(target, kept, std::strlen(kept) + 1);
    return true;
}

// The directory part of path (ending in the separator; "." and the separator when path has
// none), then subdir and a separator when given. False when it does not fit.
static bool start_target(const char *path, const char *subdir, char *target, std::size_t size)
{
    target[0] = '\0';
    const char *name = path_file_part(path);
    const char sep[2] = {plat_sep, '\0'};
    bool fits = name != path ? append(target, size, path, static_cast<std::size_t>(name - path))
                             : append(target, size, ".") && append(target, size, sep);
    if (fits && subdir != nullptr)
        fits = append(target, size, subdir) && append(target, size, sep);
    return fits;
}

// Makes sure the directory that target (ending in its file name) lies in exists. Any entry
// of that name, a plain file too, counts as there; so does one seen before, unless recheck.
static bool ensure_directory_of(char *target, bool recheck = false)
{
    char *name = const_cast<char *>(path_file_part(target));
    char saved = name[-1];
    name[-1] = '\0';
    bool known = known_directory(target);
    bool ok = (known && !recheck) || vfs->entry_exists(target) || vfs->make_dir(target) == 0;
    if (ok && !known)
        memory.directories.emplace_back(target);
    else if (!ok && known)
        std::erase(memory.directories, std::string(target));
    name[-1] = saved;
    return ok;
}

// The target of a move of path into subdir under new_name (or its own name) before any
// numbering, with subdir made when missing. False when there is none.
static bool first_target(const char *path, const char *subdir, const char *new_name, unsigned flags,
                         char (&target)[target_buffer_size])
{
    if (path == nullptr || std::strlen(path) > path_max)
        return false;
    // A new name must stay inside the subdirectory: one plain name.
    const char *name = new_name != nullptr ? new_name : path_file_part(path);
    if (!plat_is_plain_name(name))
        return false;
    if (!start_target(path, subdir, target, sizeof target) || !append(target, sizeof target, name))
        return false;
    if ((flags & move_keep_ext) != 0 && !keep_source_extension(path, target))
        return false;
    return subdir == nullptr || ensure_directory_of(target);
}

// The numbered retry: the target's last character replaced by the attempt's digit.
static void number_target(char *target, int attempt)
{
    target[std::strlen(target) - 1] = static_cast<char>('0' + attempt);
}

// Moves path to target unless the target is known to be taken. A target that refuses the
// move is learnt as taken when an entry holds it; when none does, its directory may have gone
// since it was seen, so the directory is made again if need be and the move tried once more.
static int move_unless_taken(const char *path, char *target)
{
    if (known_taken(target))
        return move_failed;
    bool moved = vfs->move_noreplace(path, target) == 0;
    bool held = moved || vfs->entry_exists(target);
    if (!held) {
        moved = ensure_directory_of(target, true) && vfs->move_noreplace(path, target) == 0;
        held = moved;
    }
    if (held)
        remember_taken(target);
    return moved ? 0 : move_failed;
}

static int move_to_numbered_name(const char *path, char *target)
{
    for (int attempt = 0; attempt < numbered_attempts; attempt++) {
        number_target(target, attempt);
        if (move_unless_taken(path, target) == 0)
            return 0;
    }
    return move_failed;
}

int free_target_in_subdir(const char *path, const char *subdir, unsigned flags, char *target,
                          std::size_t size)
{
    char t[target_buffer_size];
    if (!first_target(path, subdir, nullptr, flags, t))
        return move_failed;
    for (int attempt = 0; vfs->entry_exists(t); attempt++) {
        if ((flags & move_numbered) == 0 || attempt >= numbered_attempts)
            return move_failed;
        number_target(t, attempt);
    }
    if (std::strlen(t) >= size)
        return move_failed;
    std::memcpy(target, t, std::strlen(t) + 1);
    return 0;
}

int move_to_subdir_landed(const char *path, const char *subdir, const char *new_name,
                          unsigned flags, char *landed, std::size_t landed_size)
{
    char target[target_buffer_size];
    if (!first_target(path, subdir, new_name, flags, target))
        return move_failed;
    if (move_unless_taken(path, target) != 0 &&
        ((flags & move_numbered) == 0 || move_to_numbered_name(path, target) != 0))
        return move_failed;
    if (landed != nullptr && landed_size > 0) {
        std::size_t n = std::min(std::strlen(target), landed_size - 1);
        std::memcpy(landed, target, n);
        landed[n] = '\0';
    }
    return 0;
}

int move_to_subdir(const char *path, const char *subdir, const char *new_name, unsigned flags)
{
    return move_to_subdir_landed(path, subdir, new_name, flags, nullptr, 0);
}
