// The field reader and the catalogue loader: decoding to UTF-8, text-mode reading, number
// conversion, limits and the read-once rule.
#include "catalogue.h"
#include "catalogue_fixture.h"
#include "test_support.h"
#include "text_decode.h"
#include "ui_stub.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using namespace std::string_literals;
using testing::PrintToString;

// The legacy code page's stand-in: Latin-1, in which every byte is a character.
std::string latin1_to_utf8(std::string_view text)
{
    std::string out;
    for (char c : text) {
        auto b = static_cast<unsigned char>(c);
        if (b >= 0x80)
            out += static_cast<char>(0xC0 | b >> 6);
        out += b >= 0x80 ? static_cast<char>(0x80 | (b & 0x3F)) : c;
    }
    return out;
}

TEST(DecodeText, MarksUtf16AndLegacyLinesGiveUtf8)
{
    const std::string lone_high = "\xFF\xFE"s + "a\0\x3D\xD8"s;
    const struct {
        std::string raw, utf8;
        decode_result result;
    } cases[] = {
        {"a;b\r\nc\x1A", "a;b\r\nc\x1A", decode_ok},
        {"\xEF\xBB\xBFG;\xC3\xA9\n\xE9", "G;\xC3\xA9\n\xC3\xA9", decode_ok},
        // Only the lines that are not UTF-8 (a bad or cut sequence, an overlong form, a
        // surrogate, beyond U+10FFFF) are legacy text.
        {"\xE9t\r\nsolo\xC3\xA9\n\xC0\xAF\n\xE0\x9F\xBF\n\xF0\x8F\xBF\xBF\n\xED\xA0\x80\n"
         "\xF4\x90\x80\x80\n\xE3\x82",
         "\xC3\xA9t\r\nsolo\xC3\xA9\n\xC3\x80\xC2\xAF\n\xC3\xA0\xC2\x9F\xC2\xBF\n"
         "\xC3\xB0\xC2\x8F\xC2\xBF\xC2\xBF\n\xC3\xAD\xC2\xA0\xC2\x80\n"
         "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80\n\xC3\xA3\xC2\x82",
         decode_ok},
        {utf16(u"ソé;\r\n\x1Az", false), "\xE3\x82\xBD\xC3\xA9;\r\n\x1Az", decode_ok},
        {utf16(u"ソé;\r\n\x1Az", true), "\xE3\x82\xBD\xC3\xA9;\r\n\x1Az", decode_ok},
        {"\xFF\xFE\x3D\xD8\x00\xDE"s, "\xF0\x9F\x98\x80", decode_ok},
        {"\xFE\xFF\xD8\x3D\xDE\x00"s, "\xF0\x9F\x98\x80", decode_ok},
        {"\xFF\xFEz", "", decode_malformed},
        {lone_high, "", decode_malformed},
        {lone_high + "b\0"s, "", decode_malformed},
        {"\xFE\xFF\xDE\x00\x00z"s, "", decode_malformed},
    };
    for (const auto &c : cases) {
        utf8_text out;
        EXPECT_EQ(decode_text(c.raw, latin1_to_utf8, &out), c.result) << PrintToString(c.raw);
        EXPECT_EQ(std::string(out.bytes.get(), out.size), c.utf8) << PrintToString(c.raw);
    }
}

// A stream over the given bytes.
struct stream_over {
    explicit stream_over(const std::string &content) : text(content)
    {
        in = {text.data(), text.data() + text.size(), false};
    }
    std::string next(std::size_t *count, std::size_t max = 80)
    {
        char buf[300] = {};
        *count = fstrtok(&in, ';', buf, max);
        return buf;
    }
    std::string text;
    text_stream in{};
};

