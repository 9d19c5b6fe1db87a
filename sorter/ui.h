// What the sorter's engine asks of its front end: the Win32 dialog on Windows, the command
// line on POSIX. Each front end implements these; the engine never knows which it has.
#pragma once

#include "job.h" // file_report

// Shows a message and waits until the user has seen it. owned: owned by the main dialog
// (otherwise a box without owner window).
void ui_message(bool owned, const char *text, const char *caption);

// One processed file: what happened to it. Front ends may ignore it.
void ui_file_done(const file_report *report);

// A line about the run beyond any one file, such as a step of an interrupted sort that
// recovery undid. Front ends may ignore it.
void ui_note(const char *text);

struct run_progress {
    int rows;       // the catalogue's row count (the dialog shows it as "N!")
    unsigned done;  // files processed so far
    unsigned total; // files the run expects to process
};

// How far the run is: once the catalogue is loaded (done is 0), then after every file. The
// dialog repaints and shows it while the run holds its thread. False asks the run to stop
// before its next file.
bool ui_progress(const run_progress *progress);
