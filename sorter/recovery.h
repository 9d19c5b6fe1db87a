// Recovery: what a run finds of an interrupted run before it sorts. A journal is trusted only
// as far as journal_parse accepts it; one it refuses is set aside under a name the user sees,
// and anything else standing at the journal's name is left alone and reported.
#pragma once

#include <string>

enum recovery_result {
    recovery_clean,       // nothing pending, or all of it finished or undone
    recovery_elsewhere,   // a change in the current directory could not be undone
    recovery_dir_pending, // a change in the scanned directory could not be undone: leave it
};

// Before a run over dir (empty or ending in the separator): finishes or undoes the changes
// whose journals stand in dir and in the current directory, in every slot. Each undone step is told
// through ui_note, each failure and refusal through ui_message.
recovery_result recover_interrupted(const char *dir);

// Undoes the change id of slot, whose image journal is in dir and, with temps, whose temporary
// images' journal is in the current directory. False, with *failure, when a step could not be
// undone; the journals then stay.
bool undo_change(const std::string &dir, int slot, const std::string &id, bool temps,
                 std::string *failure);

// What stands at path, in words, when it is no journal: "a directory", "a symbolic link", ...
// "" when nothing or a plain file stands there.
std::string obstacle_kind(const char *path);

// Removes a hidden file of the sorter's own (journal.h) that is still there: a plain file,
// never a link or anything else.
void remove_leftover(const char *path);
