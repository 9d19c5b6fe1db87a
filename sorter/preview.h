// The preview of a sort (vormlin -n): a file-system table that changes nothing on disk. Each
// change a run would make is recorded in memory instead, and every later search, existence
// test and read answers from that planned state over the real one, so that the run sees its
// own earlier moves and reads back the files it has written. Writes are taken to succeed; the
// other failures (a name taken, a missing or read-only directory) are predicted.
#pragma once

#include <string>

// Starts an empty plan and makes the preview the table in use (vfs of vfs.h). 0 when it is;
// nonzero where this build has no preview.
int preview_begin();
// Puts the real table back and forgets the plan.
void preview_end();
// The bytes the plan has written to the file at path; false when it holds none there.
bool preview_bytes(const char *path, std::string *out);
