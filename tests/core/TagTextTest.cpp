#include "tags/TagText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using namespace quillon;

using namespace std::string_view_literals;

namespace {

// Windows-1252 bytes 0x80-0x9F; the five undefined ones keep their C1 value.
constexpr char32_t HighControlsRow[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t expectedCodePoint(int byte) {
    return byte >= 0x80 && byte < 0xA0 ? HighControlsRow[byte - 0x80] : char32_t(byte);
}

std::string allBytes() {
    std::string s;
    for (int b = 0; b < 256; ++b)
        s.push_back(static_cast<char>(b));
    return s;
}

} // namespace

TEST(Windows1252, EveryByteMapsToOneCodePointAndBack) {
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        const char32_t cp = windows1252ToUnicode(static_cast<std::uint8_t>(b));
        EXPECT_EQ(cp, expectedCodePoint(b));
        EXPECT_EQ(unicodeToWindows1252(cp), std::optional<std::uint8_t>(b));
    }
}

TEST(Windows1252, CodePointsOutsideTheCodePageHaveNoByte) {
    // U+0080 has no byte of its own: 0x80 is the euro sign.
    for (char32_t cp : {char32_t(0x80), char32_t(0x9F), char32_t(0x100), char32_t(0x20AD),
                        char32_t(0x4E2D), char32_t(0x1F600), char32_t(0x110000)}) {
        SCOPED_TRACE(static_cast<std::uint32_t>(cp));
        EXPECT_EQ(unicodeToWindows1252(cp), std::nullopt);
    }
}

TEST(Windows1252, TextsConvertToUtf8) {
    struct Case {
        std::string_view bytes;
        std::string_view utf8;
    };
    const Case cases[] = {
        {"", ""},
        {"Abc", "Abc"},
        {"\0"sv, "\0"sv},
        {"\x80", "\xE2\x82\xAC"},
        {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
        {"Caf\xE9", "Caf\xC3\xA9"},
        {"\x9F\xFF", "\xC5\xB8\xC3\xBF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.bytes));
        EXPECT_EQ(windows1252ToUtf8(c.bytes), c.utf8);
        EXPECT_EQ(utf8ToWindows1252(c.utf8), c.bytes);
    }
}

TEST(Windows1252, AllBytesSurviveARoundTripThroughUtf8) {
    const std::string bytes = allBytes();
    const std::string utf8 = windows1252ToUtf8(bytes);
    EXPECT_NE(utf8, bytes);
    EXPECT_EQ(utf8ToWindows1252(utf8), bytes);
}

TEST(Windows1252, UnencodableOrMalformedUtf8GetsTheReplacement) {
    EXPECT_EQ(utf8ToWindows1252("a\xE4\xB8\xAD"
                                "b"),
              "a?b");
    EXPECT_EQ(utf8ToWindows1252("\xF0\x9F\x98\x80", '_'), "_");
    EXPECT_EQ(utf8ToWindows1252("a\xFF"
                                "b"),
              "a?b");
    EXPECT_EQ(utf8ToWindows1252("a\x80"
                                "b"),
              "a?b");
}

TEST(Trim, RemovesBytesUpToSpaceOnly) {
    struct Case {
        std::string_view text;
        std::string_view right;
        std::string_view both;
    };
    const Case cases[] = {
        {"", "", ""},
        {"  ab  ", "  ab", "ab"},
        {"\0a\0b\0\0"sv, "\0a\0b"sv, "a\0b"sv},
        {"\x01\x1F x \x20\x0A", "\x01\x1F x", "x"},
        {" \t\r\n\0"sv, "", ""},
        // Bytes from 0x21 up, high bytes included, are text.
        {"\x21\xA0\xFF", "\x21\xA0\xFF", "\x21\xA0\xFF"},
        {"\x80 x \xFF", "\x80 x \xFF", "\x80 x \xFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_EQ(trimRightControls(c.text), c.right);
        EXPECT_EQ(trimControls(c.text), c.both);
    }
}

TEST(ParseWholeInt32, AcceptsOnlyAWholeNumber) {
    struct Case {
        std::string_view text;
        std::optional<std::int32_t> value;
    };
    const Case cases[] = {
        {"12", 12},
        {"007", 7},
        {"-1", -1},
        {"+7", 7},
        {"  5", 5},
        {" -3", -3},
        {"$1F", 31},
        {"x10", 16},
        {"X10", 16},
        {"0x10", 16},
        {"0X10", 16},
        {"0x7fffffff", 2147483647},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"$FFFFFFFF", -1},
        {"$80000000", -2147483647 - 1},
        {"5 ", std::nullopt},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"- 1", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"0x1G", std::nullopt},
        {"abc", std::nullopt},
        {"1/2", std::nullopt},
        {"1.5", std::nullopt},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999", std::nullopt},
        {"$100000000", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_EQ(parseWholeInt32(c.text), c.value);
    }
}
