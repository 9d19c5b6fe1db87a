// One run of the sorter: options, catalogue, both directory scans, report.
#pragma once

typedef unsigned (*file_step)(const char *name, const char *dir, unsigned options);

unsigned read_options();

// Calls step for every plain file of dir matching pattern (no names beginning with ".").
void walk_directory(const char *dir, file_step step, const char *pattern, unsigned options);

// How a run ended (the front end decides what each means to it).
enum run_ending {
    run_done = 0,          // "Done!"
    run_no_catalogue = 1,  // the catalogue could not be had: nothing was done
    run_refused = 2,       // nothing was done: another run holds a directory, one cannot be
                           // locked, or the directory text is too long
    run_report_failed = 3, // "Done!", but miss.txt could not be written
    run_left_pending = 4,  // "Done!", but an interrupted sort could not be undone
};

// One press of Start.
int run();
