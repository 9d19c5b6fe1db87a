// One run of the sorter: options, catalogue, both directory scans, report.
#pragma once

typedef unsigned (*file_step)(const char *name, const char *dir, unsigned options);

unsigned read_options();

// Calls step for every plain file of dir matching pattern (no names beginning with ".").
void walk_directory(const char *dir, file_step step, const char *pattern, unsigned options);

// One press of Start. Returns 0 when it ended with "Done!", 1 when the catalogue could not
// be had (the front end decides what the result means to it).
int run();
