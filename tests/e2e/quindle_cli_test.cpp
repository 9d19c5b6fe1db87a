// The dumper's command line: usage text, options, file arguments and the current-directory scan.
#include "quindle_images.h"

#include <cstring>
#include <sys/stat.h>

namespace {

const std::string usage = "\nFDS data dumping utility.\n"
                          "---------------------------------------------------------------\n"
                          "Usage:    QUINDLE [filename]\n"
                          "          QUINDLE * or QUINDLE *.* - current dir only\n\n"
                          "Redirect: QUINDLE * > quindle.txt\n"
                          "          QUINDLE | more - pipe\n\n"
                          "Options : -i More Info\n"
                          "          -o No CRC data\n"
                          "Options : -x Extra Info\n\n";

const std::string abc_line = "TEST;1;0;1;1;02;352441C2;CBF43926;game.fds\n";

TEST_F(QuindleTest, WithoutArgumentsOrWithOptionsAlonePrintsTheUsageText)
{
    EXPECT_EQ(usage.size(), 315u);
    EXPECT_EQ(quindle({}), usage);
    EXPECT_EQ(quindle({"-x", "-o"}), usage);
}

TEST_F(QuindleTest, DefaultsPrintTheCatalogueLine)
{
    put("game.fds", gen_image_of({abc_side()}));
    EXPECT_EQ(quindle({"game.fds"}), abc_line);
}

TEST_F(QuindleTest, OnlyTheSecondSideOfTwoCarriesTheSideTag)
{
    put("game.fds", gen_image_of({abc_side(0), abc_side(1)}));
    EXPECT_EQ(quindle({"game.fds"}), "TEST;1;0;1;2;02;352441C2;CBF43926;game.fds\n"
                                     "TEST;1;1;2;2;02;352441C2;CBF43926;game (2o2).fds\n");
}

TEST_F(QuindleTest, MoreInfoPutsTheHeaderTextDirectlyBeforeTheCatalogueLine)
{
    put("game.fds", gen_image_of({abc_side()}));
    EXPECT_EQ(quindle({"-i", "game.fds"}), abc_header + abc_line);
}

TEST_F(QuindleTest, ExtraInfoPrintsAFileTableWithKindNames)
{
    gen_side s = abc_side();
    s.files.push_back(text_file(0x1F, "SOUND", "a", 2));
    s.files.push_back(text_file(3, "ODD", "abcdefghijklmnopqrstuvwxyz", 7));
    put("game.fds", gen_image_of({s}));
    EXPECT_EQ(quindle({"-x", "game.fds"}), abc_header + "\n 0 KYODAKU- [PRG]     3;352441C2"
                                                        "\n 1 CHARS    [CHR]     9;CBF43926"
                                                        "\n1F SOUND    [SND]     1;E8B7BE43"
                                                        "\n 3 ODD      [007]    1A;4C2750BD"
                                                        ";game.fds\n\n\n");
}

// A QuickDisk image reports as the .fds image of its disk, under that image's name, so that a
// catalogue made from it names .fds images; extra info tells each block whose checksum is bad.
TEST_F(QuindleTest, AQuickDiskImageReportsAsItsFdsImage)
{
    gen_side s = abc_side();
    s.files.push_back(text_file(0x1F, "SOUND", "a", 2));
    bytes qd = gen_qd_of({s, abc_side(1)});
    put("game.fds", gen_image_of({s, abc_side(1)}));
    std::string as_fds = quindle({"-x", "game.fds"});
    put("game.qd", qd);
    EXPECT_EQ(quindle({"game.qd"}), quindle({"game.fds"}));
    EXPECT_EQ(quindle({"-x", "game.qd"}), as_fds);
    // The checksums of the second side's info block and of SOUND's data block (block 8: info,
    // amount, then a header and a data block per file, each block followed by 2 bytes).
    const std::size_t sound_data_sum = 58 + 4 + (18 + 6) + (18 + 12) + 18 + 2;
    qd[65536 + 56] ^= 1;
    qd[sound_data_sum] ^= 1;
    put("game.qd", qd);
    EXPECT_EQ(quindle({"game.qd"}), quindle({"game.fds"}));
    std::string told = as_fds;
    for (const auto &[line, message] :
         {std::pair{";game.fds\n", "Side 1 Block 8"}, {";game (2o2).fds\n", "Side 2 Block 1"}})
        told.replace(told.find(line), std::strlen(line),
                     line + std::string("***game.qd Err: Bad checksum - ") + message + "\n");
    EXPECT_EQ(quindle({"-x", "game.qd"}), told);
}

TEST_F(QuindleTest, NoCrcDataPrintsNamesAtEveryLevel)
{
    put("game.fds", gen_image_of({abc_side(0), abc_side(1)}));
    EXPECT_EQ(quindle({"-o", "game.fds"}), ";game.fds\n;game (2o2).fds\n");
    EXPECT_EQ(quindle({"-o", "-i", "game.fds"}),
              abc_header + ";game.fds\n" + abc_header + ";game (2o2).fds\n");
    EXPECT_EQ(quindle({"-x", "-O", "game.fds"}),
              abc_header + ";game.fds\n" + abc_header + ";game (2o2).fds\n\n\n");
}

TEST_F(QuindleTest, TheLastOfSeveralLevelOptionsDecides)
{
    put("game.fds", gen_image_of({abc_side()}));
    EXPECT_EQ(quindle({"-x", "-i", "game.fds"}), abc_header + abc_line);
    EXPECT_EQ(quindle({"-i", "-x", "game.fds"}),
              abc_header + "\n 0 KYODAKU- [PRG]     3;352441C2\n 1 CHARS    [CHR]     9;CBF43926"
                           ";game.fds\n\n\n");
}

TEST_F(QuindleTest, OnlyTheSecondCharacterOfAnOptionCounts)
{
    put("game.fds", gen_image_of({abc_side()}));
    EXPECT_EQ(quindle({"-info", "game.fds"}), abc_header + abc_line);
    EXPECT_EQ(quindle({"-q", "game.fds"}), abc_line);
}

TEST_F(QuindleTest, ArgumentsAfterTheFirstFileAreFilesToo)
{
    put("game.fds", gen_image_of({abc_side()}));
    EXPECT_EQ(quindle({"game.fds", "-x"}), abc_line + "-x: failed to open");
}

TEST_F(QuindleTest, StarReportsFdFilesBeforeFaFilesBeforeQdFilesAndPassesOverDotFilesAndDirectories)
{
    gen_side a = abc_side();
    a.game_code = "AAAA";
    gen_side b = abc_side();
    b.game_code = "BBBB";
    put("b.fds", gen_image_of({b}));
    put("C.FDS", gen_image_of({a}));
    put("a.fam", gen_image_of({a}));
    put("D.fdx", gen_image_of({b}));
    put("0.QD", gen_qd_of({b}));
    put(".hidden.fds", gen_image_of({a}));
    put("note.txt", gen_image_of({a}));
    ASSERT_EQ(mkdir((dir + "/sub.fds").c_str(), 0755), 0);
    const std::string expected = "BBBB;1;0;1;1;02;352441C2;CBF43926;b.fds\n"
                                 "AAAA;1;0;1;1;02;352441C2;CBF43926;C.FDS\n"
                                 "BBBB;1;0;1;1;02;352441C2;CBF43926;D.fdx\n"
                                 "AAAA;1;0;1;1;02;352441C2;CBF43926;a.fam\n"
                                 "BBBB;1;0;1;1;02;352441C2;CBF43926;0.fds\n";
    EXPECT_EQ(quindle({"*"}), expected);
    EXPECT_EQ(quindle({"*.fds", "ignored.fds"}), expected);
    EXPECT_EQ(quindle({"-o", "*.*"}), ";b.fds\n;C.FDS\n;D.fdx\n;a.fam\n;0.fds\n");
}

// A name with ";" or a line break would garble or forge catalogue lines: such files are named
// on stderr and nothing of them reaches stdout; the good images print exactly as if alone.
TEST_F(QuindleTest, NamesThatWouldBreakACatalogueLineAreOnlyWarnedAbout)
{
    put("good.fds", gen_image_of({abc_side(0), abc_side(1)}));
    put("zz.fam", gen_image_of({abc_side()}));
    const std::vector<std::vector<std::string>> modes = {
        {"*"}, {"-o", "*"}, {"-i", "*"}, {"-x", "*"}, {"-x", "-o", "*"}};
    std::vector<std::string> alone;
    for (const auto &args : modes)
        alone.push_back(quindle(args));
    ASSERT_EQ(alone[0], "TEST;1;0;1;2;02;352441C2;CBF43926;good.fds\n"
                        "TEST;1;1;2;2;02;352441C2;CBF43926;good (2o2).fds\n"
                        "TEST;1;0;1;1;02;352441C2;CBF43926;zz.fam\n");
    const bytes image = gen_image_of({abc_side(0), abc_side(1)});
    put("a;b.fds", image);
    put("x\nTEST;1;0;1;1;00;Forged.fds", image); // would inject a record
    put("cr\r.fam", image);
    put("lf\n.fds", bytes(10, 0x55)); // no image either: not even its message is printed
    const std::string why = ": not catalogued: its name holds ';' or a line break\n";
    const std::string warnings = "quindle: a;b.fds" + why + "quindle: lf?.fds" + why +
                                 "quindle: x?TEST;1;0;1;1;00;Forged.fds" + why +
                                 "quindle: cr?.fam" + why;
    for (std::size_t m = 0; m < modes.size(); m++) {
        SCOPED_TRACE(modes[m].front());
        EXPECT_EQ(quindle(modes[m], warnings), alone[m]);
    }
    EXPECT_EQ(quindle({"a;b.fds", "good.fds", "gone;.fds"},
                      "quindle: a;b.fds" + why + "quindle: gone;.fds" + why),
              "TEST;1;0;1;2;02;352441C2;CBF43926;good.fds\n"
              "TEST;1;1;2;2;02;352441C2;CBF43926;good (2o2).fds\n");
}

TEST_F(QuindleTest, StarAfterAFileIsAFileName)
{
    put("a.fds", gen_image_of({abc_side()}));
    put("b.fds", gen_image_of({abc_side()}));
    EXPECT_EQ(quindle({"a.fds", "*"}),
              "TEST;1;0;1;1;02;352441C2;CBF43926;a.fds\n*: failed to open");
}

TEST_F(QuindleTest, AnEmptyDirectoryPrintsNothing)
{
    EXPECT_EQ(quindle({"*"}), "");
}

TEST_F(QuindleTest, ADirectoryInTheArgumentOpensThePathButNamesTheFile)
{
    ASSERT_EQ(mkdir((dir + "/images").c_str(), 0755), 0);
    put("images/disk.fds", gen_image_of({abc_side(0), abc_side(1)}));
    put("images/junk.fds", bytes(100, 0x55));
    EXPECT_EQ(quindle({"images/disk.fds", "images/junk.fds", "images/none.fds"}),
              "TEST;1;0;1;2;02;352441C2;CBF43926;disk.fds\n"
              "TEST;1;1;2;2;02;352441C2;CBF43926;disk (2o2).fds\n"
              "images/junk.fds does not contain a Famicom disk image\n"
              "images/none.fds: failed to open");
}

} // namespace
