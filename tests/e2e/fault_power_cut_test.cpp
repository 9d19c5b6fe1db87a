// A power cut, or a disk pulled out, at any point of a sort, then one more run: no input is
// lost (a), nothing under a name that scans or users read holds bytes that are neither an
// input nor a file a completed run writes (b), and the tree is the one a kill at the same
// point leaves after one more run (c).
//
// The model: the sorter's run is recorded through the file-system table, in process. A crash
// after any operation keeps every change to names (create, rename, remove, make directory)
// made up to it, in program order, and of each file it created the bytes up to its last
// sync: what was written after it is lost whole. The same point as a kill keeps every byte
// written. Both trees are built from a copy of the collection, the real sorter is run once
// more on each, and the results are judged. Writes change no name and nothing synced, so the
// crash points are the start and the end of every other operation.
#include "batch.h"
#include "crash_collections.h"
#include "fault_fixture.h"
#include "recording_fs.h"
#include "ui_stub.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace fault_e2e;

// Bytes as a text, which orders them cheaply.
std::string text_of(const bytes &data)
{
    return std::string(data.begin(), data.end());
}

std::string path_file_name(const std::string &path)
{
    return path.substr(path.rfind('/') + 1);
}

bool hidden(const std::string &path)
{
    return path.starts_with(".") || path.find("/.") != std::string::npos;
}

// What a crashed and finished tree breaks of (a) and (b): inputs it lost, visible files it
// holds that neither the inputs nor a completed run hold.
std::string judge(const tree_state &got, const std::set<std::string> &inputs,
                  const std::set<std::string> &allowed, bool *lost, bool *stray)
{
    std::set<std::string> present;
    std::string out;
    for (const auto &[path, data] : got.files) {
        present.insert(text_of(data));
        if (!hidden(path) && path != "miss.txt" && allowed.count(text_of(data)) == 0) {
            *stray = true;
            add_note(&out, "(b) stray bytes in", path);
        }
    }
    for (const std::string &data : inputs) {
        if (present.count(data) == 0) {
            *lost = true;
            add_note(&out, "(a) lost an input of", std::to_string(data.size()) + " bytes");
        }
    }
    return out;
}

class PowerCutTest : public FaultTest {
  protected:
    void TearDown() override
    {
        remove_tree(trials);
        FaultTest::TearDown();
    }

    // The crash at upto, replayed on a fresh copy and run once more: the tree it ends with.
    bool crash_and_finish(const collection &c, const fs_recording &r, std::size_t upto,
                          crash_kind crash, tree_state *before, tree_state *after)
    {
        std::string dir = copy_collection(work, c, trials + "/crashed");
        if (dir.empty() || !replay(r, upto, crash, dir))
            return false;
        *before = state_of(dir);
        int status = vormlin(c.args, dir).status;
        *after = state_of(dir);
        std::string leftovers;
        add_leftovers(*after, &leftovers);
        return (status == 0 || status == 3) && leftovers.empty();
    }

    std::string trials = make_scratch_dir("power");
};

TEST_F(PowerCutTest, ACrashAtAnyPointThenOneRunLosesNothingPublishesNothingIncompleteAndEndsAsAKill)
{
    // The first collection once more in groups of two: its kept journals are then written
    // anew over those of changes that stand.
    std::vector<collection> all = crash_collections(solo, pair1, pair2, quad);
    all.push_back(all[0]);
    all.back().label = "current_dir in groups of two";
    for (const collection &c : all) {
        SCOPED_TRACE(c.label);
        group_size = &c == &all.back() ? 2 : slot_count - 1;
        std::string ref = copy_collection(work, c, trials + "/reference");
        ASSERT_EQ(0, vormlin(c.args, ref).status);
        tree_state want = state_of(ref, true);
        fs_recording r;
        std::string recorded = copy_collection(work, c, trials + "/recorded");
        ASSERT_EQ(run_done, sort_recorded(c.args, recorded, &r).ending);
        group_size = slot_count - 1;
        ASSERT_EQ("", tree_difference(want, state_of(recorded, true)))
            << "the recorded run differs from the program's";

        // A "tmp" file is rewritten in place by design, so only the others must survive as
        // they are; every input's bytes may stand under a visible name.
        std::set<std::string> inputs, allowed;
        for (const auto &[path, data] : c.files) {
            if (!path_file_name(path).starts_with("tmp"))
                inputs.insert(text_of(data));
            allowed.insert(text_of(data));
        }
        for (const auto &[path, data] : want.files)
            allowed.insert(text_of(data));
        std::vector<std::size_t> points{0};
        for (std::size_t i = 0; i < r.ops.size(); i++) {
            if (r.ops[i].kind != op_write)
                points.push_back(i + 1);
        }
        int kept[3] = {}, data_lost = 0, failed = 0;
        std::string detail;
        for (std::size_t upto : points) {
            tree_state cut, cut_done, killed, killed_done;
            bool finished = crash_and_finish(c, r, upto, crash_power_cut, &cut, &cut_done) &&
                            crash_and_finish(c, r, upto, crash_kill, &killed, &killed_done);
            bool lost = false, stray = false;
            std::string problem = judge(cut_done, inputs, allowed, &lost, &stray);
            bool same = finished && tree_difference(killed_done, cut_done).empty();
            if (!finished)
                add_note(&problem, "rerun", "failed or left its own files");
            if (!same)
                add_note(&problem,
                         "(c) differs from a kill:", tree_difference(killed_done, cut_done));
            kept[0] += !lost;
            kept[1] += !stray;
            kept[2] += same;
            data_lost += tree_difference(killed, cut).empty() ? 0 : 1;
            if (!problem.empty() && failed++ < 8)
                detail += "\n  after " + std::to_string(upto) + " operations: " + problem;
        }
        std::printf("[ power cut ] %s: %zu operations, %zu crash states (%d losing unsynced "
                    "data); (a) held in %d, (b) in %d, (c) in %d\n",
                    c.label, r.ops.size(), points.size(), data_lost, kept[0], kept[1], kept[2]);
        EXPECT_EQ(0, failed) << failed << " of " << points.size() << " crash states:" << detail;
        // Without states that lose written data, the sweep would prove nothing a kill does not.
        EXPECT_GT(data_lost, 0);
    }
}

