// Xing and VBRI headers, the encoder mark at the end of the audio, and the
// encoder guess built on them.
#include "mpeg/MPEGaudio.h"
#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace quillon;

namespace {

using Header = std::array<std::uint8_t, 4>;
using namespace std::string_view_literals;

// On the heap, so that the sanitizer sees any read outside the block.
std::unique_ptr<ScanBlock> emptyBlock() {
    auto block = std::make_unique<ScanBlock>();
    block->fill(0);
    return block;
}

// `count` frames of `size` bytes: the header, then `fill` up to the next one.
Bytes cbrStream(const Header& header, int size, int count, std::uint8_t fill) {
    Bytes stream;
    for (int n = 0; n < count; ++n) {
        append(stream, Bytes(header.begin(), header.end()));
        stream.insert(stream.end(), size - 4, fill);
    }
    return stream;
}

// A Xing header as an encoder writes it, with the given vendor bytes.
void putXing(Bytes& to, std::size_t at, std::string_view vendor) {
    putText(to, at, "Xing");
    putBigEndian32(to, at + 4, 0x0F);
    putBigEndian32(to, at + 8, 5000);
    putBigEndian32(to, at + 12, 2000000);
    to[at + 119] = 78;
    putText(to, at + 120, vendor);
}

void putVbri(Bytes& to, std::size_t at) {
    putText(to, at, "VBRI");
    to[at + 5] = 1;
    to[at + 9] = 75;
    putBigEndian32(to, at + 10, 2000000);
    putBigEndian32(to, at + 14, 5000);
}

struct Loaded {
    bool ok;
    std::string encoderText;
    std::string encoderMark;
    bool vbrFound;
};

Loaded load(const Bytes& content) {
    TestDir dir;
    TMPEGaudio audio;
    const bool ok = audio.Load(dir.createFile("a.mp3", content));
    return {ok, audio.EncoderText(), audio.EncoderMark(), audio.VBRData().Found};
}

const Header kJoint128{0xFF, 0xFB, 0x90, 0x44}; // MPEG 1 Layer III, original, 417 bytes

} // namespace

TEST(VbrHeaderTest, XingFieldsComeFromFixedOffsets) {
    const auto block = emptyBlock();
    const int v = 36;
    putText(*block, v, "Xing");                 // flags stay zero
    putBigEndian32(*block, v + 8, 0x80000000u); // reads as negative
    putBigEndian32(*block, v + 12, 0xFFFFFFFEu);
    putText(*block, v + 116, "\x11\x22\x33"); // only the last quality byte counts
    (*block)[v + 119] = 0xC8;
    putText(*block, v + 120, "LAME3.92");
    putText(*block, v + 128, "ZZZZ");

    VBRData vbr;
    FindVbrHeader(*block, v, vbr);
    EXPECT_TRUE(vbr.Found);
    EXPECT_EQ(vbr.ID, (std::array<char, 4>{'X', 'i', 'n', 'g'}));
    EXPECT_EQ(vbr.Frames, INT32_MIN);
    EXPECT_EQ(vbr.Bytes, -2);
    EXPECT_EQ(vbr.Scale, 0xC8);
    EXPECT_EQ(vbr.VendorText, "LAME3.92");

    // Zero bytes stay in the vendor text: always eight characters.
    putText(*block, v + 120, "LA\0\0\0\0\0\0"sv);
    putBigEndian32(*block, v + 8, 10000);
    FindVbrHeader(*block, v, vbr);
    EXPECT_EQ(vbr.Frames, 10000);
    EXPECT_EQ(vbr.VendorText, "LA\0\0\0\0\0\0"sv);
}

