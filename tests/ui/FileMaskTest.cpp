// The file mask's matcher on its own: one table of masks and names.
#include "ui/FileMask.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

struct MaskCase {
    const char* mask;
    const char* name;
    bool passes;
};

constexpr MaskCase MaskCases[] = {
    // "?" after the first character takes at most one character.
    {"*.mp?", "song.mp3", true},
    {"*.mp?", "song.MP2", true},
    {"*.mp?", "song.mpg", true},
    {"*.mp?", "song.mp", true},
    {"*.mp?", "song.mpeg", false},
    {"*.mp?", "song.mp3.bak", false},
    {"*.mp?", "song.ogg", false},
    // As the first character it takes exactly one.
    {"?ong.mp3", "song.mp3", true},
    {"?ong.mp3", "ong.mp3", false},
    {"?ong.mp3", "sSong.mp3", false},
    {"s?ng.mp3", "sng.mp3", true},
    {"s?ng.mp3", "soong.mp3", false},
    // The pattern covers the whole name.
    {"song.mp3", "SONG.MP3", true},
    {"song.mp3", "song.mp3x", false},
    {"song.mp3", "xsong.mp3", false},
    {"*.*", "readme.txt", true},
    {"*.*", "README", false},
    {"*", "anything at all", true},
    // "*" backtracks over repeated letters.
    {"*ab*ab", "xabyabab", true},
    {"*ab*ab", "xabyaba", false},
    // Several patterns, blanks around them ignored; case never matters.
    {"*.MP3;*.wav", "a.mp3", true},
    {"*.MP3;*.wav", "b.WAV", true},
    {"*.MP3;*.wav", "c.ogg", false},
    {" *.ogg ; *.flac ", "x.flac", true},
    {"*.mp3;", "x.mp3", true},
    // Points and backslashes are plain characters, not regular expression syntax.
    {"a.b", "axb", false},
    {"a\\b.*", "a\\b.mp3", true},
    {"[ab].mp3", "[ab].mp3", true},
    {"[ab].mp3", "a.mp3", false},
    {"\xc3\x84*.mp3", "\xc3\xa4rger.mp3", true}, // case folding beyond ASCII
    // No pattern: everything passes.
    {"", "song.ogg", true},
    {";", "song.ogg", true},
};

TEST(FileMaskTest, MasksTakeTheNamesTheirPatternsCover) {
    for (const MaskCase& c : MaskCases) {
        SCOPED_TRACE(std::string(c.mask) + " vs " + c.name);
        EXPECT_EQ(FileMask(QString::fromUtf8(c.mask)).matches(QString::fromUtf8(c.name)), c.passes);
    }
}

TEST(FileMaskTest, EmptyOnlyWithoutPatterns) {
    EXPECT_TRUE(FileMask().isEmpty());
    EXPECT_TRUE(FileMask(" ; ").isEmpty());
    EXPECT_FALSE(FileMask("*.mp3").isEmpty());
    EXPECT_EQ(FileMask("*.mp?").text(), "*.mp?");
}

} // namespace
