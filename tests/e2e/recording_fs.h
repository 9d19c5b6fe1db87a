// A file-system table for the tests: it passes every call to the real one, records each
// operation that changes what is on the disk, in order, and can make one chosen call fail as
// a full or failing disk would. From a recording, replay() builds the tree that a power cut,
// or a kill, at any point of the run leaves behind.
#pragma once

#include "run.h"

#include <string>
#include <vector>

enum fs_op_kind {
    op_make_dir,
    op_move,
    op_replace,
    op_create,
    op_remove,
    op_rewind, // a file started anew: ordered as the other changes to names are
    op_write,
    op_sync,
};
inline constexpr int fs_op_kinds = op_sync + 1;

struct fs_op {
    fs_op_kind kind;
    std::string path, to; // as the program named them, relative to its current directory
    int file = -1;        // create, write, sync: which created file (its number, from 0)
    std::string data;     // write: the bytes
};

// A fault: the fail_at-th call of fail_kind fails (0: none), counting only the calls on paths
// that hold fail_path (for writes and syncs, the path the file was created at). A write or a
// sync fails from then on, as on a full disk; any other call fails once.
struct fs_recording {
    std::vector<fs_op> ops;
    fs_op_kind fail_kind = op_write;
    int fail_at = 0;
    std::string fail_path;
    int calls = 0; // calls counted towards the fault so far
};

// Puts the recording table in place of the real one until recording_end.
void recording_begin(fs_recording *r);
void recording_end();

// Sorts as vormlin with the arguments args would, in this process, from the current
// directory dir, through the recording table; the front end is the tests' ui_stub (reset,
// but for its between_files).
run_summary sort_recorded(const std::vector<std::string> &args, const std::string &dir,
                          fs_recording *r);

// What becomes of the data written but not yet synced when the run stops.
enum crash_kind {
    crash_power_cut, // lost whole: each file holds what it held at its last sync
    crash_kill,      // kept: the system had it
};

// Applies to the tree at root (the run's current directory, as it was before the run) the
// recorded operations up to and with ops[upto - 1], as they stand after a crash there: every
// change to names made in order, each created file's bytes as crash keeps them. False when an
// operation could not be replayed.
bool replay(const fs_recording &r, std::size_t upto, crash_kind crash, const std::string &root);
