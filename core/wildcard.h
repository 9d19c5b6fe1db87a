// Wildcard matching and name order of the POSIX directory search (the order Windows'
// file system gives its listings).
#pragma once

// Whether name matches pattern: "*" any run of characters, "?" exactly one; ASCII letters
// compare case-insensitively.
bool wildcard_match(const char *pattern, const char *name);

// Orders names by their bytes with ASCII letters upper-cased, ties by plain byte order.
// Negative, zero or positive like strcmp.
int name_order(const char *a, const char *b);
