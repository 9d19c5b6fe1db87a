// Directory scan over the platform's wildcard search.
#include "scan.h"

#include "platform.h"

void scan_directory(const char *dir, const char *pattern, scan_operation op)
{
    plat_entry entry;
    plat_search *search = plat_find_first(dir, pattern != nullptr ? pattern : "*.*", &entry);
    if (search == nullptr)
        return;
    do {
        if (plat_entry_is_scanned(entry))
            op(entry.name, dir);
    } while (plat_find_next(search, &entry));
    plat_find_close(search);
}
