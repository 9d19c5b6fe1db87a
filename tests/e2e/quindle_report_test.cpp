// The dumper's report lines and messages on generated images, compared byte for byte.
#include "quindle_images.h"

namespace {

TEST_F(QuindleTest, ASideWithoutFilesGivesFileCount00AndTheNameDirectly)
{
    gen_side s = abc_side();
    s.files.clear();
    put("game.fds", gen_image_of({s}));
    EXPECT_EQ(quindle({"game.fds"}), "TEST;1;0;1;1;00;game.fds\n");
    EXPECT_EQ(quindle({"-x", "game.fds"}), abc_header + ";game.fds\n\n\n");
}

TEST_F(QuindleTest, AFirstSideWithoutBlockCode1IsSkippedAndTheSecondReported)
{
    gen_side first = abc_side(0);
    first.info_code = 0x00;
    put("game.fds", gen_image_of({first, abc_side(1)}));
    EXPECT_EQ(quindle({"game.fds"}), "\n***game.fds Err: FDS block ID 0\n\n"
                                     "TEST;1;1;2;2;02;352441C2;CBF43926;game (2o2).fds\n");
    EXPECT_EQ(quindle({"-o", "game.fds"}), ";game.fds\n;game (2o2).fds\n");
}

TEST_F(QuindleTest, LaterSidesAreCheckedOnTheFirstFourSignatureCharacters)
{
    gen_side near = abc_side(1);
    near.signature = "*NINJA-WARRIOR";
    gen_side wrong = abc_side(2);
    wrong.signature = "*NOPE";
    put("game.fds", gen_image_of({abc_side(0), near, wrong}));
    EXPECT_EQ(quindle({"game.fds"}), "TEST;1;0;1;3;02;352441C2;CBF43926;game.fds\n"
                                     "TEST;1;1;2;3;02;352441C2;CBF43926;game (2o3).fds\n"
                                     "\n***game.fds Err: FDS signature *NOPE\n\n");
}

TEST_F(QuindleTest, FilesWithoutADiskImage)
{
    put("empty.fds", bytes());
    put("rom.nes", bytes(70000, 0x4E));
    bytes small = gen_image_of({abc_side()});
    small.resize(65499);
    put("small.fds", small);
    EXPECT_EQ(quindle({"empty.fds", "rom.nes", "small.fds"}),
              "empty.fds does not contain a Famicom disk image\n"
              "rom.nes does not contain a Famicom disk image\n");
    EXPECT_EQ(quindle({"-x", "small.fds"}), "\n\n");
}

TEST_F(QuindleTest, OnlyWholeSidesBehindTheFirstSignatureCount)
{
    put("header.fds", gen_image_of({abc_side(0), abc_side(1)}, true));
    bytes half = gen_image_of({abc_side(0), abc_side(1)});
    half.resize(65500 + 32750);
    put("half.fds", half);
    EXPECT_EQ(quindle({"header.fds", "half.fds"}),
              "TEST;1;0;1;2;02;352441C2;CBF43926;header.fds\n"
              "TEST;1;1;2;2;02;352441C2;CBF43926;header (2o2).fds\n"
              "TEST;1;0;1;1;02;352441C2;CBF43926;half.fds\n");
}

TEST_F(QuindleTest, DamagedSidesPrintTheirMessages)
{
    gen_side no_amount = abc_side(1);
    no_amount.amount_code = 0x0F;
    put("amount.fds", gen_image_of({abc_side(0), no_amount, abc_side(2)}));

    gen_side bad_header = abc_side();
    bad_header.files[1].header_code = 0x13;
    put("header.fds", gen_image_of({bad_header, abc_side(1)}));

    gen_side bad_data = abc_side();
    bad_data.files[0].number = 0x2C;
    bad_data.files[0].data_code = 0;
    put("data.fds", gen_image_of({bad_data}));

    EXPECT_EQ(quindle({"amount.fds", "header.fds", "data.fds", "gone.fds", "-x"}),
              "TEST;1;0;1;3;02;352441C2;CBF43926;amount.fds\n"
              "\n***amount.fds Err: Storage Block ID: F  Side may be empty.\n\n"
              "TEST;1;0;1;2;02;352441C2"
              "\n***header.fds Err: Bad FileAttr ID - Block $1\n\n"
              "TEST;1;0;1;1;02"
              "\n***data.fds Err: Invalid data ID for block 2C\n\n"
              ";CBF43926;data.fds\n"
              "gone.fds: failed to open"
              "-x: failed to open");
}

TEST_F(QuindleTest, AnImageThatEndsEarlyPrintsNoClosingText)
{
    gen_side no_amount = abc_side(1);
    no_amount.amount_code = 0;
    put("game.fds", gen_image_of({abc_side(0), no_amount}));
    EXPECT_EQ(quindle({"-x", "game.fds"}),
              abc_header +
                  "\n 0 KYODAKU- [PRG]     3;352441C2\n 1 CHARS    [CHR]     9;CBF43926"
                  ";game.fds\n" +
                  abc_header + "\n***game.fds Err: Storage Block ID: 0  Side may be empty.\n\n");
}

// Prefixes of a two-side image around its blocks and sides: the program always ends well and
// quietly (the sanitizer build turns any bad read into a failure status).
TEST_F(QuindleTest, TruncatedImagesNeverCrashTheProgram)
{
    const bytes full = gen_image_of({abc_side(0), abc_side(1)}, true);
    const std::size_t cuts[] = {0,     1,     15,    16,    17,    30,    31,     72,    73,
                                74,    90,    91,    92,    95,    110,   111,    65515, 65516,
                                65517, 65531, 65532, 65533, 65590, 65591, 131015, 131016};
    std::vector<std::string> args = {"-x"};
    for (std::size_t cut : cuts) {
        std::string name = "cut" + std::to_string(cut) + ".fds";
        put(name, bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut)));
        args.push_back(name);
    }
    std::string out = quindle(args);
    EXPECT_NE(out.find("cut30.fds does not contain"), std::string::npos);
    EXPECT_EQ(out.find("cut31.fds"), std::string::npos); // signature whole, no whole side
    EXPECT_EQ(out.find(";cut65515.fds\n"), std::string::npos);
    EXPECT_NE(out.find(";cut65516.fds\n"), std::string::npos);
    EXPECT_EQ(out.find(";cut131015 (2o2).fds\n"), std::string::npos);
    EXPECT_NE(out.find(";cut131016 (2o2).fds\n"), std::string::npos);
}

} // namespace