TEST(Fstrtok, FieldsEndAtTheDelimiterOrALineFeedAndTheFileEndGivesZero)
{
    stream_over s("ab;cde\nf;;g");
    std::size_t n = 99;
    EXPECT_EQ(s.next(&n), "ab");
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(s.next(&n), "cde");
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(s.next(&n), "f");
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(s.next(&n), "");
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(s.in.ended);
    EXPECT_EQ(s.next(&n), "g");
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(s.in.ended);
    EXPECT_EQ(s.next(&n), "");
    EXPECT_EQ(n, 0u);
}

TEST(Fstrtok, CarriageReturnIsDroppedOnlyBeforeALineFeed)
{
    stream_over s("a\r\nb\rc\r;d\r");
    std::size_t n = 0;
    EXPECT_EQ(s.next(&n), "a");
    EXPECT_EQ(s.next(&n), "b\rc\r");
    EXPECT_EQ(s.next(&n), "d\r");
    EXPECT_TRUE(s.in.ended);
}

TEST(Fstrtok, ByteOneAEndsTheFile)
{
    stream_over s("a;b\x1A;c\n");
    std::size_t n = 0;
    EXPECT_EQ(s.next(&n), "a");
    EXPECT_EQ(s.next(&n), "b");
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(s.in.ended);
    EXPECT_EQ(s.next(&n), "");
}

TEST(Fstrtok, FieldOfEightyCharactersIsKeptWithoutMessage)
{
    ui_stub_reset();
    std::string eighty(80, 'x');
    stream_over s(eighty + ";y\n");
    std::size_t n = 0;
    EXPECT_EQ(s.next(&n), eighty);
    EXPECT_EQ(n, 80u);
    EXPECT_EQ(s.next(&n), "y");
    EXPECT_TRUE(ui_stub.messages.empty());
}

TEST(Fstrtok, OverLongFieldKeepsEightyOneCharactersAndDropsTheRestOfItsLine)
{
    ui_stub_reset();
    std::string long_field = std::string(81, 'a') + "bbb;ccc";
    stream_over s(long_field + "\nnext;");
    std::size_t n = 0;
    EXPECT_EQ(s.next(&n), std::string(81, 'a'));
    EXPECT_EQ(n, 80u);
    ASSERT_EQ(ui_stub.messages.size(), 1u);
    EXPECT_EQ(ui_stub.messages[0].text,
              "Error loading datfile, record too long:\n\t" + std::string(81, 'a') + "\n");
    EXPECT_EQ(ui_stub.messages[0].caption, "fstrtok");
    EXPECT_FALSE(ui_stub.messages[0].owned);
    EXPECT_EQ(s.next(&n), "next");
}

TEST(Fstrtok, OverLongFieldNeverEndsInsideACharacter)
{
    const struct {
        std::size_t ascii; // before the character
        const char *character;
        std::size_t kept;
    } cases[] = {
        {80, "\xC3\xA9", 80},     {79, "\xC3\xA9", 81},         {79, "\xE3\x82\xBD", 79},
        {78, "\xE3\x82\xBD", 81}, {78, "\xF0\x9F\x98\x80", 78}, {77, "\xF0\x9F\x98\x80", 81},
    };
    for (const auto &c : cases) {
        ui_stub_reset();
        std::string field = std::string(c.ascii, 'a') + c.character + "zz";
        stream_over s(field + "\nnext;");
        std::size_t n = 0;
        std::string kept = field.substr(0, c.kept);
        EXPECT_EQ(s.next(&n), kept) << c.ascii;
        ASSERT_EQ(ui_stub.messages.size(), 1u);
        EXPECT_EQ(ui_stub.messages[0].text,
                  "Error loading datfile, record too long:\n\t" + kept + "\n");
    }
}

TEST(Fstrtok, OverLongFieldRunningToTheFileEndGivesZero)
{
    ui_stub_reset();
    stream_over s(std::string(100, 'z'));
    std::size_t n = 99;
    EXPECT_EQ(s.next(&n), std::string(81, 'z'));
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(s.in.ended);
    EXPECT_EQ(ui_stub.messages.size(), 1u);
}

