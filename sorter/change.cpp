// A file's change: every step written to its journal, names relative to the journal's
// directory, before one sync makes the journal and the new images durable together; then
// the steps, which are renames only. A kill or a power cut before that sync leaves no step
// made, only hidden files and a journal that may have lost its lines; after it, the journal
// names every step that may have been made. docs/safety.md says what each case leaves.
//
// During a scan the journals are kept from one change to the next: a change that stands cuts
// its journals to their first byte instead of removing them, since making and removing a file,
// or cutting one to nothing, for every change costs the file system far more than the change
// itself. That byte is the "v" every journal begins with, which a reader takes for a journal
// whose first line was cut short: it speaks of no step. The scan's end removes them.
#include "change.h"

#include "platform.h"
#include "recovery.h"

namespace {

enum journal_place { in_image_dir, in_current_dir };

struct kept_journal {
    std::string path;
    vfs_file *file = nullptr;
    bool spent = true; // speaks of no step: cut to its first byte since it was last written
};

bool keeping = false;
kept_journal kept[slot_count][2];

// The kept journal whose file f is, or nullptr.
kept_journal *kept_of(const vfs_file *f)
{
    for (auto &slot : kept) {
        for (kept_journal &k : slot) {
            if (f != nullptr && k.file == f)
                return &k;
        }
    }
    return nullptr;
}

// Closes a kept journal and forgets it; removed when it speaks of no step.
void release(kept_journal *k)
{
    if (k->file == nullptr)
        return;
    vfs_close(k->file);
    if (k->spent)
        vfs->remove_own_file(k->path.c_str());
    *k = kept_journal{};
}

// The journal file of dir's slot: the kept one when there is one, else a new one.
vfs_file *journal_file(const std::string &path, int slot, journal_place place, std::string *problem)
{
    kept_journal &k = kept[slot][place];
    if (keeping && k.file != nullptr && k.path == path)
        return k.file;
    release(&k);
    vfs_file *f = vfs->create_new(path.c_str());
    if (f == nullptr) {
        std::string kind = obstacle_kind(path.c_str());
        if (!kind.empty())
            kind = "is " + kind;
        else
            kind = vfs->entry_exists(path.c_str()) ? "is in the way" : "could not be created";
        *problem = path + " " + kind;
        return nullptr;
    }
    if (keeping)
        k = kept_journal{path, f};
    return f;
}

vfs_file *open_journal(const std::string &dir, int slot, journal_role role, const std::string &id,
                       std::string *problem)
{
    journal_place place = dir.empty() && role == role_temps ? in_current_dir : in_image_dir;
    std::string path = dir + slot_name(journal_file_name, slot);
    vfs_file *f = journal_file(path, slot, place, problem);
    kept_journal *k = kept_of(f);
    if (k != nullptr)
        k->spent = false;
    if (f == nullptr || vfs_write(f, journal_header(role, id)))
        return f;
    if (k != nullptr)
        *k = kept_journal{};
    vfs_close(f);
    vfs->remove_own_file(path.c_str());
    *problem = path + " could not be written";
    return nullptr;
}

// Done with a journal of the change: a kept one is cut to its first byte, any other closed
// (when it is still open) and removed.
void finish_journal(vfs_file **f, const std::string &path)
{
    if (*f == nullptr) {
        vfs->remove_own_file(path.c_str());
        return;
    }
    kept_journal *k = kept_of(*f);
    if (k != nullptr && vfs_rewind(*f) == 0) {
        k->spent = true;
        *f = nullptr;
        return;
    }
    if (k != nullptr)
        *k = kept_journal{};
    vfs_close(*f);
    *f = nullptr;
    vfs->remove_own_file(path.c_str());
}

// The journal a step on which goes into: the image's, or the temporary images' own when they
// live apart (opened at their first step).
vfs_file *journal_for(file_change *c, change_file which)
{
    if (which == change_image || !c->temps_apart)
        return c->journal;
    if (c->temps_journal == nullptr && !c->temps_made) {
        c->temps_journal = open_journal("", c->slot, role_temps, c->id, &c->problem);
        c->temps_made = c->temps_journal != nullptr;
    }
    return c->temps_journal;
}

// Records step in its journal; 0 when it is there.
int note(file_change *c, change_file which, const journal_step &step)
{
    vfs_file *f = journal_for(c, which);
    if (f == nullptr)
        return -1;
    if (vfs_write(f, journal_line(step)))
        return 0;
    c->problem = "its step could not be written to the journal";
    return -1;
}

std::string hidden_path(const file_change *c, change_file which)
{
    return which == change_image ? c->dir + slot_name(hidden_image_name, c->slot)
                                 : slot_name(hidden_split_name, c->slot);
}

const char *hidden_name(change_file which)
{
    return which == change_image ? hidden_image_name : hidden_split_name;
}

// Where a planned step's file goes: of dir for the image, of the current directory for a
// temporary image.
std::string target_path(const file_change *c, change_file which)
{
    const std::string &name = c->planned[which].b;
    return which == change_image ? c->dir + name : name;
}

void close_hidden(file_change *c)
{
    for (vfs_file *&f : c->hidden) {
        if (f != nullptr)
            vfs_close(f);
        f = nullptr;
    }
}

// Whether the image's directory is the current one: asked once per directory, since neither
// changes during a run.
bool apart_from_current(const std::string &dir)
{
    static std::string last_dir;
    static bool last_apart = false;
    static bool asked = false;
    if (!asked || dir != last_dir) {
        last_apart = !plat_same_dir(dir.c_str(), ".");
        last_dir = dir;
        asked = true;
    }
    return last_apart;
}

// Closes the change's journals, kept ones too: what reads them back next reads the file.
void close_journals(file_change *c)
{
    close_hidden(c);
    for (vfs_file **f : {&c->journal, &c->temps_journal}) {
        if (kept_journal *k = kept_of(*f))
            *k = kept_journal{};
        if (*f != nullptr)
            vfs_close(*f);
        *f = nullptr;
    }
}

} // namespace

