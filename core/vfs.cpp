// The real file-system table, and the directory walk every scan of both programs uses.
#include "vfs.h"

static void *real_find_first(const char *dir, const char *pattern, plat_entry *entry)
{
    return plat_find_first(dir, pattern, entry);
}

static bool real_find_next(void *search, plat_entry *entry)
{
    return plat_find_next(static_cast<plat_search *>(search), entry);
}

static void real_find_close(void *search)
{
    plat_find_close(static_cast<plat_search *>(search));
}

const vfs_ops vfs_real = {
    .find_first = real_find_first,
    .find_next = real_find_next,
    .find_close = real_find_close,
    .entry_exists = plat_entry_exists,
    .entry_state = plat_entry_state_of,
    .make_dir = plat_make_dir,
    .move_noreplace = plat_move_noreplace,
    .replace_file = plat_replace_file,
    .create_new = plat_create_new,
    .open_for_reading = plat_open_for_reading,
    .remove_own_file = plat_remove_own_file,
    .sync_file = plat_sync_file,
    .lock_dir = plat_lock_dir,
};

const vfs_ops *vfs = &vfs_real;

void vfs_walk(const char *dir, const char *pattern, vfs_visit visit, void *context)
{
    const vfs_ops *fs = vfs;
    plat_entry entry;
    void *search = fs->find_first(dir, pattern, &entry);
    if (search == nullptr)
        return;
    do {
        if (plat_entry_is_scanned(entry))
            visit(entry.name, dir, context);
    } while (fs->find_next(search, &entry));
    fs->find_close(search);
}
