// The dumper's entry: reads the options, then reports each image named on the command line,
// or with "*" every "*.fd?" and then every "*.fa?" file of the current directory.
#include "command_line.h"
#include "crc.h"
#include "platform.h"
#include "scan.h"
#include "side_report.h"

#include <cstdio>
#include <string>

static void print_usage()
{
    std::fputs("\nFDS data dumping utility.\n", stdout);
    std::fputs("---------------------------------------------------------------\n", stdout);
    std::fputs("Usage:    QUINDLE [filename]\n          QUINDLE * or QUINDLE *.* - current "
               "dir only\n\n",
               stdout);
    std::fputs("Redirect: QUINDLE * > quindle.txt\n          QUINDLE | more - pipe\n\n", stdout);
    std::fputs("Options : -i More Info\n          -o No CRC data\n", stdout);
    std::fputs("Options : -x Extra Info\n\n", stdout);
}

// Every image file of the current directory; nothing when it cannot be fetched.
static void report_current_dir()
{
    // Generous, so that any directory the platform can name fits whole.
    char cwd[4096];
    if (plat_current_dir(cwd, sizeof cwd) != 0)
        return;
    std::string dir = std::string(cwd) + plat_sep;
    scan_directory(dir.c_str(), "*.fd?", side_report);
    scan_directory(dir.c_str(), "*.fa?", side_report);
}

static void report_file_argument(const char *argument)
{
    std::string dir, name;
    split_file_argument(argument, &dir, &name);
    side_report(name.c_str(), dir.empty() ? nullptr : dir.c_str());
}

int main(int argc, char **argv)
{
    plat_init();
    if (argc < 2) {
        print_usage();
        return 0;
    }
    crc_build_table();
    int first = apply_options(argc, argv);
    if (first >= argc) {
        // Options alone name no file.
        print_usage();
        return 0;
    }
    if (argv[first][0] == '*') {
        report_current_dir();
        return 0;
    }
    for (int k = first; k < argc; k++)
        report_file_argument(argv[k]);
    return 0;
}
