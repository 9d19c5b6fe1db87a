// Writes the seed corpus of every fuzz target, generated images only:
// make_seeds DIR  ->  DIR/<target>/seed-NNN.
#include "fuzz_seed_set.h"

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fputs("usage: make_seeds DIR\n", stderr);
        return 2;
    }
    int status = 0;
    for (const char *target : {"side_report", "catalogue", "identify", "process", "recovery"}) {
        std::string dir = std::string(argv[1]) + "/" + target;
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        int n = 0;
        for (const bytes &seed : fuzz_seed_inputs(target)) {
            char name[32];
            std::snprintf(name, sizeof name, "/seed-%03d", n++);
            if (!gen_write_file(dir + name, seed))
                status = 1;
        }
    }
    return status;
}
