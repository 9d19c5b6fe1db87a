// The dumper's entry: reads the options, then reports each image named on the command line,
// or with "*" every "*.fd?", then every "*.fa?" and then every "*.qd" file of the current
// directory.
#include "command_line.h"
#include "crc.h"
#include "platform.h"
#include "quick_disk.h"
#include "scan.h"
#include "side_report.h"

#include <cstdio>
#include <string>
#include <vector>

static void print_usage()
{
    static const char usage[] =
        "\nFDS data dumping utility.\n"
        "---------------------------------------------------------------\n"
        "Usage:    QUINDLE [filename]\n          QUINDLE * or QUINDLE *.* - current dir only\n\n"
        "Redirect: QUINDLE * > quindle.txt\n          QUINDLE | more - pipe\n\n"
        "Options : -i More Info\n          -o No CRC data\n"
        "Options : -x Extra Info\n\n";
    plat_write_text(stdout, usage, sizeof usage - 1);
}

// Every image file of the current directory; nothing when it cannot be fetched.
static void report_current_dir()
{
    char cwd[current_dir_buffer_size];
    if (plat_current_dir(cwd, sizeof cwd) != 0)
        return;
    std::string dir = std::string(cwd) + plat_sep;
    scan_directory(dir.c_str(), "*.fd?", side_report);
    scan_directory(dir.c_str(), "*.fa?", side_report);
    scan_directory(dir.c_str(), qd::file_pattern, side_report);
}

static void report_file_argument(const char *argument)
{
    std::string dir, name;
    split_file_argument(argument, &dir, &name);
    side_report(name.c_str(), dir.empty() ? nullptr : dir.c_str());
}

// Reports what the arguments name; the program's exit status (always 0).
static int report_arguments(int argc, const char *const *argv)
{
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

int main(int argc, char **argv)
{
    plat_init();
    // UTF-8 whatever the system's code page, so that every name reaches the reports whole.
    std::vector<std::string> words = plat_arguments(argc, argv);
    std::vector<const char *> args;
    for (const std::string &w : words)
        args.push_back(w.c_str());
    return report_arguments(static_cast<int>(args.size()), args.data());
}
