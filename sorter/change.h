// One file's rewrite as a change that neither a kill nor a power cut leaves half made. The
// change is planned first: its journal names every step, its new images are written under
// hidden names, and then one sync makes the journal and the images durable together. Only
// then are its steps made, each a rename; the change stands once the image's journal is
// gone, and until then the next run undoes it (recovery.h). Temporary images go to the
// current directory: when that is another directory, their steps go to a journal there that
// carries the same change id.
#pragma once

#include "journal.h"
#include "vfs.h"

#include <string>

// The hidden files a change writes before publishing them.
enum change_file {
    change_image, // the normalised image, in the image's directory
    change_split, // a temporary image, in the current directory
};
inline constexpr int change_files = 2;

struct file_change {
    std::string dir;                     // the image's directory: "" or ending in the separator
    int slot = 0;                        // of the names of its journals and hidden files
    std::string id;                      // the change id both journals carry
    vfs_file *journal = nullptr;         // dir's journal, open while the change is
    vfs_file *temps_journal = nullptr;   // the current directory's, once a temporary image is
    bool temps_apart = false;            // temporary images go to another directory than dir
    bool temps_made = false;             // and their journal there was created
    vfs_file *hidden[change_files] = {}; // hidden files written and not yet durable
    bool unpublished[change_files] = {}; // hidden files made and not yet published
    journal_step planned[change_files];  // where each hidden file goes (publish or replace)
    journal_step backup;                 // the original's move into bak, when planned
    std::string problem;                 // why the last step could not be planned or made
};

// Starts the change of a file in dir, in slot. 0 on success; otherwise c->problem says why
// (the file must then be left as it is).
int change_begin(file_change *c, const char *dir, int slot = 0);

// Plans the move of the file name of dir into bak under backup_name; id is what it holds.
int change_plan_back_up(file_change *c, const char *name, const char *backup_name,
                        const file_identity &id);

// Creates the hidden file which to write a new image into; nullptr when it cannot be. The
// change closes it.
vfs_file *change_create(file_change *c, change_file which);

// Plans the publication of the written hidden file which under the free name (of dir for the
// image, of the current directory for a temporary image); id is what it holds.
int change_plan_publish(file_change *c, change_file which, const char *name,
                        const file_identity &id);

// Plans the written hidden image to take the place of the "tmp" file name of dir, which has
// no backup: once that is made, the change stands.
int change_plan_replace(file_change *c, const char *name, const file_identity &id);

// Gives up the hidden file which: closed and removed, never published.
void change_discard(file_change *c, change_file which);

// Makes the journals and the hidden files durable together and closes them: the planned
// steps may be made from here on. 0 on success.
int change_make_durable(file_change *c);

// The files change_make_durable syncs (room for change_sync_files_max), for syncing the
// changes of a group together; change_durable closes them once they are.
inline constexpr std::size_t change_sync_files_max = 4;
std::size_t change_files_to_sync(const file_change *c, vfs_file **files);
int change_durable(file_change *c, bool synced);

// Gives up a planned change of which no step was made: its journals go first, so that no
// run acts on them, then its hidden files.
void change_drop(file_change *c);

// The planned steps, made: each 0 on success.
int change_back_up(file_change *c);
int change_publish(file_change *c, change_file which);
int change_replace(file_change *c);

// The change is made: its journals go (or are cut to their first byte, when kept), the
// image's first, then its hidden leftovers.
void change_commit(file_change *c);

// From here on the journals are kept from one change to the next and cut to their first byte
// when a change stands, until change_release_journals closes them and removes those that
// speak of no step.
void change_keep_journals();
void change_release_journals();

// Undoes every step made, as recovery would. True when all is undone and the journals are
// gone; otherwise the journals stay for the next run and *failure says what failed.
bool change_undo(file_change *c, std::string *failure);
