// Test helpers for the sorter's global catalogue and the current directory.
#include "catalogue_fixture.h"

#include "catalogue.h"
#include "test_support.h"

#include <cstring>
#include <filesystem>

void reset_catalogue_for_tests()
{
    release_catalogue();
    for (cat_entry &e : catalogue)
        e = cat_entry{};
    row_count = 0;
}

int add_catalogue_entry(const std::string &name, int side_index, int side_count,
                        const std::vector<std::uint32_t> &crcs, int listed)
{
    if (row_count < 1)
        row_count = 1;
    cat_entry &e = catalogue[row_count];
    e = cat_entry{};
    std::memcpy(e.game_code, "TEST", 5);
    e.side_index = static_cast<std::int8_t>(side_index);
    e.side_count = static_cast<std::int8_t>(side_count);
    e.file_count = static_cast<std::int8_t>(crcs.size());
    e.listed = static_cast<std::int8_t>(listed);
    std::strncpy(e.name, name.c_str(), sizeof e.name - 1);
    e.crcs = crcs;
    return row_count++;
}

scratch_cwd::scratch_cwd(const std::string &tag)
    : dir(make_scratch_dir(tag)), previous(std::filesystem::current_path().string())
{
    std::error_code failed;
    if (!dir.empty())
        std::filesystem::current_path(dir, failed);
    if (failed)
        dir.clear();
}

scratch_cwd::~scratch_cwd()
{
    std::error_code ignored;
    std::filesystem::current_path(previous, ignored);
    if (!dir.empty())
        remove_tree(dir);
}
