// Damaged and unusual catalogue files end to end: binary garbage, more lines than the table
// holds, one endless line, CRLF line ends, a 0x1A end mark, byte-order marks and UTF-16. The
// run always ends with "Done!" and no image is lost, unless the file cannot be decoded.
#include "fault_fixture.h"

#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace fault_e2e;

struct catalogue_case {
    const char *label;
    std::string (*make)(const std::string &good); // the file's text from the good catalogue
    const char *label_shown;                      // the row count line on stdout
    std::string messages;                         // stderr before "Done!"
    bool solo_identified;
};

std::string garbage(const std::string &)
{
    std::string text;
    std::uint32_t x = 2463534242u;
    for (int i = 0; i < 8192; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        text += static_cast<char>(x % 251 == 0x1A ? 0x1B : x % 251);
    }
    return text;
}

std::string huge(const std::string &good)
{
    std::string text = good;
    for (int i = 0; i < 600; i++)
        text += "FILL;1;0;1;1;01;0000ABCD;Filler " + std::to_string(i) + ".fds\n";
    return text;
}

std::string endless(const std::string &good)
{
    return good + std::string(1 << 20, 'x');
}

std::string crlf(const std::string &good)
{
    std::string text;
    for (char c : good) {
        if (c == '\n')
            text += '\r';
        text += c;
    }
    return text;
}

std::string end_mark(const std::string &good)
{
    return good + "\x1A" + "MORE;1;0;1;1;01;12345678;After the mark.fds\n";
}

// As Windows PowerShell 5.1 redirects the dumper's output.
std::string utf16le(const std::string &good)
{
    std::string text = crlf(good);
    return utf16(std::u16string(text.begin(), text.end()), false);
}

std::string utf16be(const std::string &good)
{
    return utf16(std::u16string(good.begin(), good.end()), true);
}

std::string utf8_mark(const std::string &good)
{
    return "\xEF\xBB\xBF" + good;
}

class FaultCatalogue : public FaultTest, public ::testing::WithParamInterface<catalogue_case> {};

TEST_P(FaultCatalogue, TheRunEndsNormallyAndNoImageIsLost)
{
    const catalogue_case &c = GetParam();
    std::string good = read_file_text(work + "/ingredients.dat");
    ASSERT_EQ(4, std::count(good.begin(), good.end(), '\n'));
    ASSERT_TRUE(write_file_text(work + "/ingredients.dat", c.make(good)));
    std::string games = dir("games");
    bytes solo_image = gen_image_of({solo}, true);
    ASSERT_TRUE(write_file_bytes(games + "/solo.fds", solo_image));
    run_result r = vormlin({"games"}, work);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(std::string(c.label_shown) + "\n", r.out);
    EXPECT_EQ(c.messages + "VORMLIN: Done!\n", r.err);
    std::map<std::string, bytes> expected = {
        {c.solo_identified ? "ren/Solo.fds" : "solo.fds", solo_image}};
    EXPECT_EQ(expected, snapshot_tree(games));
}

INSTANTIATE_TEST_SUITE_P(
    Files, FaultCatalogue,
    ::testing::Values(catalogue_case{"crlf", crlf, "5!", "", true},
                      catalogue_case{"end_mark", end_mark, "5!", "", true},
                      catalogue_case{"utf16le", utf16le, "5!", "", true},
                      catalogue_case{"utf16be", utf16be, "5!", "", true},
                      catalogue_case{"utf8_mark", utf8_mark, "5!", "", true},
                      catalogue_case{"huge", huge, "500!", "FDS_ID: Too many ingredients: 501.\n",
                                     true},
                      catalogue_case{"endless", endless, "5!",
                                     "fstrtok: Error loading datfile, record too long:\n\t" +
                                         std::string(81, 'x') + "\n",
                                     true}),
    [](const ::testing::TestParamInfo<catalogue_case> &param) {
        return std::string(param.param.label);
    });

