// POSIX planning: while a run is previewed, its file-system changes go into the planned
// state of plan.h instead of onto the disk, and queries see that state over the real one.
#include "platform_posix_plan.h"
#include "plan.h"
#include "platform.h"
#include "wildcard.h"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

static std::string without_final_slashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

static std::string join_path(const std::string &dir, const std::string &name)
{
    return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

// The absolute form of a directory path, its symbolic links resolved as far as it exists,
// so that every spelling of one directory ("games/", "./games", the full path) gives one key.
static std::string canonical_dir(const std::string &path)
{
    std::string dir = without_final_slashes(path);
    if (char *real = realpath(dir.c_str(), nullptr)) {
        std::string out = real;
        std::free(real);
        return out;
    }
    std::string parent, name;
    split_path(dir.c_str(), &parent, &name);
    if (parent == dir || name.empty() || name == "." || name == "..")
        return dir;
    return join_path(canonical_dir(parent), name); // a directory the plan has made
}

// The key of an entry: its directory made canonical, its own name as it is (a symbolic
// link is an entry of its own, as for lstat).
static std::string plan_key(const std::string &path)
{
    std::string p = without_final_slashes(path);
    std::string dir, name;
    split_path(p.c_str(), &dir, &name);
    if (name.empty() || name == "." || name == "..")
        return canonical_dir(p);
    return join_path(canonical_dir(dir), name);
}

static std::string parent_of(const std::string &path)
{
    std::string dir, name;
    split_path(without_final_slashes(path).c_str(), &dir, &name);
    return dir;
}

entry_state planned_entry_state(const std::string &path)
{
    std::string key = plan_key(path);
    const plan_node *node = plan_lookup(key);
    if (node == nullptr)
        return real_entry_state(key);
    entry_state state;
    if (node->kind == plan_dir) {
        state.exists = state.directory = true;
    } else if (node->kind == plan_file) {
        state =
            node->blob != nullptr ? entry_state{true, true, false} : real_entry_state(node->origin);
        state.exists = true;
    }
    return state;
}

// Whether entries can be made in or taken from dir: a directory the plan has made, or a
// real one this process may write to.
static bool accepts_entries(const std::string &dir)
{
    std::string key = canonical_dir(dir);
    const plan_node *node = plan_lookup(key);
    if (node != nullptr)
        return node->kind == plan_dir;
    return real_entry_state(key).directory && access(key.c_str(), W_OK | X_OK) == 0;
}

// Whether an existing file may be opened for writing.
static bool may_write_over(const std::string &key)
{
    const plan_node *node = plan_lookup(key);
    if (node != nullptr && node->blob != nullptr)
        return true;
    return access(node != nullptr ? node->origin.c_str() : key.c_str(), W_OK) == 0;
}

std::string planned_dir_key(const std::string &dir)
{
    return canonical_dir(dir);
}

bool add_planned_names(const std::string &dir, const char *pattern, std::vector<std::string> *names)
{
    std::string key = canonical_dir(dir);
    for (const std::string &name : plan_names_in(key)) {
        if (wildcard_match(pattern, name.c_str()) &&
            std::find(names->begin(), names->end(), name) == names->end())
            names->push_back(name);
    }
    const plan_node *node = plan_lookup(key);
    return node != nullptr && node->kind == plan_dir;
}

int planned_make_dir(const char *path)
{
    if (planned_entry_state(path).exists || !accepts_entries(parent_of(path)))
        return -1;
    plan_node node;
    node.kind = plan_dir;
    plan_set(plan_key(path), node);
    return 0;
}

int planned_move(const char *from, const char *to, bool replace)
{
    entry_state source = planned_entry_state(from);
    entry_state target = planned_entry_state(to);
    if (!source.exists || (target.exists && (!replace || target.directory)) ||
        !accepts_entries(parent_of(from)) || !accepts_entries(parent_of(to)))
        return -1;
    std::string from_key = plan_key(from), to_key = plan_key(to);
    if (from_key == to_key)
        return 0;
    const plan_node *planned = plan_lookup(from_key);
    plan_node moved;
    if (planned != nullptr) {
        moved = *planned;
    } else {
        moved.kind = plan_file; // a real entry: its bytes stay where they are
        moved.origin = from_key;
    }
    plan_set(to_key, moved);
    plan_set(from_key, plan_node{});
    if (!replace)
        note_new_entry(to);
    return 0;
}

std::FILE *planned_create(const char *path, bool text)
{
    std::string key = plan_key(path);
    entry_state state = planned_entry_state(path);
    bool allowed = state.exists ? text && !state.directory && may_write_over(key)
                                : accepts_entries(parent_of(path));
    if (!allowed)
        return nullptr;
    plan_blob *blob = plan_new_blob();
    std::FILE *f = open_memstream(&blob->data, &blob->size);
    if (f == nullptr)
        return nullptr;
    plan_node node;
    node.kind = plan_file;
    node.blob = blob;
    plan_set(key, node);
    if (!text)
        note_new_entry(path);
    return f;
}

std::FILE *planned_open_for_reading(const char *path)
{
    const plan_node *node = plan_lookup(plan_key(path));
    if (node == nullptr)
        return real_open_for_reading(path);
    if (node->kind != plan_file)
        return nullptr;
    if (node->blob == nullptr)
        return real_open_for_reading(node->origin.c_str());
    if (node->blob->data == nullptr)
        return nullptr;
    return fmemopen(node->blob->data, node->blob->size, "rb");
}

int planned_remove(const char *path)
{
    entry_state state = planned_entry_state(path);
    if (!state.exists || state.directory || !accepts_entries(parent_of(path)))
        return -1;
    plan_set(plan_key(path), plan_node{});
    return 0;
}

int plat_plan_begin()
{
    plan_start();
    return 0;
}

void plat_plan_end()
{
    plan_stop();
}

bool plat_planned_bytes(const char *path, std::string *out)
{
    if (!plan_active())
        return false;
    const plan_node *node = plan_lookup(plan_key(path));
    if (node == nullptr || node->blob == nullptr || node->blob->data == nullptr)
        return false;
    out->assign(node->blob->data, node->blob->size);
    return true;
}
