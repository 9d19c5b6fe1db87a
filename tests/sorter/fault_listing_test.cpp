// Files that vanish or change between the directory listing and their turn: the real scan
// (walk_directory) and per-file step (process_image), with the directory altered while the
// scan is under way. A vanished file is passed over; a changed one is handled by what it
// holds when read.
#include "catalogue.h"
#include "catalogue_fixture.h"
#include "crc.h"
#include "fdsgen.h"
#include "options.h"
#include "process.h"
#include "run.h"
#include "test_images.h"
#include "test_support.h"
#include "ui_stub.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

std::string scan_dir;
bytes replacement;

// Before the first file is processed, b.fds vanishes and c.fds gets other bytes.
unsigned alter_then_process(const char *name, const char *dir, unsigned options)
{
    if (std::string(name) == "a.fds") {
        std::remove((scan_dir + "b.fds").c_str());
        write_file_bytes(scan_dir + "c.fds", replacement);
    }
    return process_image(name, dir, options);
}

TEST(FaultListing, AFileThatVanishesIsPassedOverAndAChangedOneIsTakenAsItIsNow)
{
    reset_catalogue_for_tests();
    ui_stub_reset();
    crc_build_table();
    scratch_cwd cwd{"listing"};
    ASSERT_FALSE(cwd.dir.empty());
    gen_side known = gen_make_side("LIST", 0, 3, 77);
    add_catalogue_entry("Known.fds", 1, 1, crcs_of(known));
    replacement = gen_image_of({known}, true);
    scan_dir = cwd.dir + "/";
    bytes junk = {'j', 'u', 'n', 'k'};
    for (const char *name : {"a.fds", "b.fds", "c.fds"})
        ASSERT_TRUE(write_file_bytes(scan_dir + name, junk));
    walk_directory(scan_dir.c_str(), alter_then_process, "*.fds", opt_scan);
    std::map<std::string, bytes> expected = {{"bad/a.fds", junk}, {"ren/Known.fds", replacement}};
    EXPECT_EQ(expected, snapshot_tree(cwd.dir));
    ASSERT_EQ(2u, ui_stub.files.size()); // b.fds never reached the per-file step
    EXPECT_EQ(scan_dir + "c.fds", ui_stub.files[1].path);
    reset_catalogue_for_tests();
}

} // namespace
