// The missing-games report, miss.txt.
#pragma once

// Whether a catalogue name carries a side tag " (%uo%u)" at its last parenthesis.
bool has_side_tag(const char *name);

// What write_missing_report does.
inline constexpr int report_write = 0;        // write miss.txt (the end of every run)
inline constexpr int report_games_window = 1; // tell the user the games window does not exist

// Writes miss.txt: it appears complete or not at all. 0 when written (or for the games
// window); nonzero when it could not be, and then the file there is unchanged.
int write_missing_report(int mode);
