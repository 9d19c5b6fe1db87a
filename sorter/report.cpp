// The missing-games report: miss.txt lists the listed first sides that no run has found.
#include "report.h"

#include "catalogue.h"
#include "journal.h"
#include "recovery.h"
#include "ui.h"
#include "vfs.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned few_missing = 10;
constexpr char report_file_name[] = "miss.txt";

bool is_missing(const cat_entry &e)
{
    return e.found == 0 && e.listed != 0 && !has_side_tag(e.name);
}

} // namespace

bool has_side_tag(const char *name)
{
    const char *open = std::strrchr(name, '(');
    // The tag is "(", a digit, "o", a digit, ")": four characters after the parenthesis.
    if (open == nullptr || std::strlen(open) < 5)
        return false;
    return open[2] == 'o' && open[4] == ')';
}

// miss.txt is replaced, never written into: a link or any other non-regular file standing
// there is left alone and reported.
static bool report_target_is_ours()
{
    plat_entry_state state = vfs->entry_state(report_file_name);
    if (!state.exists || (state.plain_file && !state.link))
        return true;
    ui_message(true, "miss.txt was not written: it is not a regular file.", "VORMLIN");
    return false;
}

static void write_report_lines(std::FILE *f)
{
    unsigned missing = 0;
    for (int i = 1; i < row_count && i < catalogue_capacity; i++) {
        if (is_missing(catalogue[i])) {
            std::fprintf(f, "%s%s", catalogue[i].name, plat_line_end);
            missing++;
        }
    }
    if (missing < few_missing)
        std::fprintf(f, "%sYou miss only %u games!%s", plat_line_end, missing, plat_line_end);
    else
        std::fprintf(f, "%sYou miss %u games.  Keep looking...%s", plat_line_end, missing,
                     plat_line_end);
}

int write_missing_report(int mode)
{
    if (mode == report_games_window) {
        ui_message(false,
                   "This is supposed to show a window with available games.\n"
                   "For now, run this in an empty dir and read miss.txt",
                   "Not Implemented");
        return 0;
    }
    if (!report_target_is_ours())
        return -1;
    remove_leftover(hidden_report_name); // from a killed run
    std::FILE *f = vfs->create_new(hidden_report_name);
    if (f == nullptr)
        return -1;
    write_report_lines(f);
    bool written = std::ferror(f) == 0 && vfs->sync_file(f) == 0;
    if (std::fclose(f) == 0 && written &&
        vfs->replace_file(hidden_report_name, report_file_name) == 0)
        return 0;
    vfs->remove_own_file(hidden_report_name);
    return -1;
}
