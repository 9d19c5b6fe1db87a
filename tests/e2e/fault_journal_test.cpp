// Journals the sorter did not write: planted ones, ones whose files are not the ones they
// name, and things that are no file at all stand at the journal's name. None of them may make
// the sorter touch anything outside the folder it sorts, nor any file it did not make. Also:
// an undo that fails keeps its journal, a preview shows what recovery would do, and a run
// that cannot lock its directories does nothing.
#include "fault_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace fault_e2e;

const std::string header = "vormlin-journal\t1\timage\t00000000DEADBEEF\n";

std::string identity_of(const bytes &data)
{
    char text[40];
    std::snprintf(text, sizeof text, "%zu\t%08X", data.size(),
                  static_cast<unsigned>(gen_crc32(data)));
    return text;
}

bytes text_bytes(const std::string &text)
{
    return bytes(text.begin(), text.end());
}

// Writes a file, making the directories it lies in.
bool put_file(const std::string &path, const bytes &data)
{
    std::error_code failed;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), failed);
    return !failed && write_file_bytes(path, data);
}

// A collection in games/ beside a folder outside it, whose files no journal in games/ may
// touch; and the tree one run over games/ leaves when no journal stands there.
class JournalTest : public FaultTest {
  protected:
    void SetUp() override
    {
        FaultTest::SetUp();
        ASSERT_TRUE(put_file(work + "/outside/thesis.txt", thesis));
        ASSERT_TRUE(put_file(work + "/outside/Documents/notes.txt", text_bytes("notes")));
        ASSERT_TRUE(write_collection(work + "/reference"));
        ASSERT_EQ(0, vormlin({"reference"}, work).status);
        sorted = state_of(work + "/reference");
        ASSERT_TRUE(write_collection(work + "/games"));
        outside = state_of(work + "/outside");
    }

    // raw.fds needs a new header (its original goes to bak), Quad.fds is placed as it is.
    bool write_collection(const std::string &dir)
    {
        return put_file(dir + "/raw.fds", raw) &&
               put_file(dir + "/Quad.fds", gen_image_of({quad}, true));
    }

    bool plant(const std::string &text, const std::string &slot = "")
    {
        return write_file_text(work + "/games/.vormlin-journal" + slot, text);
    }

    // What games/ must hold: the reference run's tree with extra entries.
    tree_state sorted_with(const std::map<std::string, bytes> &extra)
    {
        tree_state want = sorted;
        for (const auto &[path, data] : extra) {
            want.paths.insert(path);
            want.files[path] = data;
        }
        return want;
    }

    void expect_outside_untouched()
    {
        EXPECT_EQ("", tree_difference(outside, state_of(work + "/outside")));
    }

    const bytes thesis = text_bytes("my thesis");
    bytes raw = raw_sides({solo});
    tree_state sorted, outside;
};

struct planted_case {
    const char *label;
    std::string lines;     // behind the header; "" for a journal of the sorter's old format
    std::string slot = ""; // of the journal's name
};