int change_begin(file_change *c, const char *dir, int slot)
{
    c->dir = dir != nullptr ? dir : "";
    c->slot = slot;
    c->id = new_change_id();
    c->temps_apart = apart_from_current(c->dir);
    c->journal = open_journal(c->dir, slot, role_image, c->id, &c->problem);
    return c->journal != nullptr ? 0 : -1;
}

int change_plan_back_up(file_change *c, const char *name, const char *backup_name,
                        const file_identity &id)
{
    journal_step step{step_move, name, std::string(backup_dir_name) + "/" + backup_name, id};
    if (note(c, change_image, step) != 0)
        return -1;
    c->backup = step;
    return 0;
}

vfs_file *change_create(file_change *c, change_file which)
{
    if (note(c, which, journal_step{step_new, hidden_name(which), "", {}}) != 0)
        return nullptr;
    c->hidden[which] = vfs->create_new(hidden_path(c, which).c_str());
    c->unpublished[which] = c->hidden[which] != nullptr;
    return c->hidden[which];
}

int change_plan_publish(file_change *c, change_file which, const char *name,
                        const file_identity &id)
{
    journal_step step{step_publish, hidden_name(which), name, id};
    if (note(c, which, step) != 0)
        return -1;
    c->planned[which] = step;
    return 0;
}

int change_plan_replace(file_change *c, const char *name, const file_identity &id)
{
    journal_step step{step_replace, hidden_image_name, name, id};
    if (note(c, change_image, step) != 0)
        return -1;
    c->planned[change_image] = step;
    return 0;
}

void change_discard(file_change *c, change_file which)
{
    if (c->hidden[which] != nullptr)
        vfs_close(c->hidden[which]);
    c->hidden[which] = nullptr;
    remove_leftover(hidden_path(c, which).c_str());
    c->unpublished[which] = false;
}

std::size_t change_files_to_sync(const file_change *c, vfs_file **files)
{
    std::size_t count = 0;
    for (vfs_file *f :
         {c->journal, c->temps_journal, c->hidden[change_image], c->hidden[change_split]}) {
        if (f != nullptr)
            files[count++] = f;
    }
    return count;
}

int change_durable(file_change *c, bool synced)
{
    bool closed = true;
    // Kept journals stay open for the change's steps, and the next change's.
    for (vfs_file **f :
         {&c->journal, &c->temps_journal, &c->hidden[change_image], &c->hidden[change_split]}) {
        if (*f == nullptr || kept_of(*f) != nullptr)
            continue;
        closed = vfs_close(*f) == 0 && closed;
        *f = nullptr;
    }
    if (synced && closed)
        return 0;
    c->problem = "it could not be made durable";
    return -1;
}

int change_make_durable(file_change *c)
{
    vfs_file *files[change_sync_files_max];
    std::size_t count = change_files_to_sync(c, files);
    return change_durable(c, vfs->sync_together(files, count) == 0);
}

void change_drop(file_change *c)
{
    close_hidden(c);
    std::string name = slot_name(journal_file_name, c->slot);
    finish_journal(&c->journal, c->dir + name);
    if (c->temps_made)
        finish_journal(&c->temps_journal, name);
    for (change_file which : {change_image, change_split}) {
        if (c->unpublished[which])
            remove_leftover(hidden_path(c, which).c_str());
        c->unpublished[which] = false;
    }
}

int change_back_up(file_change *c)
{
    // The journal names the backup "bak/NAME" on every system.
    std::string name = c->backup.b.substr(sizeof backup_dir_name);
    std::string from = c->dir + c->backup.a;
    std::string to = c->dir + backup_dir_name + plat_sep + name;
    return vfs->move_noreplace(from.c_str(), to.c_str());
}

int change_publish(file_change *c, change_file which)
{
    // The move refuses a taken name: a file standing there stays as it is.
    std::string to = target_path(c, which);
    if (c->planned[which].kind != step_publish ||
        vfs->move_noreplace(hidden_path(c, which).c_str(), to.c_str()) != 0)
        return -1;
    c->unpublished[which] = false;
    return 0;
}

int change_replace(file_change *c)
{
    if (c->planned[change_image].kind != step_replace)
        return -1;
    if (vfs->replace_file(hidden_path(c, change_image).c_str(),
                          target_path(c, change_image).c_str()) != 0)
        return -1;
    c->unpublished[change_image] = false;
    return 0;
}

void change_commit(file_change *c)
{
    // The image's journal first: while it speaks, the change can still be undone whole.
    change_drop(c);
}

void change_keep_journals()
{
    keeping = true;
}

void change_release_journals()
{
    for (auto &slot : kept) {
        for (kept_journal &k : slot)
            release(&k);
    }
    keeping = false;
}

bool change_undo(file_change *c, std::string *failure)
{
    close_journals(c);
    return undo_change(c->dir, c->slot, c->id, c->temps_made, failure);
}
