// The sorter's command line on POSIX: options stand for the dialog's check boxes, each
// directory is one press of Start, message boxes go to standard error. A dry run plans the
// same runs in memory and prints what they would do.
#include "catalogue.h"
#include "options.h"
#include "platform.h"
#include "preview.h"
#include "run.h"
#include "ui.h"
#include "vfs.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static const char usage_text[] =
    "Usage: vormlin [OPTION...] [DIRECTORY...]\n"
    "Sorts Famicom Disk System images (.fds, then .fam) of each DIRECTORY (default: the\n"
    "current directory) against the catalogue ingredients.dat of the current directory:\n"
    "identified images go to ren/ (or dupes/), partial ones to parts/, files without a disk\n"
    "side to bad/ or rom/; files that need a new header or size are first backed up into\n"
    "bak/. The catalogue games never found are listed in miss.txt.\n"
    "\n"
    "  -s, --zero-save-game       accepted for compatibility; has no effect\n"
    "  -u, --zero-unused-space    clear the bytes behind each side's files when rewriting\n"
    "  -H, --no-fwnes-header      write and expect images without the 16-byte fwNES header\n"
    "  -c, --convert-fam-to-fds   rewrite FAM, QuickDisk and other layouts as .fds images\n"
    "  -n, --dry-run              change nothing: print what each file would go through\n"
    "                             and the miss.txt that would be written\n"
    "  -v, --verbose              print one line per processed file and a summary per run\n"
    "  -h, --help                 show this help and exit\n"
    "  -V, --version              show the version and exit\n"
    "\n"
    "Lines of a dry run read as those of a real run with the prefix \"dry run: \".\n"
    "Exit status: 0 when every run finished, 1 when the catalogue could not be read,\n"
    "2 for a usage error or a DIRECTORY that is not one, 3 when a file could not be\n"
    "sorted, miss.txt not written or an interrupted sort not undone, 4 when another\n"
    "sort was running in the directory or it could not be locked.\n";

struct cli_option {
    char short_name;
    const char *long_name;
    unsigned option_bit; // the bit of the options word it sets; 0 for none
};

static constexpr cli_option cli_options[] = {
    {'s', "--zero-save-game", opt_zero_save_game},
    {'u', "--zero-unused-space", opt_zero_unused},
    {'H', "--no-fwnes-header", opt_no_fwnes_header},
    {'c', "--convert-fam-to-fds", opt_convert_fam},
    {'n', "--dry-run", 0},
    {'v', "--verbose", 0},
    {'h', "--help", 0},
    {'V', "--version", 0},
};

static unsigned options_word = opt_scan;
static bool verbose = false;
static bool dry_run = false;
static bool help_asked = false;
static bool version_asked = false;

// Files of the current run by where they ended, and by what was done to them.
struct run_tally {
    unsigned fates[fate_rom + 1];
    unsigned rewritten, split;
};
static run_tally tally;

// Every line that tells what a run does or would do.
static void print_line(const std::string &text)
{
    std::string line = std::string(dry_run ? "dry run: " : "") + text + "\n";
    plat_write_text(stdout, line.data(), line.size());
    std::fflush(stdout);
}

void ui_message(bool, const char *text, const char *caption)
{
    std::string line = std::string(caption) + ": " + text;
    if (line.empty() || line.back() != '\n')
        line += '\n';
    std::fflush(stdout);
    plat_write_text(stderr, line.data(), line.size());
    std::fflush(stderr);
}

// The catalogue's row count, as the dialog's label shows it, once it is loaded.
bool ui_progress(const run_progress *progress)
{
    if (progress->done == 0) {
        std::printf("%u!\n", static_cast<unsigned>(progress->rows));
        std::fflush(stdout);
    }
    return true;
}

void ui_file_done(const file_report *report)
{
    tally.fates[report->fate]++;
    tally.rewritten += report->rewritten ? 1 : 0;
    tally.split += report->split ? 1 : 0;
    if (verbose || dry_run)
        print_line(std::string(report->path) + ": " + report->what);
}

void ui_note(const char *text)
{
    if (verbose || dry_run)
        print_line(text);
}

static void print_summary(double seconds)
{
    const unsigned *f = tally.fates;
    char line[256];
    std::snprintf(line, sizeof line,
                  "summary: %u identified, %u duplicates, %u partial, %u unidentified, %u bad, "
                  "%u rom, %u failed, %u rewritten, %u split in %.2f s",
                  f[fate_identified], f[fate_duplicate], f[fate_partial], f[fate_unidentified],
                  f[fate_bad], f[fate_rom], f[fate_failed], tally.rewritten, tally.split, seconds);
    print_line(line);
}