TEST_F(JournalTest, APlantedJournalIsSetAsideWholeAndTouchesNothing)
{
    std::string abs = work + "/outside/thesis.txt";
    const planted_case cases[] = {
        {"new of a file outside", "new\t../outside/thesis.txt\n"},
        {"new by absolute path", "new\t" + abs + "\n"},
        {"publish over a file outside", "new\t.vormlin-image\npublish\t.vormlin-image\t"
                                        "../outside/thesis.txt\t" +
                                            identity_of(thesis) + "\n"},
        {"replace of a file outside", "new\t.vormlin-image\nreplace\t.vormlin-image\t"
                                      "../outside/thesis.txt\t" +
                                          identity_of(thesis) + "\n"},
        {"move of a folder outside", "move\t../outside/Documents\tbak/Documents\t1\t00000000\n"},
        {"move into another folder",
         "move\traw.fds\t../outside/raw.fds\t" + identity_of(raw) + "\n"},
        {"an escaped NUL", "new\t.vormlin-image%00/../../outside/thesis.txt\n"},
        {"an escaped separator", "new\t..%2Foutside%2Fthesis.txt\n"},
        {"an unknown verb", "unlink\t../outside/thesis.txt\n"},
        {"the last slot's journal", "unlink\t../outside/thesis.txt\n", "-64"},
        {"the old format", ""},
    };
    for (const planted_case &c : cases) {
        SCOPED_TRACE(c.label);
        std::string text = c.lines.empty() ? "new\t" + abs + "\nmove\t" + work +
                                                 "/outside/Documents\t" + work + "/games/x\n"
                                           : header + c.lines;
        ASSERT_TRUE(plant(text, c.slot));
        run_result r = vormlin({"games"}, work);
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_TRUE(r.err.starts_with("VORMLIN: games/.vormlin-journal" + c.slot +
                                      " is not a journal this sorter wrote: "))
            << r.err;
        EXPECT_TRUE(r.err.ends_with(". Nothing in it was undone; it is set aside as "
                                    "games/vormlin-refused-journal.txt.\nVORMLIN: Done!\n"))
            << r.err;
        expect_outside_untouched();
        EXPECT_EQ("",
                  tree_difference(sorted_with({{"vormlin-refused-journal.txt", text_bytes(text)}}),
                                  state_of(work + "/games")));
        remove_tree(work + "/games");
        ASSERT_TRUE(write_collection(work + "/games"));
    }
}

TEST_F(JournalTest, AJournalOfTheRightShapeUndoesNothingToFilesThatAreNotTheOnesItNames)
{
    bytes users_backup = text_bytes("the user's own backup");
    struct shaped_case {
        const char *label;
        std::string lines;
        std::map<std::string, bytes> users; // the user's files in games/ before the run
        std::map<std::string, bytes> extra; // what games/ holds beyond the reference
    } cases[] = {
        {"a publish whose file is another",
         "new\t.vormlin-image\npublish\t.vormlin-image\tQuad.fds\t65516\t12345678\n",
         {},
         {}},
        {"a move whose original is still in place",
         "move\traw.fds\tbak/raw.fds\t" + identity_of(raw) + "\n",
         {{"bak/raw.fds", users_backup}},
         {{"bak/raw.fds", users_backup}, {"bak/raw.fd0", raw}}},
    };
    for (const shaped_case &c : cases) {
        SCOPED_TRACE(c.label);
        for (const auto &[path, data] : c.users)
            ASSERT_TRUE(put_file(work + "/games/" + path, data));
        ASSERT_TRUE(plant(header + c.lines));
        run_result r = vormlin({"games"}, work);
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_EQ("VORMLIN: Done!\n", r.err);
        EXPECT_EQ("", tree_difference(sorted_with(c.extra), state_of(work + "/games")));
        remove_tree(work + "/games");
        ASSERT_TRUE(write_collection(work + "/games"));
    }

    // An original that is neither home nor the file in bak: the step cannot be undone, and
    // the journal stays until the user decides; nothing in games/ is sorted meanwhile.
    ASSERT_TRUE(put_file(work + "/games/bak/gone.fds", users_backup));
    ASSERT_TRUE(plant(header + "move\tgone.fds\tbak/gone.fds\t" + identity_of(raw) + "\n"));
    tree_state before = state_of(work + "/games");
    run_result r = vormlin({"games"}, work);
    EXPECT_EQ(3, r.status);
    EXPECT_NE(std::string::npos, r.err.find("could not be undone: moving games/bak/gone.fds back "
                                            "to games/gone.fds failed (games/bak/gone.fds is "
                                            "not the file moved)"))
        << r.err;
    EXPECT_EQ("", tree_difference(before, state_of(work + "/games")));
}

