// Wildcard matching of directory entry names and the order in which searches list them.
#include "wildcard.h"

#include <gtest/gtest.h>

namespace {

struct match_case {
    const char *pattern;
    const char *name;
    bool expected;
};

TEST(WildcardMatch, StarAndQuestionMarkFollowTheDirectorySearchRules)
{
    const match_case cases[] = {
        {"*.fd?", "a.FDS", true},
        {"*.fd?", "game.fds", true},
        {"*.fd?", "game.fd0", true},
        {"*.fd?", "a.fd", false},
        {"*.fd?", "a.fdsx", false},
        {"*.fd?", "a.fam", false},
        {"*.fd?", ".fds", true},
        {"*.fa?", "Disk.FAM", true},
        {"*.FDS", "x.fds", true},
        {"*.fds", "X.FdS", true},
        {"*.fds", "x.fds.bak", false},
        {"*.fds", "a.b.fds", true},
        {"*", "", true},
        {"*", "anything at all", true},
        {"", "", true},
        {"", "a", false},
        {"?", "", false},
        {"?", "a", true},
        {"??", "a", false},
        {"a*", "a", true},
        {"*ab", "aab", true},
        {"*a*b", "xaxxb", true},
        {"*a*b", "xaxxbc", false},
        {"a*b*c", "abcbc", true},
        {"tmp????.fds", "tmp0001.fds", true},
        {"tmp????.fds", "tmp10000.fds", false},
        {"[1].fds", "1.fds", false}, // brackets are plain characters
        {"[a].fds", "[A].FDS", true},
        {"_*", "_x", true},
        {"_*", "x_", false},
    };
    for (const match_case &c : cases)
        EXPECT_EQ(wildcard_match(c.pattern, c.name), c.expected)
            << "\"" << c.pattern << "\" against \"" << c.name << "\"";
}

TEST(WildcardMatch, OnlyAsciiLettersFoldCase)
{
    EXPECT_FALSE(wildcard_match("_", "\x7F"));
    EXPECT_FALSE(wildcard_match("[", "{"));       // 0x5B and 0x7B differ by 0x20 but are no letters
    EXPECT_FALSE(wildcard_match("\xE9", "\xC9")); // nor are bytes beyond ASCII
}

int sign(int v)
{
    return (v > 0) - (v < 0);
}

struct order_case {
    const char *a;
    const char *b;
    int expected; // sign of name_order(a, b)
};

TEST(NameOrder, UpperCasesLettersAndBreaksTiesByBytes)
{
    const order_case cases[] = {
        {"a.fds", "B.fds", -1},
        {"B.fds", "c.fds", -1},
        {"a.fds", "c.fds", -1},
        {"Z.fds", "_.fds", -1}, // 'Z' 0x5A before '_' 0x5F
        {"a.fds", "_.fds", -1}, // 'a' counts as 'A' 0x41, so it too comes before '_'
        {"z.fds", "_.fds", -1},
        {"_.fds", "~.fds", -1},
        {"A.fds", "a.fds", -1}, // same when upper-cased: plain byte order decides
        {"a.fds", "A.fds", 1},
        {"a.fds", "a.fds", 0},
        {"a", "a.fds", -1},
        {"", "a", -1},
        {".hidden.fds", "a.fds", -1},
        {"game 2.fds", "game.fds", -1}, // blank 0x20 before dot 0x2E
        {"Game.fds", "game.FDS", -1},
        {"\xC9.fds", "\xE9.fds", -1}, // bytes beyond ASCII are compared as they are
    };
    for (const order_case &c : cases) {
        EXPECT_EQ(sign(name_order(c.a, c.b)), c.expected) << c.a << " vs " << c.b;
        EXPECT_EQ(sign(name_order(c.b, c.a)), -c.expected) << c.b << " vs " << c.a;
    }
}

} // namespace
