// Group commit: the rewrites that a scan is about to make are planned ahead, a few at a time,
// and one sync makes all their journals and new files durable together, in place of one sync
// for each. Each planned change keeps a slot of its own; when a file's turn comes, its change
// is made only when the names its turn would choose are the ones planned, and is otherwise
// dropped and planned anew. Nothing is renamed ahead of its turn, so the run makes the same
// steps in the same order as without planning. A file read ahead is not read again.
#pragma once

#include "job.h"

#include <string>
#include <vector>

// How many changes one sync covers at most, from 1 to slot_count - 1 (the default). Tests make
// it small, so that a short scan uses its slots' journals again.
extern int group_size;

// A scan of dir for pattern begins; names are the files it is about to pass to the per-file
// step, as listed just before, for planning ahead.
void batch_begin_scan(const char *dir, const char *pattern, unsigned options,
                      std::vector<std::string> names);

// Drops every change planned ahead and not made (journals first), and forgets the scan.
void batch_end_scan();

// Gives job the analysis of the file name of dir when it was read ahead and needs no rewrite.
// False when there is none: the file is then read at its turn.
bool batch_take_read_ahead(image_job *job, const char *name, const char *dir);

// Gives job the change planned ahead for it, durable and still current. False when there is
// none: the file is then rewritten as on its own.
bool adopt_planned_change(image_job *job);

// Makes job's planned change durable, with the changes of the files after it, which it reads
// ahead and plans first in the free slots: one sync for all. 0 when job's change is durable.
int batch_make_durable(image_job *job);
