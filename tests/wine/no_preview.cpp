// The command line's preview for the Windows engine driver: there is none (the preview keeps
// its planned files in POSIX memory streams), so a dry run is refused as on any such system.
#include "preview.h"

int preview_begin()
{
    return -1;
}

void preview_end()
{
}

bool preview_bytes(const char *, std::string *)
{
    return false;
}