TEST_F(JournalTest, SomethingElseAtTheJournalsNameIsNeverReadOrFollowed)
{
    struct obstacle_case {
        const char *label;
        const char *kind; // as the message words it; "" for a plain file refused whole
        bool (*make)(const std::string &path, const std::string &outside);
    } cases[] = {
        {"a directory", "a directory",
         [](const std::string &p, const std::string &) { return mkdir(p.c_str(), 0777) == 0; }},
        {"a FIFO", "not a regular file (a pipe or a device)",
         [](const std::string &p, const std::string &) { return mkfifo(p.c_str(), 0666) == 0; }},
        {"a dangling link", "a symbolic link",
         [](const std::string &p, const std::string &) {
             return symlink("/no/such/journal", p.c_str()) == 0;
         }},
        {"a link to a file outside", "a symbolic link",
         [](const std::string &p, const std::string &o) {
             return symlink((o + "/thesis.txt").c_str(), p.c_str()) == 0;
         }},
        {"a sparse file of a gigabyte", "",
         [](const std::string &p, const std::string &) {
             return write_file_text(p, header) && truncate(p.c_str(), 1L << 30) == 0;
         }},
    };
    for (const obstacle_case &c : cases) {
        SCOPED_TRACE(c.label);
        std::string journal = work + "/games/.vormlin-journal";
        ASSERT_TRUE(c.make(journal, work + "/outside"));
        run_result r = vormlin({"-v", "games"}, work);
        expect_outside_untouched();
        if (c.kind[0] == '\0') {
            EXPECT_EQ(0, r.status) << r.err;
            EXPECT_NE(std::string::npos, r.err.find("larger than any journal")) << r.err;
            EXPECT_EQ(std::size_t{1} << 30,
                      std::filesystem::file_size(work + "/games/vormlin-refused-journal.txt"));
        } else {
            // Files that need no rewrite are sorted; a rewrite is refused with the cause.
            EXPECT_EQ(3, r.status);
            EXPECT_EQ("VORMLIN: games/.vormlin-journal is " + std::string(c.kind) +
                          ", not a journal of this sorter: it is left alone, and files of "
                          "games/ that need a rewrite are left unchanged until it is gone.\n"
                          "VORMLIN: Done!\n\n1 file was left where it was:\n"
                          "games/raw.fds: backup into bak failed: games/.vormlin-journal is " +
                          std::string(c.kind) + "; left unchanged\n",
                      r.err);
            EXPECT_NE(std::string::npos,
                      r.out.find("games/raw.fds: backup into bak failed: games/.vormlin-journal "
                                 "is " +
                                 std::string(c.kind) + "; left unchanged"))
                << r.out;
            EXPECT_EQ(raw, read_file_bytes(work + "/games/raw.fds"));
            EXPECT_TRUE(file_exists(work + "/games/ren/Quad.fds"));
            EXPECT_TRUE(std::filesystem::symlink_status(journal).type() !=
                        std::filesystem::file_type::not_found);
        }
        remove_tree(work + "/games");
        ASSERT_TRUE(write_collection(work + "/games"));
    }
}

// The state a run killed after it backed raw.fds up and published its new image leaves, with
// the journal it wrote.
void leave_interrupted_rewrite(const std::string &games, const bytes &raw, const bytes &image)
{
    ASSERT_TRUE(put_file(games + "/bak/raw.fds", raw));
    ASSERT_TRUE(put_file(games + "/raw.fds", image));
    ASSERT_TRUE(write_file_text(games + "/.vormlin-journal",
                                header + "move\traw.fds\tbak/raw.fds\t" + identity_of(raw) +
                                    "\nnew\t.vormlin-image\npublish\t.vormlin-image\traw.fds\t" +
                                    identity_of(image) + "\n"));
}

