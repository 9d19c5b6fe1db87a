// Replays every kept fuzz finding (fuzz/regressions/<target>/) and every generated seed
// through the fuzz targets' own entry points, so that the normal suite guards what fuzzing
// once found.
#include "fuzz_entries.h"
#include "fuzz_seed_set.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

typedef int (*fuzz_entry)(const std::uint8_t *, std::size_t);

struct target {
    const char *name;
    fuzz_entry entry;
};

const target targets[] = {
    {"side_report", fuzz_side_report}, {"catalogue", fuzz_catalogue}, {"identify", fuzz_identify},
    {"process", fuzz_process},         {"recovery", fuzz_recovery},
};

class FuzzReplay : public ::testing::TestWithParam<target> {};

TEST_P(FuzzReplay, KeptFindingsKeepEveryPromise)
{
    std::string dir = std::string(FUZZ_REGRESSIONS_DIR) + "/" + GetParam().name;
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
    for (const auto &file : std::filesystem::directory_iterator(dir)) {
        if (!file.is_regular_file())
            continue;
        bytes input = read_file_bytes(file.path().string());
        EXPECT_EQ(0, GetParam().entry(input.data(), input.size()))
            << file.path() << ": " << fuzz_last_problem();
    }
}

TEST_P(FuzzReplay, GeneratedSeedsKeepEveryPromise)
{
    std::vector<bytes> seeds = fuzz_seed_inputs(GetParam().name);
    ASSERT_GE(seeds.size(), 9u);
    for (std::size_t i = 0; i < seeds.size(); i++)
        EXPECT_EQ(0, GetParam().entry(seeds[i].data(), seeds[i].size()))
            << "seed " << i << ": " << fuzz_last_problem();
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(targets),
                         [](const ::testing::TestParamInfo<target> &param) {
                             return std::string(param.param.name);
                         });

} // namespace
