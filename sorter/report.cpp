// The missing-games report: miss.txt lists the listed first sides that no run has found.
#include "report.h"

#include "catalogue.h"
#include "ui.h"
#include "vfs.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned few_missing = 10;

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

void write_missing_report(int mode)
{
    if (mode == report_games_window) {
        ui_message(false,
                   "This is supposed to show a window with available games.\n"
                   "For now, run this in an empty dir and read miss.txt",
                   "Not Implemented");
        return;
    }
    // Text mode: the platform's line ends.
    std::FILE *f = vfs->create_text("miss.txt");
    if (f == nullptr)
        return;
    unsigned missing = 0;
    for (int i = 1; i < row_count && i < catalogue_capacity; i++) {
        if (is_missing(catalogue[i])) {
            std::fprintf(f, "%s\n", catalogue[i].name);
            missing++;
        }
    }
    if (missing < few_missing)
        std::fprintf(f, "\nYou miss only %u games!\n", missing);
    else
        std::fprintf(f, "\nYou miss %u games.  Keep looking...\n", missing);
    std::fclose(f);
}
