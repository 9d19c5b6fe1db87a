// The locks of a run: the directory it sorts and the current one (catalogue, miss.txt and
// temporary images), each held by one run at a time.
#pragma once

#include "platform.h"

struct run_locks {
    plat_lock *scanned = nullptr;
    plat_lock *current = nullptr;
};

// Locks dir (shown to the user as shown) and, when it is another one, the current directory.
// False, with the message, when either cannot be had: a run never goes on unlocked.
bool lock_run(const char *dir, const char *shown, run_locks *locks);

void unlock_run(run_locks *locks);
