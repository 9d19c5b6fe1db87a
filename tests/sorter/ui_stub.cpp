// Test front end of the sorter's engine: implements ui.h over the recorded state in
// ui_stub.h so tests can see every message and steer every answer.
#include "ui_stub.h"

#include "ui.h"

#include <algorithm>
#include <cstring>

ui_stub_state ui_stub;

void ui_stub_reset()
{
    ui_stub = ui_stub_state{};
}

void ui_message(bool owned, const char *text, const char *caption)
{
    ui_stub.messages.push_back({owned, text ? text : "", caption ? caption : ""});
}

bool ui_progress(const run_progress *progress)
{
    ui_stub.progress.push_back(*progress);
    if (ui_stub.between_files != nullptr && progress->done > 0)
        ui_stub.between_files(progress->done);
    return ui_stub.stop_after < 0 || progress->done < static_cast<unsigned>(ui_stub.stop_after);
}

void ui_file_done(const file_report *report)
{
    ui_stub.files.push_back({report->path ? report->path : "", report->outcome,
                             report->what ? report->what : "", report->fate, report->rewritten,
                             report->split});
}

void ui_note(const char *text)
{
    ui_stub.notes.push_back(text != nullptr ? text : "");
}
