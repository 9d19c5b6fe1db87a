// Directory scan over the platform's wildcard search.
#include "scan.h"

#include "vfs.h"

static void visit_file(const char *name, const char *dir, void *context)
{
    (*static_cast<scan_operation *>(context))(name, dir);
}

void scan_directory(const char *dir, const char *pattern, scan_operation op)
{
    vfs_walk(dir, pattern != nullptr ? pattern : "*.*", visit_file, &op);
}
