// One run of the sorter: catalogue, recovery, both directory scans, report, closing message.
#pragma once

#include <string>

typedef unsigned (*file_step)(const char *name, const char *dir, unsigned options);

// Calls step for every plain file of dir matching pattern (no names beginning with ".").
void walk_directory(const char *dir, file_step step, const char *pattern, unsigned options);

// What one press of Start asks for. Each front end builds it: the dialog from its check boxes
// and directory field, the command line from its flags and arguments.
struct run_request {
    unsigned options = 0;  // the options word (options.h)
    std::string directory; // the directory to sort, as typed (UTF-8)
};

// How a run ended.
enum run_ending {
    run_done,         // it ran to its end ("Done!"); see the counts for what it left
    run_no_catalogue, // the catalogue could not be had: nothing was done
    run_refused,      // nothing was done: another run holds a directory, one cannot be
                      // locked, or the directory text is too long
    run_stopped,      // the front end asked it to stop: it stopped between two files
};

struct run_summary {
    run_ending ending = run_done;
    int rows = 0;                // the catalogue's row count; 0 when it could not be loaded
    unsigned processed = 0;      // files passed through the per-file step
    unsigned failed = 0;         // of them, files left where they were
    bool report_written = false; // miss.txt
    bool left_pending = false;   // an interrupted sort could not be undone
};

// One press of Start.
run_summary run(const run_request &request);
