// One run of the sorter: read the options and the directory, load the catalogue, pass every
// .fds and then every .fam file of the directory through process_image, write the report.
#include "run.h"

#include "catalogue.h"
#include "crc.h"
#include "options.h"
#include "process.h"
#include "recovery.h"
#include "report.h"
#include "resource.h"
#include "ui.h"
#include "vfs.h"

#include <cstdio>
#include <cstring>
#include <string>

static constexpr char fds_pattern[] = "*.fds";

unsigned read_options()
{
    unsigned options = opt_scan;
    if (ui_is_checked(IDC_ZERO_SAVE))
        options |= opt_zero_save_game;
    if (ui_is_checked(IDC_ZERO_UNUSED))
        options |= opt_zero_unused;
    if (ui_is_checked(IDC_NO_HEADER))
        options |= opt_no_fwnes_header;
    if (ui_is_checked(IDC_CONVERT_FAM))
        options |= opt_convert_fam;
    return options;
}

struct walk_step {
    file_step step;
    unsigned options;
};

static void visit_file(const char *name, const char *dir, void *context)
{
    const auto *walk = static_cast<const walk_step *>(context);
    walk->step(name, dir, walk->options);
}

void walk_directory(const char *dir, file_step step, const char *pattern, unsigned options)
{
    walk_step walk = {step, options};
    vfs_walk(dir, pattern, visit_file, &walk);
}

// The directory field's text (field) and the directory, ending in the separator (an empty
// text becomes the separator alone, the root). False, with the message, when the text is too
// long: it is never cut.
static bool read_directory(char (&field)[directory_buffer_size],
                           char (&dir)[directory_buffer_size + 1])
{
    std::string text = ui_directory_text();
    if (text.size() > directory_text_max) {
        ui_message(true, "The folder name is longer than 254 bytes, so nothing was sorted.",
                   "VORMLIN");
        return false;
    }
    std::memcpy(field, text.c_str(), text.size() + 1);
    std::memcpy(dir, text.c_str(), text.size() + 1);
    if (text.empty() || text.back() != plat_sep) {
        dir[text.size()] = plat_sep;
        dir[text.size() + 1] = '\0';
    }
    return true;
}

// The .fam pattern: the .fds one with its fourth and fifth characters changed.
static void fam_pattern(char *pattern)
{
    std::memcpy(pattern, fds_pattern, sizeof fds_pattern);
    pattern[3] = 'a';
    pattern[4] = 'm';
}

// The locks of one run: the scanned directory and the current one (catalogue, miss.txt and
// temporary images), each held by one run at a time.
struct run_locks {
    plat_lock *scanned = nullptr;
    plat_lock *current = nullptr;
};

static void unlock_run(run_locks *locks)
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

// False, with the message, when either directory cannot be locked.
static bool lock_run(const char *dir, const char *field, run_locks *locks)
{
    if (!lock_one(dir, field[0] != '\0' ? field : dir, &locks->scanned))
        return false;
    if (plat_same_dir(dir, "."))
        return true;
    char cwd[current_dir_buffer_size];
    if (lock_one(".", plat_current_dir(cwd, sizeof cwd) == 0 ? cwd : ".", &locks->current))
        return true;
    unlock_run(locks);
    return false;
}

int run()
{
    unsigned options = read_options();
    char dir[directory_buffer_size + 1];
    char field[directory_buffer_size]; // as typed, for messages
    if (!read_directory(field, dir))
        return run_refused;
    if (options == 0)
        return 0;
    crc_build_table();
    int rows = load_catalogue();
    if (rows == 0) {
        ui_message(true, "Error getting ingredients.", "VORMLIN");
        return run_no_catalogue;
    }
    char label[16];
    std::snprintf(label, sizeof label, "%u!", static_cast<unsigned>(rows));
    ui_set_version_label(label);
    run_locks locks;
    if (!lock_run(dir, field, &locks))
        return run_refused;
    recovery_result recovered = recover_interrupted(dir);
    if ((options & opt_scan) != 0 && recovered != recovery_dir_pending) {
        char pattern[sizeof fds_pattern];
        walk_directory(dir, process_image, fds_pattern, options);
        fam_pattern(pattern);
        walk_directory(dir, process_image, pattern, options);
    }
    int reported = write_missing_report(report_write);
    unlock_run(&locks);
    ui_message(true, "Done!", "VORMLIN");
    if (recovered != recovery_clean)
        return run_left_pending;
    return reported == 0 ? run_done : run_report_failed;
}
