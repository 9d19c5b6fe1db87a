// A file's change: journal lines written and flushed before each step, names relative to the
// journal's directory. A flushed line survives a kill of this process; docs/safety.md says
// what a power cut may cost.
#include "change.h"

#include "platform.h"
#include "recovery.h"
#include "vfs.h"

#include <cstring>

namespace {

std::FILE *open_journal(const std::string &dir, journal_role role, const std::string &id,
                        std::string *problem)
{
    std::string path = dir + journal_file_name;
    std::FILE *f = vfs->create_new(path.c_str());
    if (f == nullptr) {
        std::string kind = obstacle_kind(path.c_str());
        if (!kind.empty())
            kind = "is " + kind;
        else
            kind = vfs->entry_exists(path.c_str()) ? "is in the way" : "could not be created";
        *problem = path + " " + kind;
        return nullptr;
    }
    std::string header = journal_header(role, id);
    if (std::fwrite(header.data(), 1, header.size(), f) != header.size() || std::fflush(f) != 0) {
        std::fclose(f);
        *problem = path + " could not be written";
        return nullptr;
    }
    return f;
}

bool append(std::FILE *f, const std::string &line)
{
    return f != nullptr && !line.empty() &&
           std::fwrite(line.data(), 1, line.size(), f) == line.size() && std::fflush(f) == 0;
}

// The journal a step on which goes into: the image's, or the temporary images' own when they
// live apart (opened at their first step).
std::FILE *journal_for(file_change *c, change_file which)
{
    if (which == change_image || !c->temps_apart)
        return c->journal;
    if (c->temps_journal == nullptr && !c->temps_made) {
        c->temps_journal = open_journal("", role_temps, c->id, &c->problem);
        c->temps_made = c->temps_journal != nullptr;
    }
    return c->temps_journal;
}

// Records step in its journal; 0 when it is there.
int note(file_change *c, change_file which, const journal_step &step)
{
    std::FILE *f = journal_for(c, which);
    if (f == nullptr)
        return -1;
    if (append(f, journal_line(step)))
        return 0;
    c->problem = "its step could not be written to the journal";
    return -1;
}

std::string hidden_path(const file_change *c, change_file which)
{
    return which == change_image ? c->dir + hidden_image_name : std::string(hidden_split_name);
}

const char *hidden_name(change_file which)
{
    return which == change_image ? hidden_image_name : hidden_split_name;
}

void close_journals(file_change *c)
{
    if (c->journal != nullptr)
        std::fclose(c->journal);
    if (c->temps_journal != nullptr)
        std::fclose(c->temps_journal);
    c->journal = c->temps_journal = nullptr;
}

} // namespace

int change_begin(file_change *c, const char *dir)
{
    c->dir = dir != nullptr ? dir : "";
    c->id = new_change_id();
    c->temps_apart = !plat_same_dir(c->dir.c_str(), ".");
    c->journal = open_journal(c->dir, role_image, c->id, &c->problem);
    return c->journal != nullptr ? 0 : -1;
}

int change_back_up(file_change *c, const char *name, const char *backup_name,
                   const file_identity &id)
{
    journal_step step{step_move, name, std::string(backup_dir_name) + "/" + backup_name, id};
    if (note(c, change_image, step) != 0)
        return -1;
    std::string from = c->dir + name;
    std::string to = c->dir + backup_dir_name + plat_sep + backup_name;
    return vfs->move_noreplace(from.c_str(), to.c_str());
}

std::FILE *change_create(file_change *c, change_file which)
{
    if (note(c, which, journal_step{step_new, hidden_name(which), "", {}}) != 0)
        return nullptr;
    return vfs->create_new(hidden_path(c, which).c_str());
}

int change_publish(file_change *c, change_file which, const char *name, const file_identity &id)
{
    std::string to = which == change_image ? c->dir + name : std::string(name);
    // Taken names are not tried: a failed publish must leave no doubt about who made the file.
    if (vfs->entry_exists(to.c_str()) ||
        note(c, which, journal_step{step_publish, hidden_name(which), name, id}) != 0)
        return -1;
    return vfs->move_noreplace(hidden_path(c, which).c_str(), to.c_str());
}

int change_replace(file_change *c, const char *name, const file_identity &id)
{
    if (note(c, change_image, journal_step{step_replace, hidden_image_name, name, id}) != 0)
        return -1;
    std::string to = c->dir + name;
    return vfs->replace_file(hidden_path(c, change_image).c_str(), to.c_str());
}

void change_commit(file_change *c)
{
    close_journals(c);
    // The image's journal first: while it stands, the change can still be undone whole.
    vfs->remove_own_file((c->dir + journal_file_name).c_str());
    if (c->temps_made)
        vfs->remove_own_file(journal_file_name);
    remove_leftover(hidden_path(c, change_image).c_str());
    remove_leftover(hidden_split_name);
}

bool change_undo(file_change *c, std::string *failure)
{
    close_journals(c);
    return undo_change(c->dir, c->id, c->temps_made, failure);
}
