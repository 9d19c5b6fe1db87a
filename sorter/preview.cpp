// The preview table: the planned state of a previewed run, a map from absolute path to what
// the run has put there (or taken away), layered over the real file system, which is only
// ever read.
#include "preview.h"

#include "listing.h"
#include "path.h"
#include "vfs.h"
#include "wildcard.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

enum plan_kind { plan_absent, plan_dir, plan_file };

// Bytes a planned file was written with. data is malloc'd (a memory stream owns it while the
// file is open) and freed when the plan is forgotten.
struct plan_blob {
    char *data = nullptr;
    std::size_t size = 0;
    ~plan_blob() { std::free(data); }
};

struct plan_node {
    plan_kind kind = plan_absent;
    plan_blob *blob = nullptr; // a file the plan wrote
    std::string origin;        // a file moved by the plan: where its bytes really are
};

// An open search: the real matches and the planned ones, in listing order.
struct preview_search {
    std::string dir;
    std::string key; // the directory's key, which tells it apart from every other
    std::string pattern;
    name_listing listing;
};

std::map<std::string, plan_node> nodes;
std::vector<std::unique_ptr<plan_blob>> blobs;
std::vector<preview_search *> open_searches;

const plan_node *lookup(const std::string &key)
{
    auto it = nodes.find(key);
    return it != nodes.end() ? &it->second : nullptr;
}