TEST_F(JournalTest, AnUndoThatFailsKeepsItsJournalAndTheNextRunTriesAgain)
{
    std::string games = work + "/games";
    ASSERT_TRUE(std::filesystem::remove(games + "/raw.fds"));
    // Killed after the backup; then the user put another file under the original's name.
    ASSERT_TRUE(put_file(games + "/bak/raw.fds", raw));
    ASSERT_TRUE(write_file_text(games + "/.vormlin-journal",
                                header + "move\traw.fds\tbak/raw.fds\t" + identity_of(raw) + "\n"));
    ASSERT_TRUE(write_file_text(games + "/raw.fds", "in the way"));
    tree_state before = state_of(games);
    run_result r = vormlin({"games"}, work);
    EXPECT_EQ(3, r.status);
    EXPECT_EQ("VORMLIN: An interrupted sort in games/ could not be undone: moving "
              "games/bak/raw.fds back to games/raw.fds failed (games/raw.fds is taken). Its "
              "journal games/.vormlin-journal stays, and the next sort tries again.\n"
              "VORMLIN: Done!\n\nAn interrupted sort could not be undone; its journal stays.\n",
              r.err);
    EXPECT_EQ("", tree_difference(before, state_of(games))); // not sorted at all
    ASSERT_TRUE(std::filesystem::remove(games + "/raw.fds"));
    r = vormlin({"games"}, work);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", tree_difference(sorted, state_of(games)));
}

TEST_F(JournalTest, APreviewShowsWhatRecoveryWouldUndoAndChangesNothing)
{
    std::string games = work + "/games";
    bytes image = gen_image_of({solo}, true);
    leave_interrupted_rewrite(games, raw, image);
    tree_state before = state_of(work);
    run_result preview = vormlin({"-n", "games"}, work);
    EXPECT_EQ(0, preview.status) << preview.err;
    EXPECT_EQ("", tree_difference(before, state_of(work)));
    const std::string removed = "interrupted sort undone: removed games/raw.fds\n";
    const std::string moved_back =
        "interrupted sort undone: moved games/bak/raw.fds back to games/raw.fds\n";
    EXPECT_NE(std::string::npos, preview.out.find("dry run: " + removed)) << preview.out;
    EXPECT_NE(std::string::npos, preview.out.find("dry run: " + moved_back)) << preview.out;
    // The image was published: no hidden file is left to remove.
    EXPECT_EQ(std::string::npos, preview.out.find("removed games/.vormlin-image"));
    run_result real = vormlin({"-v", "games"}, work);
    EXPECT_EQ(0, real.status) << real.err;
    EXPECT_TRUE(real.out.starts_with("5!\n" + removed + moved_back)) << real.out;
    EXPECT_EQ("", tree_difference(sorted, state_of(games)));

    // A journal that would be refused: the preview says so and sets nothing aside.
    remove_tree(games);
    ASSERT_TRUE(write_collection(games));
    ASSERT_TRUE(plant(header + "new\t../outside/thesis.txt\n"));
    before = state_of(work);
    preview = vormlin({"-n", "games"}, work);
    EXPECT_NE(std::string::npos,
              preview.out.find("dry run: journal refused: games/.vormlin-journal: line 2 "))
        << preview.out;
    EXPECT_EQ("", tree_difference(before, state_of(work)));
}

TEST_F(JournalTest, ARunThatCannotLockItsDirectoriesDoesNothing)
{
    run_fault f;
    if (!make_permissions_bind(&f))
        GTEST_SKIP() << "root without a 'nobody' user to switch to";
    ASSERT_EQ(0, chmod(work.c_str(), 0755));
    ASSERT_EQ(0, chmod((work + "/games").c_str(), 0777));
    for (const char *unreadable : {"games", "."}) {
        SCOPED_TRACE(unreadable);
        std::string path = work + "/" + unreadable;
        ASSERT_EQ(0, chmod(path.c_str(), 0333));
        tree_state before = state_of(work);
        run_result r = vormlin({"games"}, work, f);
        chmod(path.c_str(), 0777);
        std::string shown =
            unreadable[0] == '.' ? std::filesystem::canonical(work).string() : std::string("games");
        EXPECT_EQ(4, r.status);
        EXPECT_EQ("VORMLIN: Cannot lock " + shown +
                      " against another sort (Permission denied), so nothing was sorted.\n",
                  r.err);
        EXPECT_EQ("", tree_difference(before, state_of(work)));
    }
}

} // namespace
