// The missing-games report, miss.txt.
#pragma once

// Whether a catalogue name carries a side tag " (%uo%u)" at its last parenthesis.
bool has_side_tag(const char *name);

// Mode 1: tell the user that the games window does not exist. Otherwise write miss.txt.
void write_missing_report(int mode);
