// The dumper's output settings and their defaults.
#include "settings.h"

int info_level = info_catalogue;
bool crc_output = true;
