// What the sorter's engine asks of its front end: the Win32 dialog on Windows, the command
// line on POSIX. Each front end implements these; the engine never knows which it has.
#pragma once

#include <cstddef>

// Shows a message and waits until the user has seen it. owned: owned by the main dialog
// (otherwise a box without owner window).
void ui_message(bool owned, const char *text, const char *caption);

// Whether the check box with this control id is checked.
bool ui_is_checked(int control_id);

// The directory field's text, at most size - 1 characters, terminated.
void ui_directory_text(char *buf, std::size_t size);

// Replaces the version label's text.
void ui_set_version_label(const char *text);

// One processed file: what happened to it (the outcome word and a short description of
// where it went). Front ends may ignore it.
void ui_file_done(const char *path, unsigned outcome, const char *what);
