// Listing the plain files of a directory that match a wildcard pattern.
#pragma once

// Called with the entry's name and the directory it was found in.
using scan_operation = void (*)(const char *name, const char *dir);

// Calls op for every plain file of dir (empty or ending in the separator) whose name matches
// pattern (nullptr stands for "*.*"), in the platform's listing order. Names beginning with
// "." and directories are passed over.
void scan_directory(const char *dir, const char *pattern, scan_operation op);
