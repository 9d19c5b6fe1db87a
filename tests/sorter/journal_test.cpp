// Reading journals back: exactly the lines the sorter writes, in the order it writes them, are
// accepted; a journal with anything else in it is refused whole, with a reason.
#include "crc.h"
#include "journal.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string header = "vormlin-journal\t1\timage\t0123456789ABCDEF\n";
const std::string temps_header = "vormlin-journal\t1\ttemps\t0123456789ABCDEF\n";
const std::string move_line = "move\tGame.fam\tbak/Game.fam\t131072\t1A2B3C4D\n";
const std::string new_image = "new\t.vormlin-image\n";
const std::string publish_image = "publish\t.vormlin-image\tGame.fds\t65516\tCAFEF00D\n";
const std::string new_split = "new\t.vormlin-split\n";
const std::string publish_split = "publish\t.vormlin-split\ttmp0007.fds\t65500\t00000001\n";

struct accepted_case {
    const char *label;
    std::string text;
    std::size_t steps;
};

TEST(Journal, TheLinesTheSorterWritesAreReadBackStepByStep)
{
    const accepted_case cases[] = {
        {"empty: killed before its header", "", 0},
        {"header cut short", "vormlin-journal\t1\tim", 0},
        {"a kept journal whose change stands: its first byte", "v", 0},
        {"header alone", header, 0},
        {"a whole rewrite and split",
         header + move_line + new_image + publish_image + new_split + publish_split, 5},
        {"last line cut short is ignored", header + move_line + "new\t.vormlin-im", 1},
        {"numbered backup", header + "move\tGame.fds\tbak/Game.fd7\t1\t00000000\n", 1},
        {"a tmp file replaced after its split",
         header + new_split + publish_split + new_image +
             "replace\t.vormlin-image\ttmpgame.fds\t65516\tCAFEF00D\n",
         4},
        {"the temporary images' journal", temps_header + new_split + publish_split, 2},
        {"a five-digit temporary name",
         header + new_split + "publish\t.vormlin-split\ttmp10000.fds\t1\t00000000\n", 2},
        {"escaped bytes in a name",
         header + "move\tA%09B%25%0A.fds\tbak/A%09B%25%0A.fds\t3\tFFFFFFFF\n" + new_image +
             "publish\t.vormlin-image\tA%09B%25%0A.fds\t3\tFFFFFFFF\n",
         3},
    };
    for (const accepted_case &c : cases) {
        SCOPED_TRACE(c.label);
        journal_text j;
        std::string why;
        ASSERT_TRUE(journal_parse(c.text, &j, &why)) << why;
        EXPECT_EQ(c.steps, j.steps.size());
    }
    journal_text j;
    std::string why;
    ASSERT_TRUE(journal_parse(header + move_line + new_image + publish_image, &j, &why));
    EXPECT_EQ(role_image, j.role);
    EXPECT_EQ("0123456789ABCDEF", j.change);
    EXPECT_EQ(step_move, j.steps[0].kind);
    EXPECT_EQ("Game.fam", j.steps[0].a);
    EXPECT_EQ("bak/Game.fam", j.steps[0].b);
    EXPECT_EQ(131072u, j.steps[0].identity.size);
    EXPECT_EQ(0x1A2B3C4Du, j.steps[0].identity.crc);
    ASSERT_TRUE(journal_parse(header + "move\tA%09B%25%0A.fds\tbak/A%09B%25%0A.fds\t3\tFFFFFFFF\n",
                              &j, &why));
    EXPECT_EQ("A\tB%\n.fds", j.steps[0].a);
}

struct refused_case {
    const char *label;
    std::string text;
    const char *why; // a piece of the reason
};