struct CatalogueLoad : ::testing::Test {
    void SetUp() override
    {
        ui_stub_reset();
        reset_catalogue_for_tests();
        ASSERT_FALSE(cwd.dir.empty());
    }
    void TearDown() override { reset_catalogue_for_tests(); }

    static void write_catalogue(const std::string &text)
    {
        ASSERT_TRUE(write_file_text("ingredients.dat", text));
    }
    static std::string lines(int count)
    {
        std::string text;
        for (int i = 1; i <= count; i++)
            text +=
                "GAME;1;0;1;1;01;" + std::to_string(i) + ";Game " + std::to_string(i) + ".fds\n";
        return text;
    }

    scratch_cwd cwd{"catalogue"};
};

TEST_F(CatalogueLoad, ReadsEveryFieldOfALine)
{
    write_catalogue("ABCDE;1;3;2;4;02;1234ABCD;DEADBEEF;Some Game (2o4).fds\n");
    EXPECT_EQ(load_catalogue(), 2);
    const cat_entry &e = catalogue[1];
    EXPECT_STREQ(e.game_code, "ABCD");
    EXPECT_EQ(e.listed, 1);
    EXPECT_EQ(e.side_number, 3);
    EXPECT_EQ(e.side_index, 2);
    EXPECT_EQ(e.side_count, 4);
    EXPECT_EQ(e.file_count, 2);
    ASSERT_EQ(e.crcs.size(), 2u);
    EXPECT_EQ(e.crcs[0], 0x1234ABCDu);
    EXPECT_EQ(e.crcs[1], 0xDEADBEEFu);
    EXPECT_STREQ(e.name, "Some Game (2o4).fds");
    EXPECT_EQ(e.found, 0);
    EXPECT_TRUE(ui_stub.messages.empty());
}

TEST_F(CatalogueLoad, WindowsLineEndsAndTheEndOfFileByteLoadLikeLinuxTextInEveryEncoding)
{
    const std::string text = "A;1;0;1;1;01;11;One.fds\r\nB;1;0;1;1;01;22;Two\r.fds\r\n\x1A"
                             "C;1;0;1;1;01;33;Three.fds\n";
    const std::u16string wide(text.begin(), text.end());
    const std::string encodings[] = {text, "\xEF\xBB\xBF" + text, utf16(wide, false),
                                     utf16(wide, true)};
    for (const std::string &file : encodings) {
        reset_catalogue_for_tests();
        write_catalogue(file);
        EXPECT_EQ(load_catalogue(), 3);
        EXPECT_STREQ(catalogue[1].name, "One.fds");
        EXPECT_STREQ(catalogue[2].name, "Two\r.fds");
        EXPECT_EQ(catalogue[2].crcs[0], 0x22u);
    }
}

TEST_F(CatalogueLoad, GameCodesAndNamesNeverEndInsideACharacter)
{
    const std::string kana = "\xE3\x82\xBD", kana26 = [&] {
        std::string s;
        for (int i = 0; i < 26; i++)
            s += kana;
        return s;
    }();
    write_catalogue(kana + kana + ";1;0;1;1;00;N.fds\nab" + kana + ";1;0;1;1;00;x" + kana26 + kana +
                    "\n");
    EXPECT_EQ(load_catalogue(), 3);
    EXPECT_EQ(catalogue[1].game_code, kana);
    EXPECT_STREQ(catalogue[2].game_code, "ab");
    EXPECT_EQ(catalogue[2].name, "x" + kana26);
}

