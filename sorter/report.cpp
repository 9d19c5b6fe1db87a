// The missing-games report: miss.txt lists the listed first sides that no run has found.
#include "report.h"

#include "catalogue.h"
#include "journal.h"
#include "recovery.h"
#include "ui.h"
#include "vfs.h"

#include <cstdio>
#include <cstring>
#include <string>

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

static std::string report_text()
{
    std::string text;
    unsigned missing = 0;
    for (int i = 1; i < row_count && i < catalogue_capacity; i++) {
        if (is_missing(catalogue[i])) {
            text += std::string(catalogue[i].name) + plat_line_end;
            missing++;
        }
    }
    char last[80];
    if (missing < few_missing)
        std::snprintf(last, sizeof last, "%sYou miss only %u games!%s", plat_line_end, missing,
                      plat_line_end);
    else
        std::snprintf(last, sizeof last, "%sYou miss %u games.  Keep looking...%s", plat_line_end,
                      missing, plat_line_end);
    return text + last;
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
    vfs_file *f = vfs->create_new(hidden_report_name);
    if (f == nullptr)
        return -1;
    bool written = vfs_write(f, report_text()) && vfs_sync(f) == 0;
    if (vfs_close(f) == 0 && written &&
        vfs->replace_file(hidden_report_name, report_file_name) == 0)
        return 0;
    vfs->remove_own_file(hidden_report_name);
    return -1;
}
