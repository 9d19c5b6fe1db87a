// What the sorter's engine asks of its front end: the Win32 dialog on Windows, the command
// line on POSIX. Each front end implements these; the engine never knows which it has.
#pragma once

#include <cstddef>
#include <string>

// Shows a message and waits until the user has seen it. owned: owned by the main dialog
// (otherwise a box without owner window).
void ui_message(bool owned, const char *text, const char *caption);

// Whether the check box with this control id is checked.
bool ui_is_checked(int control_id);

// The directory field's text, whole, as UTF-8.
std::string ui_directory_text();

// Replaces the version label's text.
void ui_set_version_label(const char *text);

// Where a processed file ended, for the front ends' tallies.
enum file_fate {
    fate_failed,       // unreadable, or a step it needed failed: left in place (or in bak)
    fate_identified,   // a complete catalogue image, moved into ren
    fate_duplicate,    // a complete image whose name ren already held, moved into dupes
    fate_partial,      // part of a catalogue image, moved into parts
    fate_unidentified, // matches no catalogue image: left in place, normalised if it had to be
    fate_bad,          // no disk side: moved into bad
    fate_rom,          // no disk side, a cartridge image: moved into rom
};

struct file_report {
    const char *path;
    unsigned outcome; // the outcome word process_image returns
    file_fate fate;
    bool rewritten;   // a normalised image was written
    bool split;       // surplus sides were written into a temporary image
    const char *what; // a short description of what was done and where the file went
};

// One processed file: what happened to it. Front ends may ignore it.
void ui_file_done(const file_report *report);

// A line about the run beyond any one file, such as a step of an interrupted sort that
// recovery undid. Front ends may ignore it.
void ui_note(const char *text);