TEST_F(CatalogueLoad, CrcFieldsConvertAsHexadecimal)
{
    struct {
        const char *field;
        std::uint32_t crc;
    } cases[] = {
        {"DEADBEEF", 0xDEADBEEFu},
        {"deadbeef", 0xDEADBEEFu},
        {"0xdeadBEEF", 0xDEADBEEFu},
        {"0XDEADBEEF", 0xDEADBEEFu},
        {"  DEADBEEF", 0xDEADBEEFu},
        {"\tabc", 0xABCu},
        {"+10", 0x10u},
        {"-1", 0xFFFFFFFFu},
        {"-0x10", 0xFFFFFFF0u},
        {"1FFFFFFFF", 0xFFFFFFFFu},
        {"-1FFFFFFFF", 0xFFFFFFFFu},
        {"", 0u},
        {"xyz", 0u},
        {"12xyz", 0x12u},
        {"0x", 0u},
    };
    std::string text;
    for (const auto &c : cases)
        text += std::string("G;1;0;1;1;01;") + c.field + ";N.fds\n";
    write_catalogue(text);
    ASSERT_EQ(load_catalogue(), static_cast<int>(std::size(cases)) + 1);
    for (std::size_t i = 0; i < std::size(cases); i++)
        EXPECT_EQ(catalogue[i + 1].crcs[0], cases[i].crc) << "field \"" << cases[i].field << '"';
}

TEST_F(CatalogueLoad, NumbersKeepTheirLowEightBitsAsSignedBytes)
{
    struct {
        const char *field;
        int value;
    } cases[] = {
        {"1", 1},     {"200", -56}, {"  7", 7},   {"+5", 5},     {"-1", -1},
        {"-200", 56}, {"256", 0},   {"300", 44},  {"12abc", 12}, {"abc", 0},
        {"", 0},      {"65537", 1}, {"127", 127}, {"128", -128}, {"4294967297", 1},
    };
    std::string text;
    for (const auto &c : cases)
        text += std::string("G;") + c.field + ";0;1;1;00;N.fds\n";
    write_catalogue(text);
    ASSERT_EQ(load_catalogue(), static_cast<int>(std::size(cases)) + 1);
    for (std::size_t i = 0; i < std::size(cases); i++)
        EXPECT_EQ(catalogue[i + 1].listed, cases[i].value) << "field \"" << cases[i].field << '"';
}

TEST_F(CatalogueLoad, RowCountIsOneMoreThanTheLinesEndedByALineFeed)
{
    struct {
        std::string text;
        int rows;
    } cases[] = {
        {"", 1},
        {lines(3), 4},
        {lines(2) + "G;1;0;1;1;01;9;Last.fds", 3},
        {"G;1;0;1;1;01;9;Only.fds", 1},
    };
    for (const auto &c : cases) {
        reset_catalogue_for_tests();
        write_catalogue(c.text);
        EXPECT_EQ(load_catalogue(), c.rows) << c.text;
        EXPECT_EQ(row_count, c.rows);
    }
    EXPECT_TRUE(ui_stub.messages.empty());
}

TEST_F(CatalogueLoad, FileCountZeroHasNoCrcFields)
{
    write_catalogue("G;1;0;1;1;00;Empty.fds\nH;1;0;1;1;01;AB;Next.fds\n");
    EXPECT_EQ(load_catalogue(), 3);
    EXPECT_TRUE(catalogue[1].crcs.empty());
    EXPECT_STREQ(catalogue[1].name, "Empty.fds");
    EXPECT_EQ(catalogue[2].crcs[0], 0xABu);
}

TEST_F(CatalogueLoad, FieldsFollowEachOtherAcrossLinesAndASemicolonEndsTheName)
{
    write_catalogue("G;1;0;1;1\n02;AA;BB;Split.fds\nH;1;0;1;1;00;Na;me.fds\n");
    EXPECT_EQ(load_catalogue(), 3);
    EXPECT_STREQ(catalogue[1].name, "Split.fds");
    EXPECT_EQ(catalogue[1].crcs[1], 0xBBu);
    EXPECT_STREQ(catalogue[2].name, "Na");
}

TEST_F(CatalogueLoad, FourHundredNinetyEightLinesLoadWithoutMessage)
{
    write_catalogue(lines(498));
    EXPECT_EQ(load_catalogue(), 499);
    EXPECT_TRUE(ui_stub.messages.empty());
    EXPECT_STREQ(catalogue[498].name, "Game 498.fds");
}

