// A disk that fails while the sorter writes or renames: one chosen call of the run fails
// through the file-system table, as on a full or failing disk. The file it was for is left
// as it was (or, once a backup stands, its original put back), the run goes on and says
// "fwrite() error" where a write failed, and no byte of any input is lost.
#include "fault_fixture.h"
#include "recording_fs.h"
#include "ui_stub.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

using namespace fault_e2e;
using tree = std::map<std::string, bytes>;

struct failing_call {
    const char *label;
    tree files; // of games/
    fs_op_kind kind;
    const char *path; // the failing call's path ends so
    const char *what; // the file's account holds this
    tree left = {};   // games/ afterwards; empty: as it was
    bool file_failed = true;
};

bool said(const char *text)
{
    for (const ui_recorded_message &m : ui_stub.messages) {
        if (m.text == text)
            return true;
    }
    return false;
}

TEST_F(FaultTest, AFailingWriteSyncOrRenameLeavesTheFileAsItWasAndTheRunGoesOn)
{
    bytes one = raw_sides({solo}), three = raw_sides({solo, pair2, quad}),
          two = raw_sides({pair1, pair2}), unknown = raw_sides({side_of(999)});
    const failing_call calls[] = {
        {"image written",
         {{"solo.fds", one}},
         op_write,
         ".vormlin-image",
         "games/solo.fds could not be written; left unchanged"},
        {"image synced",
         {{"solo.fds", one}},
         op_sync,
         ".vormlin-image",
         "games/solo.fds could not be written; left unchanged"},
        {"unknown image written",
         {{"unk.fds", unknown}},
         op_write,
         ".vormlin-image",
         "games/unk.fds could not be written; left unchanged"},
        {"journal written",
         {{"solo.fds", one}},
         op_write,
         ".vormlin-journal",
         "backup into bak failed: games/.vormlin-journal could not be written; left unchanged"},
        {"image published",
         {{"solo.fds", one}},
         op_move,
         "games/solo.fds",
         "games/solo.fds could not be created; original put back in place"},
        {"backup",
         {{"solo.fds", one}},
         op_move,
         "bak/solo.fds",
         "backup into bak failed; left unchanged"},
        {"split written",
         {{"three.fds", three}},
         op_write,
         ".vormlin-split",
         "2 surplus side(s) could not be written to tmp0000.fds",
         {{"bak/three.fds", three}, {"ren/Solo.fds", with_header(one, 1)}},
         false},
        {"in place, split written",
         {{"tmpgame.fds", three}},
         op_write,
         ".vormlin-split",
         "left unchanged"},
        {"in place, image written",
         {{"tmpgame.fds", one}},
         op_write,
         ".vormlin-image",
         "left unchanged"},
        {"in place, unknown image written",
         {{"tmpgame.fds", unknown}},
         op_write,
         ".vormlin-image",
         "left unchanged"},
        {"in place, replaced", {{"tmpgame.fds", two}}, op_replace, "tmpgame.fds", "left unchanged"},
    };
    for (const failing_call &c : calls) {
        SCOPED_TRACE(c.label);
        std::string games = dir("games");
        for (const auto &[name, data] : c.files)
            ASSERT_TRUE(write_file_bytes(games + "/" + name, data));
        fs_recording r;
        r.fail_kind = c.kind;
        r.fail_path = c.path;
        r.fail_at = 1;
        run_summary s = sort_recorded({"games"}, work, &r);
        EXPECT_LE(1, r.calls) << "the call never came";
        EXPECT_EQ(run_done, s.ending);
        EXPECT_EQ(c.file_failed ? 1u : 0u, s.failed);
        ASSERT_EQ(1u, ui_stub.files.size());
        EXPECT_NE(std::string::npos, ui_stub.files[0].what.find(c.what)) << ui_stub.files[0].what;
        if (c.kind == op_write && std::string(c.path) != ".vormlin-journal") {
            EXPECT_TRUE(said("fwrite() error"));
        }
        EXPECT_EQ(c.left.empty() ? c.files : c.left, snapshot_tree(games));
        std::set<std::string> beside;
        for (const std::string &p : list_tree(work)) {
            if (!p.starts_with("games/"))
                beside.insert(p);
        }
        EXPECT_EQ((std::set<std::string>{"ingredients.dat", "miss.txt"}), beside);
        remove_tree(games);
    }
}

TEST_F(FaultTest, TheDumperReportsToAFullOutputWithoutDying)
{
    std::string games = dir("games");
    ASSERT_TRUE(write_file_bytes(games + "/solo.fds", gen_image_of({solo}, true)));
    // Every write of quindle's output fails as on a full disk: it goes on and ends well.
    std::vector<std::string> argv = {"/bin/sh", "-c",
                                     "exec \"$0\" -x solo.fds solo.fds > /dev/full", QUINDLE_PATH};
    run_result r = run_program(argv, games);
    EXPECT_EQ(0, r.status) << "killed by a signal?";
}

} // namespace