TEST(VbrHeaderTest, VbriFieldsComeFromFixedOffsets) {
    const auto block = emptyBlock();
    const int v = 21;
    putText(*block, v, "VBRI");
    putText(*block, v + 4, "\x00\x01\x0F\xA0"sv);
    (*block)[v + 8] = 0x12;
    (*block)[v + 9] = 0x4B;
    putBigEndian32(*block, v + 10, 4000000);
    putBigEndian32(*block, v + 14, 0xFFFFFFFFu);
    putText(*block, v + 120, "LAME3.92"); // no vendor text in a VBRI header

    VBRData vbr;
    vbr.VendorText = "stale";
    FindVbrHeader(*block, v, vbr);
    EXPECT_TRUE(vbr.Found);
    EXPECT_EQ(vbr.ID, (std::array<char, 4>{'V', 'B', 'R', 'I'}));
    EXPECT_EQ(vbr.Scale, 0x4B);
    EXPECT_EQ(vbr.Bytes, 4000000);
    EXPECT_EQ(vbr.Frames, -1);
    EXPECT_EQ(vbr.VendorText, "");
}

TEST(VbrHeaderTest, OnlyExactIdsAtTheGivenPositionAreRecognised) {
    struct Case {
        std::string_view id;
        int shift;
    };
    const Case cases[] = {{"xing", 0}, {"XING", 0},  {"Info", 0}, {"VBRi", 0},
                          {"Xing", 1}, {"Xing", -1}, {"VBRI", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.id) + " shifted by " + std::to_string(c.shift));
        const auto block = emptyBlock();
        putText(*block, 36 + c.shift, c.id);
        putBigEndian32(*block, 36 + c.shift + 8, 1000);
        putBigEndian32(*block, 36 + c.shift + 12, 400000);
        putText(*block, 36 + c.shift + 120, "LAME3.92");

        VBRData vbr{true, {'X', 'i', 'n', 'g'}, 7, 8, 9, "LAME3.90"};
        FindVbrHeader(*block, 36, vbr);
        EXPECT_FALSE(vbr.Found);
        EXPECT_EQ(vbr.ID, (std::array<char, 4>{}));
        EXPECT_EQ(vbr.Frames, 0);
        EXPECT_EQ(vbr.Bytes, 0);
        EXPECT_EQ(vbr.Scale, 0);
        EXPECT_EQ(vbr.VendorText, "");
    }
}

TEST(VbrHeaderTest, VbriIsLookedForOnlyWhereAXingHeaderWouldBe) {
    struct Case {
        const char* name;
        Header header;
        int size;
        int at;
        bool found;
    };
    const Case cases[] = {
        {"MPEG 1 joint stereo at 36", kJoint128, 417, 36, true},
        {"MPEG 1 mono at 36", {0xFF, 0xFB, 0x90, 0xC4}, 417, 36, false},
        {"MPEG 1 mono at 21", {0xFF, 0xFB, 0x90, 0xC4}, 417, 21, true},
        {"MPEG 2 stereo at 36", {0xFF, 0xF3, 0x80, 0x44}, 208, 36, false},
        {"MPEG 2 stereo at 21", {0xFF, 0xF3, 0x80, 0x44}, 208, 21, true},
        {"MPEG 2 mono at 36", {0xFF, 0xF3, 0x80, 0xC4}, 208, 36, false},
        {"MPEG 2 mono at 13", {0xFF, 0xF3, 0x80, 0xC4}, 208, 13, true},
        {"MPEG 2.5 mono at 13", {0xFF, 0xE3, 0x88, 0xC4}, 576, 13, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes stream = cbrStream(c.header, c.size, 20, 0);
        putVbri(stream, c.at);
        const Loaded result = load(stream);
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.vbrFound, c.found);
    }
}