// Rewrites are planned ahead and made durable together; a file changed, or a name taken,
// before a planned change's turn makes that change go (its journal before anything else of
// that file is touched) and the file is rewritten as it is then.
bytes changed_bytes;

void change_files_after_the_first(unsigned done)
{
    if (done != 1)
        return;
    write_file_bytes("games/c.fds", changed_bytes);
    write_file_bytes("games/bak/b.fds", text_bytes("the user's"));
}

TEST_F(PowerCutTest, APlannedChangeOverTakenByTheUserIsDroppedAndTheFileRewrittenAsItIsThen)
{
    std::string games = dir("games");
    bytes one = raw_sides({solo}), two = raw_sides({pair1, pair2});
    changed_bytes = raw_sides({quad});
    for (const char *name : {"a.fds", "c.fds"})
        ASSERT_TRUE(write_file_bytes(games + "/" + name, one));
    ASSERT_TRUE(write_file_bytes(games + "/b.fds", two));
    fs_recording r;
    ui_stub.between_files = change_files_after_the_first;
    run_summary s = sort_recorded({"games"}, work, &r);
    ui_stub.between_files = nullptr;
    ASSERT_EQ(run_done, s.ending);
    EXPECT_EQ(0u, s.failed);
    EXPECT_EQ((std::map<std::string, bytes>{{"bak/a.fds", one},
                                            {"bak/b.fd0", two},
                                            {"bak/b.fds", text_bytes("the user's")},
                                            {"bak/c.fds", changed_bytes},
                                            {"ren/Pair.fds", with_header(two, 2)},
                                            {"ren/Quad.fds", with_header(changed_bytes, 1)},
                                            {"ren/Solo.fds", with_header(one, 1)}}),
              snapshot_tree(games))
        << "a planned change was made after its file or names changed";

    // b's and c's changes were planned with a's in one sync, then dropped: each journal went
    // before its file was touched again.
    std::size_t syncs = 0;
    for (const fs_op &op : r.ops)
        syncs += op.kind == op_sync ? 1 : 0;
    EXPECT_LT(syncs, 3u * 4u) << "no more syncs than rewrites on their own";
    for (const char *name : {"b.fds", "c.fds"}) {
        SCOPED_TRACE(name);
        std::map<int, std::string> created;
        int journal = -1;
        std::size_t first_move = r.ops.size(), dropped = r.ops.size();
        for (std::size_t i = 0; i < r.ops.size(); i++) {
            const fs_op &op = r.ops[i];
            if (op.kind == op_create)
                created[op.file] = op.path;
            if (op.kind == op_write && journal < 0 &&
                op.data.starts_with("move\t" + std::string(name)))
                journal = op.file; // the journal of its planned change
            bool journal_gone =
                (op.kind == op_rewind && op.file == journal) ||
                (op.kind == op_remove && journal >= 0 && op.path == created[journal]);
            if (journal_gone && dropped == r.ops.size())
                dropped = i;
            if (op.kind == op_move && op.path == std::string("games/") + name && first_move > i)
                first_move = i;
        }
        EXPECT_LE(0, journal);
        EXPECT_LT(dropped, first_move);
    }
}

// A temporary image split off into the scanned directory comes before files whose changes
// are planned: the scan's list is made anew then, and the planned changes must keep their
// files' names.
TEST_F(PowerCutTest, PlannedChangesOutliveTheScanListMadeAnewForATemporaryImage)
{
    collection c{"temporary image first", {"."}, {}};
    c.files["a.fds"] = raw_sides({solo, pair2, quad});
    for (const char *name : {"u such a long name.fds", "v such a long name.fds"})
        c.files[name] = raw_sides({quad});
    std::string ref = copy_collection(work, c, trials + "/reference");
    ASSERT_EQ(0, vormlin(c.args, ref).status);
    std::string recorded = copy_collection(work, c, trials + "/recorded");
    fs_recording r;
    ASSERT_EQ(run_done, sort_recorded(c.args, recorded, &r).ending);
    EXPECT_EQ("", tree_difference(state_of(ref), state_of(recorded)));
}

} // namespace
