// Side report: header text fields, catalogue prefix, image names, and the handling of
// damaged and truncated images.
#include "report_fixture.h"

#include <string>

namespace {

TEST(ImageName, InsertsTheSideTagBeforeTheLastDot)
{
    struct {
        const char *file;
        std::size_t index, count;
        std::string name;
    } cases[] = {
        {"disk.fds", 1, 2, "disk.fds"},
        {"disk.fds", 2, 2, "disk (2o2).fds"},
        {"a.b.fam", 3, 12, "a.b (3o12).fam"},
        {"disk", 2, 2, "disk (2o2)"},
        {".fds", 2, 3, " (2o3).fds"},
        {"disk.", 2, 2, "disk (2o2)."},
        {"", 2, 2, " (2o2)"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(image_name(c.file, c.index, c.count), c.name) << c.file;
}

TEST(ImageName, CutsALongStemTo244CharactersAndKeepsTheExtension)
{
    std::string stem(300, 's');
    EXPECT_EQ(image_name(stem + ".fds", 2, 2), std::string(244, 's') + " (2o2).fds");
    EXPECT_EQ(image_name(stem + ".fds", 1, 2), stem + ".fds");
    std::string exact(244, 'e');
    EXPECT_EQ(image_name(exact + ".fds", 2, 2), exact + " (2o2).fds");
    std::string extension = "." + std::string(300, 'x');
    EXPECT_EQ(image_name("d" + extension, 2, 2), "d (2o2)" + extension);
}

struct header_case {
    std::uint8_t maker;
    const char *game_code;
    std::uint8_t version;
    std::uint8_t permit_year, created_year;
    std::string expected;
};

TEST_F(ReportTest, HeaderTextShowsCodeVersionMakerAndDates)
{
    const header_case cases[] = {
        {0x01, "TEST", 0, 0x61, 0x61,
         "TEST (V 1.00) MFR: 01 Nintendo               Permit: 61/02/21 (1986) Created: "
         "61/02/21 (1986)"},
        {0xB2, "AB", 7, 0x00, 0x64,
         "00AB (V 1.07) MFR: B2 BANDAI / BanDai Americ Permit: 00/02/21 (1925) Created: "
         "64/02/21 (1989)"},
        {0xBB, "", 123, 0x99, 0x10,
         "0000 (V 1.123) MFR: BB Sunsoft Sekaibunka-sha Permit: 99/02/21 (2024) Created: "
         "10/02/21 (1935)"},
        {0x00, "WXYZ", 255, 0xFF, 0x5A,
         "WXYZ (V 1.255) MFR: 00 Unknown                Permit: FF/02/21 (2090) Created: "
         "5A/02/21 (1985)"},
    };
    info_level = 1;
    crc_output = false;
    for (const header_case &c : cases) {
        gen_side s = abc_side();
        s.maker = c.maker;
        s.game_code = c.game_code;
        s.version = c.version;
        s.permit[0] = c.permit_year;
        s.created[0] = c.created_year;
        EXPECT_EQ(report(gen_image_of({s})), c.expected + ";game.fds\n");
    }
}

TEST_F(ReportTest, EitherMarkerWrongMakesTheInfoNotValid)
{
    info_level = 1;
    crc_output = false;
    const std::string expected =
        "TEST (V 1.00) MFR: 01 Nintendo                * Info Not Valid;game.fds\n";
    for (std::size_t offset : {34u, 35u}) {
        bytes image = gen_image_of({abc_side()});
        gen_poke(&image, offset, 0x00);
        EXPECT_EQ(report(image), expected) << offset;
    }
}

TEST_F(ReportTest, CataloguePrefixPadsTheCodeAndPrintsTheSideNumberByteUnsigned)
{
    gen_side s = abc_side(200);
    s.game_code = "AB";
    EXPECT_EQ(report(gen_image_of({s})), "AB  ;1;200;1;1;02;352441C2;CBF43926;game.fds\n");
}

TEST_F(ReportTest, TextFieldsStopAtTheirFirstZeroByte)
{
    bytes image = gen_image_of({abc_side()});
    gen_poke(&image, 18, 0x00); // game code "TE", then a zero, then "T"
    gen_poke(&image, 63, 0x00); // first file name "KY", then a zero, then "ODAKU-"
    info_level = 1;
    EXPECT_EQ(report(image), "00TE (V 1.00) MFR: 01 Nintendo               Permit: 61/02/21 "
                             "(1986) Created: 61/02/21 (1986)TE  ;1;0;1;1;02;352441C2;CBF43926;"
                             "game.fds\n");
    info_level = 2;
    EXPECT_EQ(report(image), "00TE (V 1.00) MFR: 01 Nintendo               Permit: 61/02/21 "
                             "(1986) Created: 61/02/21 (1986)\n 0 KY       [PRG]     3;352441C2"
                             "\n 1 CHARS    [CHR]     9;CBF43926;game.fds\n\n\n");
}

// A second side of nothing but zeros: without CRC data no block is checked, so it gets its
// name line; with them it is skipped, and the closing text still follows at level 2.
TEST_F(ReportTest, ASkippedSideKeepsTheClosingTextAndWithoutCrcDataNothingIsSkipped)
{
    bytes image = gen_image_of({abc_side()});
    image.resize(2 * 65500, 0x00);
    const std::string first = "TEST (V 1.00) MFR: 01 Nintendo               Permit: 61/02/21 "
                              "(1986) Created: 61/02/21 (1986)";
    const std::string zeros =
        "0000 (V 1.00) MFR: 00 Unknown" + std::string(17, ' ') + "* Info Not Valid";
    const std::string skipped = "\n***" + dir + "game.fds Err: FDS signature \n\n";
    const std::string table =
        "\n 0 KYODAKU- [PRG]     3;352441C2\n 1 CHARS    [CHR]     9;CBF43926";
    struct {
        int level;
        bool crc;
        std::string expected;
    } cases[] = {
        {0, false, ";game.fds\n;game (2o2).fds\n"},
        {2, false, first + ";game.fds\n" + zeros + ";game (2o2).fds\n\n\n"},
        {0, true, "TEST;1;0;1;2;02;352441C2;CBF43926;game.fds\n" + skipped},
        {2, true, first + table + ";game.fds\n" + zeros + skipped + "\n\n"},
    };
    for (const auto &c : cases) {
        info_level = c.level;
        crc_output = c.crc;
        EXPECT_EQ(report(image), c.expected) << "level " << c.level << ", crc " << c.crc;
    }
}

TEST_F(ReportTest, SignatureAtTheVeryFirstByteStartsNoSide)
{
    bytes image = gen_image_of({abc_side()});
    image.erase(image.begin()); // the block code in front of the signature is gone
    EXPECT_EQ(report(image), dir + "game.fds does not contain a Famicom disk image\n");
}

TEST_F(ReportTest, SignatureAtTheFirstByteIsPassedForALaterOne)
{
    // 16 bytes: the bare signature, then two zeros; a whole side follows.
    bytes image = {'*', 'N', 'I', 'N', 'T', 'E', 'N', 'D', 'O', '-', 'H', 'V', 'C', '*', 0, 0};
    bytes side = gen_image_of({abc_side()});
    image.insert(image.end(), side.begin(), side.end());
    EXPECT_EQ(report(image), "TEST;1;0;1;1;02;352441C2;CBF43926;game.fds\n");
}

TEST_F(ReportTest, InvalidDataIdSkipsTheCrcAndStepsOverTheClaimedSize)
{
    gen_side s = abc_side();
    s.files[0].data_code = 5;
    EXPECT_EQ(report(gen_image_of({s})), "TEST;1;0;1;1;02\n***" + dir +
                                             "game.fds Err: Invalid data ID for block  0\n\n"
                                             ";CBF43926;game.fds\n");
}

TEST_F(ReportTest, FileDataPastTheEndOfTheImageEndsItAfterTheFileLine)
{
    gen_side s = abc_side();
    s.files[1].size_override = 65500;
    s.declared_override = 3;
    info_level = 2;
    EXPECT_EQ(report(gen_image_of({s})),
              "TEST (V 1.00) MFR: 01 Nintendo               Permit: 61/02/21 (1986) Created: "
              "61/02/21 (1986)\n 0 KYODAKU- [PRG]     3;352441C2\n 1 CHARS    [CHR]  FFDC\n***" +
                  dir + "game.fds Err: File data past end of image - Block $1\n\n");
}

TEST_F(ReportTest, FileHeaderPastTheEndOfTheImageEndsIt)
{
    struct {
        int claimed_size;
        std::uint8_t filler;
        const char *error;
    } cases[] = {
        {65480, 0, "File header past end of image"}, // next header wholly behind the end
        {65400, 3, "File header past end of image"}, // its code byte fits, the rest not
        {65400, 0, "Bad FileAttr ID"},               // its code byte fits and is wrong
    };
    for (const auto &c : cases) {
        gen_side s = abc_side();
        s.files[1].data_code = 7; // not read as data: the walk steps over the claimed size
        s.files[1].size_override = c.claimed_size;
        s.declared_override = 3;
        s.filler = c.filler;
        EXPECT_EQ(report(gen_image_of({s})),
                  "TEST;1;0;1;1;03;352441C2\n***" + dir +
                      "game.fds Err: Invalid data ID for block  1\n\n\n***" + dir +
                      "game.fds Err: " + c.error + " - Block $2\n\n")
            << c.claimed_size;
    }
}

TEST_F(ReportTest, SignatureTextWithoutZeroByteStopsAtTheEndOfTheImage)
{
    bytes image = gen_image_of({abc_side()});
    image.resize(2 * 65500, 0xFF); // a second side of nothing but 0xFF
    std::string out = report(image);
    std::string expected = "TEST;1;0;1;2;02;352441C2;CBF43926;game.fds\n\n***" + dir +
                           "game.fds Err: FDS signature " + std::string(65499, '\xFF') + "\n\n";
    EXPECT_EQ(out, expected);
}

TEST_F(ReportTest, PathsLongerThan256CharactersAreHandledWhole)
{
    std::string deep = dir;
    for (int k = 0; k < 4; k++) {
        deep += std::string(80, 'd') + plat_sep;
        ASSERT_EQ(plat_make_dir(deep.c_str()), 0);
    }
    std::string name = std::string(200, 'n') + ".fds";
    ASSERT_TRUE(gen_write_file(deep + name, gen_image_of({abc_side(), abc_side(1)})));
    EXPECT_EQ(report_file(name, deep), "TEST;1;0;1;2;02;352441C2;CBF43926;" + name +
                                           "\nTEST;1;1;2;2;02;352441C2;CBF43926;" +
                                           std::string(200, 'n') + " (2o2).fds\n");
    EXPECT_EQ(report_file("missing.fds", deep), deep + "missing.fds: failed to open");
}

// Every prefix of a two-side image around its block and side boundaries is reported without
// a read outside the buffer (the sanitizer build checks that) and with whole lines only. The
// second side's last file runs beyond 65500 bytes, so the cuts near the end fall inside it.
TEST_F(ReportTest, TruncatedImagesNeverReadOutsideTheBuffer)
{
    gen_side second = abc_side(1);
    second.files.push_back(text_file(2, "BIG", std::string(65400, 'z'), 2));
    const bytes full = gen_image_of({abc_side(), second});
    std::vector<std::size_t> lengths;
    for (std::size_t base : {std::size_t{0}, std::size_t{65500}, std::size_t{131000}}) {
        for (std::size_t k = 0; k < 120; k++)
            lengths.push_back(base + k);
        if (base > 0)
            for (std::size_t k = 1; k <= 40; k++)
                lengths.push_back(base - k);
    }
    for (std::size_t k = 65500 + 90; k < 65500 + 130; k++)
        lengths.push_back(k);
    int cut_inside_last_file = 0;
    for (int level = 0; level <= 2; level++) {
        info_level = level;
        for (std::size_t len : lengths) {
            bytes image(full.begin(),
                        full.begin() + static_cast<std::ptrdiff_t>(std::min(len, full.size())));
            std::string out = report(image);
            ASSERT_TRUE(out.empty() || out.back() == '\n') << "length " << len;
            if (out.find("Err: File data past end of image - Block $2") != std::string::npos)
                cut_inside_last_file++;
        }
    }
    EXPECT_EQ(cut_inside_last_file, 3 * 21); // lengths 131000 .. 131020 at each level
}

} // namespace
