// The intent journal of one file's changes. Rewriting an image takes several steps (the
// original into bak, the new image, the split-off sides); each is recorded durably before it
// is made, in a file of the image's directory whose name scans skip. A run killed half-way
// leaves the journal behind, and the next run over the directory undoes those steps before
// it starts, so that the file is sorted again from the state it had before: a killed run and
// one uninterrupted run leave what one uninterrupted run leaves.
#pragma once

// Names the sorter keeps for itself. Scans skip them (they begin with "."), and a file of
// such a name is only ever one that the sorter made.
inline constexpr char journal_file_name[] = ".vormlin-journal";
inline constexpr char hidden_image_name[] = ".vormlin-image"; // a normalised image being written
inline constexpr char hidden_split_name[] = ".vormlin-split"; // a temporary image being written
inline constexpr char hidden_report_name[] = ".vormlin-miss"; // miss.txt being written

enum journal_step {
    step_move,    // a moves to b (the original into bak); undone by moving it back
    step_new,     // the hidden file a is created; undone by removing it
    step_publish, // the hidden file a is moved to the new name b; undone by removing b
    step_replace, // the hidden file a replaces b: once made, nothing of the file is undone
};

// Starts the journal of one file's changes in dir (empty or ending in the separator).
// 0 on success; nonzero when it cannot be created (the file must then not be changed).
int journal_begin(const char *dir);

// Records that step is about to be made with the paths a and b (b for moves only). 0 once it
// is on disk; nonzero when it could not be recorded (the step must then not be made).
int journal_note(journal_step step, const char *a, const char *b = nullptr);

// The file's changes are all made, or undone: its journal goes.
void journal_end();

// Before a run over dir: when a killed run left a journal there, undoes its steps that were
// made and removes it.
void journal_recover(const char *dir);

// Removes a hidden file of the sorter's own (one of the names above) that is still there:
// never published, or left by a run killed after its journal went.
void remove_leftover(const char *path);