TEST(EncoderMarkTest, SearchesTwoFramesBackFromTheEnd) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::string_view>> marks;
        std::uint16_t frameSize;
        std::string_view expected;
    };
    const Case cases[] = {
        {"last window", {{3450, "LAME3.92"}}, 417, "LAME3.92"},
        {"fewer than four bytes after LAME", {{3451, "LAME3.9"}}, 417, ""},
        {"LAME in the last four bytes", {{3454, "LAME"}}, 417, ""},
        {"nearest to the end wins", {{3000, "LAME3.90"}, {3200, "GOGO"}}, 417, "GOGO"},
        {"nearest to the end wins", {{3000, "GOGO"}, {3200, "LAME3.91"}}, 417, "LAME3.91"},
        {"GOGO alone", {{3440, "GOGO3.00"}}, 417, "GOGO"},
        {"zero bytes kept", {{3000, "LAME\0\0\0\0"sv}}, 417, "LAME\0\0\0\0"sv},
        {"case matters", {{3000, "lame3.92"}, {3100, "gogo"}}, 417, ""},
        {"first window out of range", {{2616, "LAME3.93"}}, 417, "LAME3.93"},
        {"just out of range", {{2615, "LAME3.93"}}, 417, ""},
        {"range grows with the frame", {{2615, "LAME3.93"}}, 418, "LAME3.93"},
        {"range reaching byte 2", {{2, "LAME3.98"}}, 1724, "LAME3.98"},
        {"range ending at byte 2", {{1, "LAME3.98"}}, 1724, ""},
        {"range past the block start", {{0, "LAME3.98"}}, 1729, "LAME3.98"},
        {"range far past the block start", {{0, "GOGO"}}, 2881, "GOGO"},
        {"nothing in range far past the block start", {}, 2881, ""},
        {"a ninth digit", {{3000, "LAME3.100"}}, 417, "LAME3.100"},
        {"a ninth letter", {{3000, "LAME3.99r"}}, 417, "LAME3.99"},
        {"a ninth byte past the block", {{3450, "LAME3.10"}}, 417, "LAME3.10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto block = emptyBlock();
        for (const auto& [at, text] : c.marks)
            putText(*block, at, text);
        EXPECT_EQ(FindEncoderMark(*block, c.frameSize), c.expected);
    }
}