std::string without_final_slashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string join_path(const std::string &dir, const std::string &name)
{
    return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

// The absolute form of a directory path, its symbolic links resolved as far as it exists,
// so that every spelling of one directory ("games/", "./games", the full path) gives one key.
std::string canonical_dir(const std::string &path)
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

// The key of an entry: its directory made canonical, its own name as it is (a symbolic link
// is an entry of its own, as for lstat).
std::string key_of(const std::string &path)
{
    std::string p = without_final_slashes(path);
    std::string dir, name;
    split_path(p.c_str(), &dir, &name);
    if (name.empty() || name == "." || name == "..")
        return canonical_dir(p);
    return join_path(canonical_dir(dir), name);
}

std::string parent_of(const std::string &path)
{
    std::string dir, name;
    split_path(without_final_slashes(path).c_str(), &dir, &name);
    return dir;
}

plat_entry_state state_at(const std::string &path)
{
    std::string key = key_of(path);
    const plan_node *node = lookup(key);
    if (node == nullptr)
        return plat_entry_state_of(key.c_str());
    plat_entry_state state;
    if (node->kind == plan_dir) {
        state.exists = state.directory = true;
    } else if (node->kind == plan_file) {
        state = node->blob != nullptr ? plat_entry_state{true, true, false}
                                      : plat_entry_state_of(node->origin.c_str());
        state.exists = true;
    }
    return state;
}

// Whether entries can be made in or taken from dir: a directory the plan has made, or a real
// one this process may write to.
bool accepts_entries(const std::string &dir)
{
    std::string key = canonical_dir(dir);
    const plan_node *node = lookup(key);
    if (node != nullptr)
        return node->kind == plan_dir;
    return plat_entry_state_of(key.c_str()).directory && access(key.c_str(), W_OK | X_OK) == 0;
}

// A file appeared at path: open searches of its directory that have not passed it take it.
void note_new_entry(const std::string &path)
{
    std::string dir, name;
    split_path(path.c_str(), &dir, &name);
    std::string key = canonical_dir(dir);
    for (preview_search *s : open_searches) {
        if (s->key == key && wildcard_match(s->pattern.c_str(), name.c_str()))
            listing_note(&s->listing, name);
    }
}

void add_real_names(preview_search *s)
{
    plat_entry entry;
    plat_search *real = plat_find_first(s->dir.c_str(), s->pattern.c_str(), &entry);
    if (real == nullptr)
        return;
    do {
        s->listing.names.emplace_back(entry.name);
    } while (plat_find_next(real, &entry));
    plat_find_close(real);
}

// The names the plan has made in the search's directory.
void add_planned_names(preview_search *s)
{
    std::string prefix = s->key.empty() || s->key.back() != '/' ? s->key + '/' : s->key;
    std::vector<std::string> &names = s->listing.names;
    for (auto it = nodes.lower_bound(prefix);
         it != nodes.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        std::string name = it->first.substr(prefix.size());
        if (it->second.kind != plan_absent && name.find('/') == std::string::npos &&
            wildcard_match(s->pattern.c_str(), name.c_str()) &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
}

bool fill_entry(preview_search *s, plat_entry *entry)
{
    name_listing &listing = s->listing;
    while (listing.next < listing.names.size()) {
        const std::string &name = listing.names[listing.next++];
        plat_entry_state state = state_at(join_path(s->dir, name));
        if (!state.exists || name.size() > entry_name_max)
            continue;
        std::copy(name.c_str(), name.c_str() + name.size() + 1, entry->name);
        entry->plain_file = state.plain_file;
        return true;
    }
    return false;
}

void preview_find_close(void *search)
{
    auto *s = static_cast<preview_search *>(search);
    open_searches.erase(std::remove(open_searches.begin(), open_searches.end(), s),
                        open_searches.end());
    delete s;
}

void *preview_find_first(const char *dir, const char *pattern, plat_entry *entry)
{
    std::string d = dir == nullptr || dir[0] == '\0' ? std::string(".") : std::string(dir);
    auto *s = new preview_search{d, canonical_dir(d), pattern, {}};
    add_real_names(s);
    add_planned_names(s);
    listing_sort(&s->listing);
    open_searches.push_back(s);
    if (!fill_entry(s, entry)) {
        preview_find_close(s);
        return nullptr;
    }
    return s;
}

bool preview_find_next(void *search, plat_entry *entry)
{
    return search != nullptr && fill_entry(static_cast<preview_search *>(search), entry);
}

bool preview_entry_exists(const char *path)
{
    return state_at(path).exists;
}

plat_entry_state preview_entry_state(const char *path)
{
    return state_at(path);
}

// Nothing planned is on a disk: flushing into the memory streams is all there is to do.
int preview_sync_together(vfs_file *const *files, std::size_t count)
{
    int result = 0;
    for (std::size_t i = 0; i < count; i++)
        result |= vfs_sync(files[i]);
    return result;
}

int preview_make_dir(const char *path)
{
    if (state_at(path).exists || !accepts_entries(parent_of(path)))
        return -1;
    plan_node node;
    node.kind = plan_dir;
    nodes[key_of(path)] = node;
    return 0;
}

// replace: the target may be a file, which it replaces; otherwise it must not exist.
int planned_move(const char *from, const char *to, bool replace)
{
    plat_entry_state source = state_at(from);
    plat_entry_state target = state_at(to);
    if (!source.exists || (target.exists && (!replace || target.directory)) ||
        !accepts_entries(parent_of(from)) || !accepts_entries(parent_of(to)))
        return -1;
    std::string from_key = key_of(from), to_key = key_of(to);
    if (from_key == to_key)
        return 0;
    const plan_node *planned = lookup(from_key);
    plan_node moved;
    if (planned != nullptr) {
        moved = *planned;
    } else {
        moved.kind = plan_file; // a real entry: its bytes stay where they are
        moved.origin = from_key;
    }
    nodes[to_key] = moved;
    nodes[from_key] = plan_node{};
    if (!replace)
        note_new_entry(to);
    return 0;
}

int preview_move_noreplace(const char *from, const char *to)
{
    return planned_move(from, to, false);
}

int preview_replace_file(const char *from, const char *to)
{
    return planned_move(from, to, true);
}

vfs_file *preview_create_new(const char *path)
{
    std::string key = key_of(path);
    if (state_at(path).exists || !accepts_entries(parent_of(path)))
        return nullptr;
    blobs.push_back(std::make_unique<plan_blob>());
    plan_blob *blob = blobs.back().get();
    vfs_file *f = vfs_stream_file(open_memstream(&blob->data, &blob->size), false);
    if (f == nullptr)
        return nullptr;
    plan_node node;
    node.kind = plan_file;
    node.blob = blob;
    nodes[key] = node;
    note_new_entry(path);
    return f;
}

vfs_file *preview_open_for_reading(const char *path)
{
    const plan_node *node = lookup(key_of(path));
    if (node == nullptr)
        return vfs_stream_file(plat_open_for_reading(path), false);
    if (node->kind != plan_file)
        return nullptr;
    if (node->blob == nullptr)
        return vfs_stream_file(plat_open_for_reading(node->origin.c_str()), false);
    if (node->blob->data == nullptr)
        return nullptr;
    return vfs_stream_file(fmemopen(node->blob->data, node->blob->size, "rb"), false);
}

int preview_remove_own_file(const char *path)
{
    plat_entry_state state = state_at(path);
    if (!state.exists || state.directory || !accepts_entries(parent_of(path)))
        return -1;
    nodes[key_of(path)] = plan_node{};
    return 0;
}

// A directory the plan has made exists nowhere else, so no other run can reach it: it needs
// no lock. A real one is locked for real, as the run it previews would lock it.
plat_lock_result preview_lock_dir(const char *dir, plat_lock **out, std::string *why)
{
    std::string d = dir == nullptr || dir[0] == '\0' ? std::string(".") : std::string(dir);
    if (!plat_entry_state_of(d.c_str()).exists && state_at(d).directory) {
        *out = nullptr;
        return lock_taken;
    }
    return plat_lock_dir(dir, out, why);
}

const vfs_ops vfs_preview = {
    .find_first = preview_find_first,
    .find_next = preview_find_next,
    .find_close = preview_find_close,
    .entry_exists = preview_entry_exists,
    .entry_state = preview_entry_state,
    .make_dir = preview_make_dir,
    .move_noreplace = preview_move_noreplace,
    .replace_file = preview_replace_file,
    .create_new = preview_create_new,
    .open_for_reading = preview_open_for_reading,
    .remove_own_file = preview_remove_own_file,
    .sync_together = preview_sync_together,
    .lock_dir = preview_lock_dir,
};

void forget_plan()
{
    nodes.clear();
    blobs.clear();
}

} // namespace

int preview_begin()
{
    forget_plan();
    vfs = &vfs_preview;
    return 0;
}

void preview_end()
{
    vfs = &vfs_real;
    forget_plan();
}

bool preview_bytes(const char *path, std::string *out)
{
    if (vfs != &vfs_preview)
        return false;
    const plan_node *node = lookup(key_of(path));
    if (node == nullptr || node->blob == nullptr || node->blob->data == nullptr)
        return false;
    out->assign(node->blob->data, node->blob->size);
    return true;
}