TEST_F(CatalogueLoad, FullTableShowsTheMessageWith501)
{
    for (int count : {499, 600}) {
        reset_catalogue_for_tests();
        ui_stub_reset();
        write_catalogue(lines(count));
        EXPECT_EQ(load_catalogue(), 500);
        ASSERT_EQ(ui_stub.messages.size(), 1u);
        EXPECT_EQ(ui_stub.messages[0].text, "Too many ingredients: 501.\n");
        EXPECT_EQ(ui_stub.messages[0].caption, "FDS_ID");
        EXPECT_FALSE(ui_stub.messages[0].owned);
        EXPECT_STREQ(catalogue[499].name, "Game 499.fds");
    }
}

TEST_F(CatalogueLoad, NegativeFileCountStopsLoadingAndTheNextRunReadsAgain)
{
    struct {
        const char *count;
        const char *shown;
    } cases[] = {{"128", "4294967168"}, {"255", "4294967295"}, {"-1", "4294967295"}};
    for (const auto &c : cases) {
        reset_catalogue_for_tests();
        ui_stub_reset();
        write_catalogue(lines(2) + "G;1;0;1;1;" + c.count + ";AA;Bad.fds\n" + lines(1));
        EXPECT_EQ(load_catalogue(), 2);
        EXPECT_EQ(row_count, 0);
        ASSERT_EQ(ui_stub.messages.size(), 1u);
        EXPECT_EQ(ui_stub.messages[0].text,
                  std::string("Memory allocation of ") + c.shown + " ints failed\n");
        EXPECT_EQ(ui_stub.messages[0].caption, "FDS_ID");
    }
    write_catalogue(lines(4));
    EXPECT_EQ(load_catalogue(), 5);
    EXPECT_EQ(row_count, 5);
}

TEST_F(CatalogueLoad, OverLongNameKeepsEightyOneCharactersAndTheNextLineIsTheNextRecord)
{
    std::string name(95, 'n');
    write_catalogue("G;1;0;1;1;01;AA;" + name + "\n" + lines(1));
    EXPECT_EQ(load_catalogue(), 3);
    EXPECT_EQ(std::string(catalogue[1].name), name.substr(0, 81));
    EXPECT_STREQ(catalogue[2].name, "Game 1.fds");
    ASSERT_EQ(ui_stub.messages.size(), 1u);
    EXPECT_EQ(ui_stub.messages[0].caption, "fstrtok");
}

TEST_F(CatalogueLoad, OverLongGameCodeKeepsItsFirstFourCharacters)
{
    write_catalogue(std::string(90, 'Q') + "\n1;0;1;1;00;N.fds\n");
    EXPECT_EQ(load_catalogue(), 2);
    EXPECT_STREQ(catalogue[1].game_code, "QQQQ");
    EXPECT_STREQ(catalogue[1].name, "N.fds");
}

TEST_F(CatalogueLoad, IsReadOnceAndAMissingOrUndecodableFileIsTriedAgain)
{
    EXPECT_EQ(load_catalogue(), 0);
    for (const char *utf16_odd_or_lone : {"\xFF\xFEz", "\xFE\xFF\xD8\x3D"}) {
        write_catalogue(utf16_odd_or_lone);
        EXPECT_EQ(load_catalogue(), 0);
    }
    EXPECT_TRUE(ui_stub.messages.empty());
    write_catalogue(lines(2));
    EXPECT_EQ(load_catalogue(), 3);
    catalogue[1].found = 7;
    write_catalogue(lines(5));
    EXPECT_EQ(load_catalogue(), 3);
    EXPECT_EQ(catalogue[1].found, 7);
}

TEST_F(CatalogueLoad, ReleaseGivesBackTheListsAndKeepsTheRowCount)
{
    write_catalogue(lines(3));
    ASSERT_EQ(load_catalogue(), 4);
    release_catalogue();
    EXPECT_EQ(row_count, 4);
    for (int i = 1; i <= 3; i++)
        EXPECT_EQ(catalogue[i].crcs.capacity(), 0u);
}

} // namespace
