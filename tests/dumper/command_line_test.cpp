// Option letters, the end of the options, and the split of file arguments.
#include "command_line.h"
#include "platform.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct option_case {
    std::vector<const char *> args; // after the program name
    int first_file;                 // index into argv, program name at 0
    int level;
    bool crc;
};

TEST(ApplyOptions, SetsTheLevelsInOrderAndStopsAtTheFirstFile)
{
    const option_case cases[] = {
        {{"game.fds"}, 1, 0, true},
        {{"-i", "game.fds"}, 2, 1, true},
        {{"-I", "game.fds"}, 2, 1, true},
        {{"-info", "game.fds"}, 2, 1, true},
        {{"-x", "game.fds"}, 2, 2, true},
        {{"-X"}, 2, 2, true},
        {{"-x", "-i", "game.fds"}, 3, 1, true},
        {{"-i", "-x", "game.fds"}, 3, 2, true},
        {{"-o", "game.fds"}, 2, 0, false},
        {{"-O", "-x"}, 3, 2, false},
        {{"-q", "-", "game.fds"}, 3, 0, true},
        {{"game.fds", "-x"}, 1, 0, true},
        {{"-i", "a.fds", "-o"}, 2, 1, true},
    };
    for (const option_case &c : cases) {
        info_level = 0;
        crc_output = true;
        std::vector<const char *> argv{"quindle"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        int first = apply_options(static_cast<int>(argv.size()), argv.data());
        std::string label = c.args.empty() ? "" : c.args[0];
        EXPECT_EQ(first, c.first_file) << label;
        EXPECT_EQ(info_level, c.level) << label;
        EXPECT_EQ(crc_output, c.crc) << label;
    }
    info_level = 0;
    crc_output = true;
}

TEST(SplitFileArgument, SplitsAtTheLastSeparator)
{
    const std::string s(1, plat_sep);
    struct {
        std::string argument, dir, name;
    } cases[] = {
        {"disk.fds", "", "disk.fds"},
        {"images" + s + "disk.fds", "images" + s, "disk.fds"},
        {"a" + s + "b" + s + "disk.fds", "a" + s + "b" + s, "disk.fds"},
        {"images" + s, "images" + s, ""},
        {s + "disk.fds", s, "disk.fds"},
        {"", "", ""},
    };
    for (const auto &c : cases) {
        std::string dir = "stale", name = "stale";
        split_file_argument(c.argument, &dir, &name);
        EXPECT_EQ(dir, c.dir) << c.argument;
        EXPECT_EQ(name, c.name) << c.argument;
    }
}

} // namespace
