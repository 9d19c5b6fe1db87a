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

bool ui_is_checked(int control_id)
{
    return std::find(ui_stub.checked_ids.begin(), ui_stub.checked_ids.end(), control_id) !=
           ui_stub.checked_ids.end();
}

std::string ui_directory_text()
{
    return ui_stub.directory;
}

void ui_set_version_label(const char *text)
{
    ui_stub.version_label = text ? text : "";
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
