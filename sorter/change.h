// One file's rewrite as a change that no kill leaves half made. Each step is written to the
// journal of the directory it happens in before it is made; the change stands once the
// image's journal is gone, and until then the next run undoes it (recovery.h). Temporary
// images go to the current directory: when that is another directory, their steps go to a
// journal there that carries the same change id.
#pragma once

#include "journal.h"

#include <cstdio>
#include <string>

struct file_change {
    std::string dir;                    // the image's directory: "" or ending in the separator
    std::string id;                     // the change id both journals carry
    std::FILE *journal = nullptr;       // dir's journal, open while the change is
    std::FILE *temps_journal = nullptr; // the current directory's, once a temporary image is
    bool temps_apart = false;           // temporary images go to another directory than dir
    bool temps_made = false;            // and their journal there was created
    std::string problem;                // why the last step could not be made
};

// The hidden files a change writes before publishing them.
enum change_file {
    change_image, // the normalised image, in the image's directory
    change_split, // a temporary image, in the current directory
};

// Starts the change of a file in dir. 0 on success; otherwise c->problem says why (the file
// must then be left as it is).
int change_begin(file_change *c, const char *dir);

// Moves the file name of dir into bak under backup_name; id is what the file holds.
int change_back_up(file_change *c, const char *name, const char *backup_name,
                   const file_identity &id);

// Creates the hidden file which to write a new image into; nullptr when it cannot be.
std::FILE *change_create(file_change *c, change_file which);

// Publishes the finished hidden file which under the free name (of dir for the image, of the
// current directory for a temporary image); id is what it holds. 0 on success.
int change_publish(file_change *c, change_file which, const char *name, const file_identity &id);

// Puts the finished hidden image in place of the "tmp" file name of dir, which has no
// backup: from here on the change stands. 0 on success.
int change_replace(file_change *c, const char *name, const file_identity &id);

// The change is made: its journals go, the image's first, then its hidden leftovers.
void change_commit(file_change *c);

// Undoes every step made, as recovery would. True when all is undone and the journals are
// gone; otherwise the journals stay for the next run and *failure says what failed.
bool change_undo(file_change *c, std::string *failure);
