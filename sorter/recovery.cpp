// Recovery of interrupted changes. A change stands once its image journal is gone, or once
// its "tmp" file was replaced (that file had no backup). Otherwise it is undone, last step
// first; each undone step is cut from the journal before the next is touched, and each undo
// acts only when the file in question is the one the step moved or made, so that a kill
// during recovery, or any number of them, never undoes a step twice. The temporary images'
// journal of a change is undone with its image journal; found alone, its image journal is
// gone and the change stands.
#include "recovery.h"

#include "journal.h"
#include "platform.h"
#include "ui.h"
#include "vfs.h"

#include <cstdio>
#include <string>

namespace {

constexpr char refused_stem[] = "vormlin-refused-journal";
constexpr char refused_extension[] = ".txt";
constexpr int refused_names_max = 99;

// A directory's journal as recovery found it: readable means accepted by journal_parse.
struct found_journal {
    std::string dir; // "" or ending in the separator
    int slot = 0;
    std::string path;
    bool readable = false;
    bool scanned = true; // in the directory the run sorts (else in the current one only)
    bool told = true;    // undone steps are told as recovery (not as a file's own undoing)
    journal_text text;
};

// The directory as the user knows it: the current one by its full path.
std::string shown_dir(const std::string &dir)
{
    char cwd[current_dir_buffer_size];
    if (!dir.empty() || plat_current_dir(cwd, sizeof cwd) != 0)
        return dir;
    std::string shown = cwd;
    return shown.back() == plat_sep ? shown : shown + plat_sep;
}

// A name of the journal as a path: its hidden files are those of its slot.
std::string native(const found_journal &j, const std::string &name)
{
    bool hidden = name == hidden_image_name || name == hidden_split_name;
    std::string path = j.dir + (hidden ? slot_name(name.c_str(), j.slot) : name);
    for (std::size_t i = j.dir.size(); i < path.size(); i++) {
        if (path[i] == '/')
            path[i] = plat_sep;
    }
    return path;
}

// Whether path holds the file id names; a link only where links may stand.
bool holds(const std::string &path, const file_identity &id, bool link_allowed)
{
    plat_entry_state state = vfs->entry_state(path.c_str());
    file_identity found;
    return state.plain_file && (link_allowed || !state.link) &&
           identity_of_file(path.c_str(), &found) && found == id;
}

void tell(const found_journal &j, const char *what, const std::string &path,
          const std::string &to = "")
{
    if (!j.told)
        return;
    std::string text = std::string("interrupted sort undone: ") + what + " " + path;
    if (!to.empty())
        text += " back to " + to;
    ui_note(text.c_str());
}

// Undoes one step when it was made; true when it is not made (now, or ever). A step is never
// taken for made on the strength of a name alone: the file must be the one it names.
bool undo_step(const found_journal &j, const journal_step &s, std::string *failure)
{
    std::string a = native(j, s.a), b = native(j, s.b);
    switch (s.kind) {
    case step_new:
        if (vfs->entry_state(a.c_str()).plain_file) {
            remove_leftover(a.c_str());
            tell(j, "removed", a);
        }
        return true;
    case step_publish:
        // While the hidden file is there it was never published.
        if (vfs->entry_exists(a.c_str()) || !holds(b, s.identity, false))
            return true;
        if (vfs->remove_own_file(b.c_str()) == 0) {
            tell(j, "removed", b);
            return true;
        }
        *failure = "removing " + b + " failed";
        return false;
    case step_move:
        if (holds(a, s.identity, true))
            return true;
        if (!vfs->entry_exists(a.c_str()) && holds(b, s.identity, true) &&
            vfs->move_noreplace(b.c_str(), a.c_str()) == 0) {
            tell(j, "moved", b, a);
            return true;
        }
        *failure = "moving " + b + " back to " + a + " failed (" +
                   (vfs->entry_exists(a.c_str()) ? a + " is taken" : b + " is not the file moved") +
                   ")";
        return false;
    case step_replace:
        return true; // not made, or the change stands
    }
    return false;
}

// Writes the journal anew without the steps already undone: replaced in one step.
bool cut_undone_steps(const found_journal &j)
{
    std::string temp = j.dir + slot_name(hidden_journal_name, j.slot);
    remove_leftover(temp.c_str());
    vfs_file *f = vfs->create_new(temp.c_str());
    if (f == nullptr)
        return false;
    std::string text = journal_header(j.text.role, j.text.change);
    for (const journal_step &s : j.text.steps)
        text += journal_line(s);
    bool written = vfs_write(f, text) && vfs_sync(f) == 0;
    if (vfs_close(f) == 0 && written && vfs->replace_file(temp.c_str(), j.path.c_str()) == 0)
        return true;
    remove_leftover(temp.c_str());
    return false;
}

// Undoes the journal's steps, last first. False at the first that fails: the journal keeps
// it and every step before it.
bool undo_steps(found_journal *j, std::string *failure)
{
    while (!j->text.steps.empty()) {
        if (!undo_step(*j, j->text.steps.back(), failure))
            return false;
        j->text.steps.pop_back();
        if (!cut_undone_steps(*j)) {
            *failure = j->path + " could not be updated";
            return false;
        }
    }
    return true;
}

// The journal goes, then the hidden files of the change it spoke for.
void drop(found_journal *j)
{
    if (j == nullptr || !j->readable)
        return;
    vfs->remove_own_file(j->path.c_str());
    remove_leftover(native(*j, hidden_image_name).c_str());
    remove_leftover(native(*j, hidden_split_name).c_str());
    j->readable = false;
}

// A change stands once its "tmp" file was replaced by the new image.
bool stands(const found_journal &j)
{
    for (const journal_step &s : j.text.steps) {
        if (s.kind == step_replace && !vfs->entry_exists(native(j, s.a).c_str()) &&
            holds(native(j, s.b), s.identity, false))
            return true;
    }
    return false;
}

// Finishes the change of image (and of temps, its temporary images' journal, when there is
// one): kept when it stands, else undone whole, temporary images first.
bool finish(found_journal *image, found_journal *temps, std::string *failure)
{
    if (stands(*image)) {
        ui_note(("interrupted sort's change kept: " + image->path + " removed").c_str());
        drop(temps);
        drop(image);
        return true;
    }
    if (temps != nullptr && !undo_steps(temps, failure))
        return false;
    drop(temps);
    if (!undo_steps(image, failure))
        return false;
    drop(image);
    return true;
}

void report_failure(const found_journal &j, const std::string &failure)
{
    std::string text = "An interrupted sort in " + shown_dir(j.dir) +
                       " could not be undone: " + failure + ". Its journal " + shown_dir(j.dir) +
                       j.path.substr(j.dir.size()) + " stays, and the next sort tries again.";
    ui_message(true, text.c_str(), "VORMLIN");
}

// What cannot be done while the journal's name is taken: rewrites in the scanned directory,
// temporary images in the current one.
std::string what_waits(const found_journal &j)
{
    if (!j.scanned)
        return "no temporary image can be made there";
    return "files of " + shown_dir(j.dir) + " that need a rewrite are left unchanged";
}

// Moves a refused journal to the first free visible name; that name, or "".
std::string set_aside(const found_journal &j)
{
    for (int n = 1; n <= refused_names_max; n++) {
        char numbered[16] = "";
        if (n > 1)
            std::snprintf(numbered, sizeof numbered, "-%d", n);
        std::string name = j.dir + refused_stem + numbered + refused_extension;
        if (!vfs->entry_exists(name.c_str()) &&
            vfs->move_noreplace(j.path.c_str(), name.c_str()) == 0)
            return name;
    }
    return "";
}

void refuse(const found_journal &j, const std::string &why)
{
    std::string aside = set_aside(j);
    std::string text = shown_dir(j.dir) + j.path.substr(j.dir.size()) +
                       " is not a journal this sorter wrote: " + why +
                       ". Nothing in it was undone; ";
    text += aside.empty()
                ? "it could not be set aside, so " + what_waits(j) + " until it is gone."
                : "it is set aside as " + shown_dir(j.dir) + aside.substr(j.dir.size()) + ".";
    ui_message(true, text.c_str(), "VORMLIN");
    ui_note(("journal refused: " + j.path + ": " + why).c_str());
}

void report_obstacle(const found_journal &j, const std::string &kind)
{
    std::string text = shown_dir(j.dir) + j.path.substr(j.dir.size()) + " is " + kind +
                       ", not a journal of this sorter: it is left alone, and " + what_waits(j) +
                       " until it is gone.";
    ui_message(true, text.c_str(), "VORMLIN");
}

// Up to limit bytes of the file at path; false when it cannot be read.
bool read_at_most(const std::string &path, std::size_t limit, std::string *out)
{
    vfs_file *f = vfs->open_for_reading(path.c_str());
    if (f == nullptr)
        return false;
    long long length = vfs_length(f);
    out->resize(limit);
    out->resize(vfs_read(f, out->data(), limit));
    vfs_close(f);
    return length >= 0 && (out->size() == limit || out->size() == static_cast<std::size_t>(length));
}

// What stands at dir's journal name. Only a plain file is read, and no more of it than a
// journal can hold; one that is not a journal of ours is set aside.
found_journal look_at(const std::string &dir, int slot, bool scanned)
{
    found_journal j;
    j.dir = dir;
    j.slot = slot;
    j.scanned = scanned;
    j.path = dir + slot_name(journal_file_name, slot);
    if (!vfs->entry_exists(j.path.c_str()))
        return j;
    std::string kind = obstacle_kind(j.path.c_str()), text, why;
    if (!kind.empty()) {
        report_obstacle(j, kind);
    } else if (!read_at_most(j.path, journal_size_max + 1, &text)) {
        report_obstacle(j, "a file that cannot be read");
    } else if (!journal_parse(text, &j.text, &why)) {
        refuse(j, why);
    } else {
        j.readable = true;
    }
    return j;
}

bool belong_together(const found_journal &image, const found_journal &temps)
{
    return image.readable && temps.readable && image.text.role == role_image &&
           temps.text.role == role_temps && !image.text.change.empty() &&
           image.text.change == temps.text.change;
}

// Finishes one journal found without its partner. An image journal alone is finished as a
// change; a temporary images' journal alone lost its image journal, so its change stands.
bool finish_alone(found_journal *j, std::string *failure)
{
    if (!j->readable)
        return true;
    if (j->text.role == role_temps) {
        drop(j);
        return true;
    }
    return finish(j, nullptr, failure);
}

// Finishes the journals found in the run's two directories: the two of one change together,
// any other alone. The result says where a change could not be undone.
recovery_result finish_found(found_journal *here, found_journal *current)
{
    std::string failure;
    if (belong_together(*here, *current) || belong_together(*current, *here)) {
        bool image_here = here->text.role == role_image;
        if (finish(image_here ? here : current, image_here ? current : here, &failure))
            return recovery_clean;
        report_failure(*here, failure);
        return recovery_dir_pending;
    }
    bool here_done = finish_alone(here, &failure);
    if (!here_done)
        report_failure(*here, failure);
    bool current_done = finish_alone(current, &failure);
    if (!current_done)
        report_failure(*current, failure);
    if (!here_done)
        return recovery_dir_pending;
    return current_done ? recovery_clean : recovery_elsewhere;
}

} // namespace