// The other names come out of the guesses below; without a frame there is nothing to guess from.
TEST(EncoderTest, AFileWithoutAudioFramesHasAnUnknownEncoder) {
    struct Case {
        const char* name;
        Bytes content;
    };
    const Case cases[] = {
        {"an empty file", {}},
        {"bytes that hold no frame", Bytes(4000, 0x55)},
        {"a LAME mark but no frame",
         [] {
             Bytes bytes(4000, 0);
             putText(bytes, 3000, "LAME3.90");
             return bytes;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded result = load(c.content);
        EXPECT_EQ(result.encoderText, "Unknown");
    }
}

TEST(EncoderTest, ConstantBitRateGuessFollowsTheLastRuleThatHolds) {
    struct Case {
        const char* name;
        Header header;
        int size;
        std::uint8_t fill;
        std::string_view mark; // placed 50 bytes before the end of the file
        std::string_view expected;
    };
    const Case cases[] = {
        {"joint stereo, original", kJoint128, 417, 0x55, "", "FhG"},
        {"stereo at 128 kbit/s", {0xFF, 0xFB, 0x90, 0x04}, 417, 0x55, "", "Blade"},
        {"stereo at 160 kbit/s", {0xFF, 0xFB, 0xA0, 0x04}, 522, 0x55, "", "Blade"},
        {"stereo at 192 kbit/s", {0xFF, 0xFB, 0xB0, 0x04}, 626, 0x55, "", "FhG"},
        {"MPEG 2 stereo", {0xFF, 0xF3, 0x80, 0x00}, 208, 0x55, "", "Blade"},
        {"CRC, original", {0xFF, 0xFA, 0x90, 0x44}, 417, 0x55, "", "LAME"},
        {"CRC, not original", {0xFF, 0xFA, 0x90, 0x40}, 417, 0x55, "", "FhG"},
        {"CRC, original, stereo at 128", {0xFF, 0xFA, 0x90, 0x04}, 417, 0x55, "", "Blade"},
        {"copyrighted original", {0xFF, 0xFB, 0xB0, 0x0C}, 626, 0x55, "", "Xing"},
        {"copyrighted original at 128", {0xFF, 0xFB, 0x90, 0x0C}, 417, 0x55, "", "Xing"},
        {"copyrighted original, CRC", {0xFF, 0xFA, 0xB0, 0x0C}, 626, 0x55, "", "LAME"},
        {"zeros after the header, original", kJoint128, 417, 0x00, "", "Xing"},
        {"zeros after the header, copy", {0xFF, 0xFB, 0x90, 0x40}, 417, 0x00, "", "FhG"},
        {"dual channel, CRC", {0xFF, 0xFA, 0x90, 0x80}, 417, 0x55, "", "Shine"},
        {"dual channel, CRC, original", {0xFF, 0xFA, 0x90, 0x84}, 417, 0x55, "", "Shine"},
        {"dual channel", {0xFF, 0xFB, 0x90, 0x84}, 417, 0x55, "", "FhG"},
        {"LAME mark", {0xFF, 0xFA, 0x90, 0x84}, 417, 0x55, "LAME3.90", "LAME 3.90"},
        {"LAME mark over Blade", {0xFF, 0xFB, 0x90, 0x04}, 417, 0x00, "LAME3.90", "LAME 3.90"},
        {"LAME 3.100 mark", kJoint128, 417, 0x55, "LAME3.100", "LAME 3.100"},
        {"GOGO mark", {0xFF, 0xFA, 0x90, 0x44}, 417, 0x55, "GOGO", "GoGo"},
        {"version ends in a space", kJoint128, 417, 0x55, "LAME3.9 ", "LAME"},
        {"version ends in a letter", kJoint128, 417, 0x55, "LAME3.9a", "LAME"},
        {"no full stop", kJoint128, 417, 0x55, "LAME3092", "LAME"},
        {"zero bytes after LAME", kJoint128, 417, 0x55, "LAME\0\0\0\0"sv, "LAME"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes stream = cbrStream(c.header, c.size, 20, c.fill);
        putText(stream, stream.size() - 50, c.mark);
        const Loaded result = load(stream);
        EXPECT_TRUE(result.ok);
        EXPECT_FALSE(result.vbrFound);
        EXPECT_EQ(result.encoderMark, c.mark);
        EXPECT_EQ(result.encoderText, c.expected);
    }
}

TEST(EncoderTest, VbrGuessFollowsTheIdAndVendorText) {
    struct Case {
        const char* name;
        std::string_view vendor; // empty for a VBRI header
        std::string_view expected;
    };
    const Case cases[] = {
        {"LAME with version", "LAME3.92", "LAME 3.92"},
        // LAME 3.100 writes nine characters; a ninth that is no digit is no part of it.
        {"LAME 3.100", "LAME3.100", "LAME 3.100"},
        {"LAME 3.99r", "LAME3.99r", "LAME 3.99"},
        {"LAME, version ends in a space", "LAME3.9 ", "LAME"},
        {"GOGO has no version", "GOGO3.92", "GoGo"},
        {"MPGE", "MPGE1.00", "GoGo"},
        {"eight zero bytes", "\0\0\0\0\0\0\0\0"sv, "Xing"},
        {"three letters", "LAM\0\0\0\0\0"sv, "Xing"},
        {"lower case", "lame3.92", "Xing"},
        {"VBRI", "", "FhG"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The flags would make any CBR rule say something else.
        Bytes stream = cbrStream({0xFF, 0xFA, 0x90, 0x84}, 417, 20, 0);
        if (c.vendor.empty())
            putVbri(stream, 36);
        else
            putXing(stream, 36, c.vendor);
        // A mark in the tail is never looked for when a VBR header was found.
        putText(stream, stream.size() - 50, "GOGO");
        const Loaded result = load(stream);
        EXPECT_TRUE(result.ok);
        EXPECT_TRUE(result.vbrFound);
        EXPECT_EQ(result.encoderMark, "");
        EXPECT_EQ(result.encoderText, c.expected);
    }
}
