// A silent front end for the sorter's engine while fuzzing: the messages are only checked
// for being proper texts, nothing is shown.
#include "ui.h"

#include <cstring>

void ui_message(bool, const char *text, const char *caption)
{
    // A message must be a terminated text; strlen makes the sanitizer see every byte.
    (void)std::strlen(text);
    (void)std::strlen(caption);
}

bool ui_progress(const run_progress *)
{
    return true;
}

void ui_file_done(const file_report *report)
{
    (void)std::strlen(report->path);
    (void)std::strlen(report->what);
}

void ui_note(const char *text)
{
    (void)std::strlen(text);
}
