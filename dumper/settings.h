// The dumper's two process-wide output settings, fixed from the options before the first report.
#pragma once

// How much the report prints per side.
enum info_levels {
    info_catalogue = 0, // catalogue lines alone
    info_more = 1,      // disk header text in front of each catalogue line
    info_extra = 2,     // disk header text and a table of the side's files
};

extern int info_level;  // one of info_levels
extern bool crc_output; // off: no block checks, no catalogue prefix, no CRCs
