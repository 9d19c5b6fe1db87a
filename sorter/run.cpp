// One run of the sorter: load the catalogue, lock and recover the directories, pass every
// .fds, then every .fam and then every .qd file of the directory through process_image, write the
// report, and end with a "Done!" that says what was left undone.
#include "run.h"

#include "batch.h"
#include "catalogue.h"
#include "crc.h"
#include "name_limits.h"
#include "options.h"
#include "process.h"
#include "quick_disk.h"
#include "recovery.h"
#include "report.h"
#include "run_lock.h"
#include "subdir_move.h"
#include "ui.h"
#include "vfs.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static constexpr char fds_pattern[] = "*.fds";
static constexpr std::size_t failures_shown = 5; // files named in the closing message

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

// The .fam pattern: the .fds one with its fourth and fifth characters changed.
static void fam_pattern(char *pattern)
{
    std::memcpy(pattern, fds_pattern, sizeof fds_pattern);
    pattern[3] = 'a';
    pattern[4] = 'm';
}

// The directory to sort, ending in the separator (an empty text becomes the separator alone,
// the root). False, with the message, when the text is too long: it is never cut.
static bool directory_of(const std::string &text, std::string *dir)
{
    if (text.size() > directory_text_max) {
        ui_message(true, "The directory name is too long.", "VORMLIN");
        return false;
    }
    *dir = text;
    if (dir->empty() || dir->back() != plat_sep)
        *dir += plat_sep;
    return true;
}

// The run under way: what the per-file step reports is counted here.
struct run_state {
    run_summary result;
    run_progress progress{};
    bool stopping = false;
    std::vector<std::string> failures; // the first few, as -v words them
};
static run_state *current_run = nullptr;

// The per-file step as the run takes it: the file reported and counted, the front end told
// how far the run is; nothing more once it has asked the run to stop.
static unsigned process_and_count(const char *name, const char *dir, unsigned options)
{
    run_state *r = current_run;
    if (r->stopping)
        return 0;
    file_outcome out;
    unsigned outcome = process_image(name, dir, options, &out);
    r->result.processed++;
    if (out.fate == fate_failed && r->result.failed++ < failures_shown)
        r->failures.push_back(out.path + ": " + out.what);
    r->progress.done++;
    if (r->progress.total < r->progress.done)
        r->progress.total = r->progress.done; // a temporary image the scan came upon
    r->stopping = !ui_progress(&r->progress);
    return outcome;
}

// "Done!", and below it what the run left undone.
static std::string closing_text(const run_state &r)
{
    std::string text = "Done!";
    const run_summary &res = r.result;
    if (res.failed > 0) {
        text += "\n\n" + std::to_string(res.failed) +
                (res.failed == 1 ? " file was left where it was:"
                                 : " files were left where they were:");
        for (const std::string &f : r.failures)
            text += "\n" + f;
        if (res.failed > r.failures.size())
            text += "\n\u2026 and " + std::to_string(res.failed - r.failures.size()) + " more";
    }
    if (res.left_pending)
        text += "\n\nAn interrupted sort could not be undone; its journal stays.";
    if (!res.report_written)
        text += "\n\nmiss.txt was not written.";
    return text;
}

// One scan of dir, each file through the per-file step, with the rewrites ahead of it
// planned a few at a time (batch.h).
static void scan(const char *dir, const char *pattern, unsigned options,
                 std::vector<std::string> names)
{
    batch_begin_scan(dir, pattern, options, std::move(names));
    walk_directory(dir, process_and_count, pattern, options);
    batch_end_scan();
}

// Both scans of dir, each file through the per-file step; false when the front end asked
// the run to stop.
static bool sort_directory(run_state *r, const char *dir, unsigned options)
{
    char pattern[sizeof fds_pattern];
    fam_pattern(pattern);
    std::vector<std::string> fds_files = vfs_names(dir, fds_pattern);
    std::vector<std::string> fam_files = vfs_names(dir, pattern);
    std::vector<std::string> qd_files = vfs_names(dir, qd::file_pattern);
    r->progress.total =
        static_cast<unsigned>(fds_files.size() + fam_files.size() + qd_files.size());
    current_run = r;
    subdir_moves_forget();
    scan(dir, fds_pattern, options, std::move(fds_files));
    scan(dir, pattern, options, std::move(fam_files));
    scan(dir, qd::file_pattern, options, std::move(qd_files));
    current_run = nullptr;
    return !r->stopping;
}

run_summary run(const run_request &request)
{
    run_state r;
    std::string dir;
    if (!directory_of(request.directory, &dir)) {
        r.result.ending = run_refused;
        return r.result;
    }
    crc_build_table();
    r.result.rows = r.progress.rows = load_catalogue();
    if (r.result.rows == 0) {
        ui_message(true, "Error getting ingredients.", "VORMLIN");
        r.result.ending = run_no_catalogue;
        return r.result;
    }
    if (!ui_progress(&r.progress)) {
        r.result.ending = run_stopped;
        return r.result;
    }
    const std::string &shown = request.directory.empty() ? dir : request.directory;
    run_locks locks;
    if (!lock_run(dir.c_str(), shown.c_str(), &locks)) {
        r.result.ending = run_refused;
        return r.result;
    }
    recovery_result recovered = recover_interrupted(dir.c_str());
    r.result.left_pending = recovered != recovery_clean;
    bool finished = (request.options & opt_scan) == 0 || recovered == recovery_dir_pending ||
                    sort_directory(&r, dir.c_str(), request.options);
    if (finished)
        r.result.report_written = write_missing_report(report_write) == 0;
    unlock_run(&locks);
    if (!finished) {
        r.result.ending = run_stopped;
        return r.result;
    }
    ui_message(true, closing_text(r).c_str(), "VORMLIN");
    return r.result;
}
