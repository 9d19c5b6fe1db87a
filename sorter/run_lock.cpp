// Locking a run's directories, with the message that says why a run cannot begin.
#include "run_lock.h"

#include "name_limits.h"
#include "ui.h"
#include "vfs.h"

#include <string>

void unlock_run(run_locks *locks)
{
    plat_unlock_dir(locks->scanned);
    plat_unlock_dir(locks->current);
    *locks = run_locks{};
}

// Takes the lock of one directory; false, with the message, when it cannot be had. A run
// never goes on unlocked: another one could share its hidden files and temporary images.
static bool lock_one(const char *dir, const char *shown, plat_lock **lock)
{
    std::string why;
    plat_lock_result r = vfs->lock_dir(dir, lock, &why);
    if (r == lock_taken)
        return true;
    std::string text = r == lock_busy
                           ? std::string("Another sort is running in ") + shown + "."
                           : std::string("Cannot lock ") + shown + " against another sort (" + why +
                                 "), so nothing was sorted.";
    ui_message(true, text.c_str(), "VORMLIN");
    return false;
}

bool lock_run(const char *dir, const char *shown, run_locks *locks)
{
    if (!lock_one(dir, shown, &locks->scanned))
        return false;
    if (plat_same_dir(dir, "."))
        return true;
    char cwd[current_dir_buffer_size];
    if (lock_one(".", plat_current_dir(cwd, sizeof cwd) == 0 ? cwd : ".", &locks->current))
        return true;
    unlock_run(locks);
    return false;
}