TEST_F(FaultTest, BinaryGarbageAsCatalogueIdentifiesNothingAndLosesNothing)
{
    ASSERT_TRUE(write_file_text(work + "/ingredients.dat", garbage("")));
    std::string games = dir("games");
    bytes solo_image = gen_image_of({solo}, true);
    bytes headerless = raw_sides({quad});
    ASSERT_TRUE(write_file_bytes(games + "/solo.fds", solo_image));
    ASSERT_TRUE(write_file_bytes(games + "/quad.fds", headerless));
    run_result r = vormlin({"games"}, work);
    // This garbage loads as nonsense entries (and over-long field messages) that match nothing.
    EXPECT_EQ(0, r.status);
    EXPECT_NE(std::string::npos, r.err.find("VORMLIN: Done!\n")) << r.err;
    std::map<std::string, bytes> after = snapshot_tree(games);
    EXPECT_EQ(solo_image, after["solo.fds"]);
    EXPECT_EQ(headerless, after["bak/quad.fds"]);
    EXPECT_EQ(with_header(headerless, 1), after["quad.fds"]);
    EXPECT_EQ(3u, after.size());
}

// A catalogue that is no plain file is never waited on or read without end, and one that
// cannot be decoded is not guessed at: the run stops at once and nothing is written, not even
// miss.txt.
TEST_F(FaultTest, ACatalogueThatCannotBeReadStopsTheRunAndChangesNothing)
{
    const std::string good = read_file_text(work + "/ingredients.dat");
    const char *const kinds[] = {"fifo", "zero", "directory", "odd_utf16", "lone_surrogate"};
    for (std::string kind : kinds) {
        SCOPED_TRACE(kind);
        std::string cwd = dir(kind), games = dir(kind + "/games");
        ASSERT_TRUE(write_file_bytes(games + "/solo.fds", gen_image_of({solo}, true)));
        ASSERT_TRUE(write_file_bytes(games + "/quad.fds", raw_sides({quad})));
        std::string catalogue = cwd + "/ingredients.dat";
        if (kind == "fifo")
            ASSERT_EQ(0, mkfifo(catalogue.c_str(), 0644));
        else if (kind == "zero")
            ASSERT_EQ(0, symlink("/dev/zero", catalogue.c_str()));
        else if (kind == "odd_utf16")
            ASSERT_TRUE(write_file_text(catalogue, utf16le(good) + "z"));
        else if (kind == "lone_surrogate")
            ASSERT_TRUE(write_file_text(catalogue, utf16le(good) + "\x3D\xD8"));
        else
            dir(kind + "/ingredients.dat");
        tree_state before = state_of(cwd);
        run_result r = vormlin({"games"}, cwd, {}, 10);
        EXPECT_EQ(1, r.status);
        EXPECT_EQ("VORMLIN: Error getting ingredients.\n", r.err);
        EXPECT_EQ("", tree_difference(before, state_of(cwd)));
    }
}

// Names in a catalogue that PowerShell wrote place images under those names, byte for byte.
TEST_F(FaultTest, Utf16NamesPlaceImagesUnderThoseNames)
{
    std::string fields[] = {catalogue_line(solo, 1, 1, ""), catalogue_line(quad, 1, 1, "")};
    std::u16string text(fields[0].begin(), fields[0].end() - 1);
    text += u"ソロモンの鍵 (Japan).fds\r\n";
    text.append(fields[1].begin(), fields[1].end() - 1);
    text += u"Pokémon Café.fds\r\n";
    ASSERT_TRUE(write_file_text(work + "/ingredients.dat", utf16(text, false)));
    std::string games = dir("games");
    bytes solo_image = gen_image_of({solo}, true), quad_image = gen_image_of({quad}, true);
    ASSERT_TRUE(write_file_bytes(games + "/solo.fds", solo_image));
    ASSERT_TRUE(write_file_bytes(games + "/quad.fds", quad_image));
    run_result r = vormlin({"games"}, work);
    EXPECT_EQ("3!\n", r.out);
    EXPECT_EQ("VORMLIN: Done!\n", r.err);
    std::map<std::string, bytes> expected = {{"ren/ソロモンの鍵 (Japan).fds", solo_image},
                                             {"ren/Pokémon Café.fds", quad_image}};
    EXPECT_EQ(expected, snapshot_tree(games));
}

} // namespace