std::string obstacle_kind(const char *path)
{
    plat_entry_state state = vfs->entry_state(path);
    if (!state.exists || (state.plain_file && !state.link))
        return "";
    if (state.link)
        return "a symbolic link";
    return state.directory ? "a directory" : "not a regular file (a pipe or a device)";
}

void remove_leftover(const char *path)
{
    plat_entry_state state = vfs->entry_state(path);
    if (state.plain_file && !state.link)
        vfs->remove_own_file(path);
}

// The worse of two results: a pending scanned directory over a pending current one.
recovery_result worse(recovery_result a, recovery_result b)
{
    return a > b ? a : b;
}

// Whether anything in dir has a name of ours. After a run that ended well nothing has, and
// recovery need not look for each slot's names: on Windows every name that is not there
// costs a read of the whole directory.
static bool holds_own_names(const std::string &dir)
{
    plat_entry entry;
    void *search = vfs->find_first(dir.c_str(), own_names_pattern, &entry);
    if (search == nullptr)
        return false;
    vfs->find_close(search);
    return true;
}

recovery_result recover_interrupted(const char *dir)
{
    std::string here_dir = dir != nullptr ? dir : "";
    bool apart = !plat_same_dir(here_dir.c_str(), ".");
    recovery_result result = recovery_clean;
    if (!holds_own_names(here_dir) && !(apart && holds_own_names("")))
        return result;
    for (int slot = 0; slot < slot_count; slot++) {
        found_journal here = look_at(here_dir, slot, true);
        found_journal current = apart ? look_at("", slot, false) : found_journal{};
        result = worse(result, finish_found(&here, &current));
        remove_leftover((here_dir + slot_name(hidden_image_name, slot)).c_str());
        remove_leftover(slot_name(hidden_split_name, slot).c_str());
    }
    return result;
}

bool undo_change(const std::string &dir, int slot, const std::string &id, bool temps,
                 std::string *failure)
{
    found_journal image = look_at(dir, slot, true);
    found_journal apart = temps ? look_at("", slot, false) : found_journal{};
    image.told = apart.told = false;
    if (!image.readable || image.text.change != id) {
        *failure = image.path + " could not be read back";
        return false;
    }
    bool paired = temps && apart.readable && apart.text.change == id;
    if (paired && !undo_steps(&apart, failure))
        return false;
    if (paired)
        drop(&apart);
    if (!undo_steps(&image, failure))
        return false;
    drop(&image);
    return true;
}