// A dry run's miss.txt: its planned contents, line by line as they would be written.
static void print_planned_report()
{
    std::string text;
    if (!preview_bytes("miss.txt", &text)) {
        print_line("miss.txt would not be written");
        return;
    }
    print_line("miss.txt would read:");
    plat_write_text(stdout, text.data(), text.size());
    std::fflush(stdout);
}

// Exit statuses beyond 0, 1 (no catalogue) and 2 (usage).
static constexpr int exit_failed = 3;
static constexpr int exit_busy = 4; // or a directory that cannot be locked

static int exit_status_of(const run_summary &result)
{
    switch (result.ending) {
    case run_done:
        return result.failed > 0 || !result.report_written || result.left_pending ? exit_failed : 0;
    case run_no_catalogue:
        return 1;
    case run_refused:
        return exit_busy;
    default:
        return exit_failed;
    }
}

// One press of Start over dir; the exit status it asks for.
static int run_once(const std::string &dir)
{
    tally = run_tally{};
    auto start = std::chrono::steady_clock::now();
    run_summary result = run(run_request{options_word, dir});
    int status = exit_status_of(result);
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (dry_run && result.ending == run_done)
        print_planned_report();
    if (verbose)
        print_summary(elapsed.count());
    return status;
}

static void apply_option(const cli_option &o)
{
    if (o.option_bit != 0)
        options_word |= o.option_bit;
    else if (o.short_name == 'v')
        verbose = true;
    else if (o.short_name == 'n')
        dry_run = true;
    else if (o.short_name == 'V')
        version_asked = true;
    else
        help_asked = true;
}

// One argument that begins with "-": a long option or a run of short ones. False when it
// names no option.
static bool parse_option(const char *arg)
{
    for (const cli_option &o : cli_options) {
        if (std::strcmp(arg, o.long_name) == 0) {
            apply_option(o);
            return true;
        }
    }
    if (arg[1] == '-' || arg[1] == '\0')
        return false;
    for (const char *c = arg + 1; *c != '\0'; c++) {
        const cli_option *found = nullptr;
        for (const cli_option &o : cli_options) {
            if (o.short_name == *c)
                found = &o;
        }
        if (found == nullptr)
            return false;
        apply_option(*found);
    }
    return true;
}

static int usage_error(const char *message, const char *arg)
{
    std::string text = std::string("vormlin: ") + message + " '" + arg + "'\n" + usage_text;
    plat_write_text(stderr, text.data(), text.size());
    return 2;
}

// Fills the settings and the directories; 0, or the exit status of a usage error.
static int parse_arguments(const std::vector<std::string> &args, std::vector<std::string> *dirs)
{
    bool options_end = false;
    for (std::size_t i = 1; i < args.size(); i++) {
        const char *arg = args[i].c_str();
        if (!options_end && std::strcmp(arg, "--") == 0) {
            options_end = true;
        } else if (!options_end && arg[0] == '-' && arg[1] != '\0') {
            if (!parse_option(arg))
                return usage_error("unknown option", arg);
        } else if (arg[0] == '\0') {
            return usage_error("empty directory name", arg);
        } else if (std::strlen(arg) > directory_text_max) {
            return usage_error("directory name too long (254 bytes at most):", arg);
        } else {
            dirs->emplace_back(arg);
        }
    }
    return 0;
}

int main(int argc, char **argv)
{
    plat_init();
    std::vector<std::string> dirs;
    // UTF-8 whatever the system's code page, so that every folder name arrives whole.
    int status = parse_arguments(plat_arguments(argc, argv), &dirs);
    if (status != 0)
        return status;
    if (help_asked) {
        std::fputs(usage_text, stdout);
        return 0;
    }
    if (version_asked) {
        std::printf("vormlin %s\n", VORMLIN_VERSION); // the project version, set by CMake
        return 0;
    }
    if (dirs.empty())
        dirs.emplace_back(".");

    // A dry run works on the preview's table from its first call to its last.
    if (dry_run && preview_begin() != 0) {
        std::fputs("vormlin: dry runs are not possible on this system\n", stderr);
        return 2;
    }
    for (const std::string &dir : dirs) {
        // Checked at its turn: an earlier run may make it (a DIRECTORY of "games/ren").
        if (!vfs->entry_state(dir.c_str()).directory) {
            std::string text = "vormlin: not a directory: '" + dir + "'\n";
            plat_write_text(stderr, text.data(), text.size());
            status = 2;
            break;
        }
        int run_status = run_once(dir);
        if (status == 0)
            status = run_status;
    }
    if (dry_run)
        preview_end();
    release_catalogue();
    return status;
}