TEST(Journal, AnythingTheSorterDoesNotWriteRefusesTheWholeJournal)
{
    const std::string long_name(5000, 'a');
    const refused_case cases[] = {
        {"no header", new_image, "does not begin"},
        {"another version", "vormlin-journal\t2\timage\t0123456789ABCDEF\n", "does not begin"},
        {"a change id that is not one", "vormlin-journal\t1\timage\t../../x\n", "does not begin"},
        {"an absolute path", header + "new\t/home/user/thesis.txt\n", "line 2"},
        {"a parent directory", header + "new\t../../home/thesis.txt\n", "line 2"},
        {"a move out of the folder",
         header + "move\t../../home/x\t../../home/Documents\t1\t00000000\n", "line 2"},
        {"a publish into a subdirectory",
         header + new_image + "publish\t.vormlin-image\tsub/x.fds\t1\t00000000\n", "line 3"},
        {"a publish over a name outside",
         header + new_image + "publish\t.vormlin-image\t../x.fds\t1\t00000000\n", "line 3"},
        {"a NUL escape", header + "new\t.vormlin-image%00/../../thesis.txt\n", "line 2"},
        {"a bad escape", header + "move\tGa%G1.fds\tbak/Ga%G1.fds\t1\t00000000\n", "line 2"},
        {"an escape cut short", header + "move\tGame.fd%4\tbak/Game.fd%4\t1\t00000000\n", "line 2"},
        {"an escape the sorter never writes", header + "new\t.vormlin-%69mage\n", "line 2"},
        {"a raw control character", header + "move\tA\rB.fds\tbak/A\rB.fds\t1\t00000000\n",
         "line 2"},
        {"an unknown verb", header + "delete\tGame.fds\n", "line 2"},
        {"a hidden name the sorter does not make", header + "new\t.bashrc\n", "line 2"},
        {"new of an image name", header + "new\tGame.fds\n", "line 2"},
        {"a field too many", header + "new\t.vormlin-image\tGame.fds\n", "line 2"},
        {"a field too few", header + "move\tGame.fds\tbak/Game.fds\t1\n", "line 2"},
        {"a size that is no number", header + "move\tGame.fds\tbak/Game.fds\t-1\t00000000\n",
         "line 2"},
        {"a CRC that is no CRC", header + "move\tGame.fds\tbak/Game.fds\t1\t0000000Z\n", "line 2"},
        {"a backup under another name", header + "move\tGame.fds\tbak/Other.fds\t1\t00000000\n",
         "line 2"},
        {"a backup outside bak", header + "move\tGame.fds\tren/Game.fds\t1\t00000000\n", "line 2"},
        {"a split published under another name",
         header + new_split + "publish\t.vormlin-split\tGame.fds\t1\t00000000\n", "line 3"},
        {"a line too long", header + "new\t" + long_name + "\n", "longer"},
        {"a publish before its file was made", header + publish_image, "order"},
        {"a move after other steps", header + new_image + move_line, "order"},
        {"a second publish of one file", header + new_image + publish_image + publish_image,
         "order"},
        {"an image published under another name than its backup",
         header + move_line + new_image + "publish\t.vormlin-image\tOther.fds\t1\t00000000\n",
         "order"},
        {"a replace after a backup",
         header + move_line + new_image + "replace\t.vormlin-image\ttmpx.fds\t1\t00000000\n",
         "order"},
        {"image steps in the temporary images' journal", temps_header + new_image, "order"},
        {"larger than any journal", header + std::string(journal_size_max, '\n'), "larger"},
    };
    for (const refused_case &c : cases) {
        SCOPED_TRACE(c.label);
        journal_text j;
        std::string why;
        EXPECT_FALSE(journal_parse(c.text, &j, &why));
        EXPECT_NE(std::string::npos, why.find(c.why)) << why;
    }
}

TEST(Journal, WhatIsWrittenReadsBackAndNothingOfAnotherShapeIsWritten)
{
    crc_build_table();
    journal_step move{step_move, "Caf\xC3\xA9 %1\t.fam", "bak/Caf\xC3\xA9 %1\t.fa3",
                      identity_of_bytes(reinterpret_cast<const std::uint8_t *>("123456789"), 9)};
    std::string text = journal_header(role_image, new_change_id()) + journal_line(move);
    journal_text j;
    std::string why;
    ASSERT_TRUE(journal_parse(text, &j, &why)) << why << text;
    ASSERT_EQ(1u, j.steps.size());
    EXPECT_EQ(move.a, j.steps[0].a);
    EXPECT_EQ(move.b, j.steps[0].b);
    EXPECT_EQ(9u, j.steps[0].identity.size);
    EXPECT_EQ(0xCBF43926u, j.steps[0].identity.crc);
    EXPECT_EQ("", journal_line({step_new, "../x", "", {}}));
    EXPECT_EQ("", journal_line({step_move, "a.fds", "bak/b.fds", {}}));
    EXPECT_EQ("", journal_line({step_publish, ".vormlin-split", "/tmp/tmp0001.fds", {}}));
    EXPECT_NE(new_change_id(), new_change_id());
}

TEST(Journal, AnIdentityBuiltPieceByPieceIsThatOfTheWhole)
{
    crc_build_table();
    std::vector<std::uint8_t> data(70000);
    for (std::size_t i = 0; i < data.size(); i++)
        data[i] = static_cast<std::uint8_t>(i * 131 + (i >> 9));
    file_identity whole = identity_of_bytes(data.data(), data.size());
    EXPECT_EQ(crc_of_bytes_bytewise(data.data(), data.size()), whole.crc);
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{15}, std::size_t{4096},
                            data.size() - 1, data.size()}) {
        file_identity pieces;
        identity_add(&pieces, data.data(), cut);
        identity_add(&pieces, data.data() + cut, data.size() - cut);
        EXPECT_EQ(whole, pieces) << cut;
    }
}

} // namespace
