// The frame header: validity, decoding, the tables behind it, frame sizes and
// the search for the first confirmed frame of a block.
#include "mpeg/MPEGaudio.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using namespace quillon;

namespace {

using Header = std::array<std::uint8_t, 4>;

// Version and layer as stored: version 3 = MPEG 1, 2 = MPEG 2, 0 = MPEG 2.5;
// layer 3 = I, 2 = II, 1 = III. No CRC, original, no emphasis.
Header makeHeader(int version, int layer, int bitRateIndex, int sampleRateIndex,
                  bool padded = false, int channelMode = 1) {
    return {0xFF, static_cast<std::uint8_t>(0xE1 | version << 3 | layer << 1),
            static_cast<std::uint8_t>(bitRateIndex << 4 | sampleRateIndex << 2 | (padded ? 2 : 0)),
            static_cast<std::uint8_t>(channelMode << 6 | 0x04)};
}

const Header kCbr128{0xFF, 0xFB, 0x90, 0x64}; // MPEG 1 Layer III, 128 kbit/s, 44100 Hz: 417 bytes

FrameData decoded(const Header& header) {
    FrameData frame;
    DecodeHeader(header.data(), frame);
    return frame;
}

// On the heap, so that the sanitizer sees any read outside the block.
std::unique_ptr<ScanBlock> emptyBlock() {
    auto block = std::make_unique<ScanBlock>();
    block->fill(0);
    return block;
}

// Writes the header bytes that fall inside the block.
void put(ScanBlock& block, int at, const Header& header) {
    for (int i = 0; i < 4 && at + i < ScanBlockSize; ++i)
        block[at + i] = header[i];
}

std::string hex(const Header& h) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X", h[0], h[1], h[2], h[3]);
    return text;
}

} // namespace

TEST(FrameHeaderTest, ValidityTestAppliesExactlyTheSevenRules) {
    struct Case {
        Header header;
        bool accepted;
    };
    const Case cases[] = {
        {{0xFF, 0xFB, 0x90, 0x64}, true},
        {{0xFE, 0xFB, 0x90, 0x64}, false}, // first sync byte
        {{0xFF, 0xD0, 0x90, 0x64}, false}, // only ten sync bits
        {{0xFF, 0xDB, 0x90, 0x64}, false},
        {{0xFF, 0xE2, 0x90, 0x64}, true},  // eleven sync bits, MPEG 2.5 Layer III
        {{0xFF, 0xEB, 0x90, 0x64}, false}, // reserved version
        {{0xFF, 0xF9, 0x90, 0x64}, false}, // reserved layer
        {{0xFF, 0xFB, 0x00, 0x64}, false}, // free format
        {{0xFF, 0xFB, 0xF0, 0x64}, false}, // forbidden bit rate
        {{0xFF, 0xFB, 0x9C, 0x64}, false}, // reserved sample rate
        {{0xFF, 0xFB, 0x90, 0x66}, false}, // reserved emphasis
        {{0xFF, 0xFB, 0x90, 0x67}, true},  // emphasis CCIT J.17
        {{0xFF, 0xFB, 0x90, 0x65}, true},  // emphasis 50/15 ms
        {{0xFF, 0xFA, 0x93, 0xFF}, true},  // CRC, padding, private, mono, all flags
        {{0xFF, 0xFD, 0x10, 0x04}, true},  // a combination the standard forbids still passes
        {{0xFF, 0xFF, 0xE8, 0x00}, true},  // MPEG 1 Layer I, 448 kbit/s, 32000 Hz
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(hex(c.header));
        EXPECT_EQ(IsFrameHeader(c.header.data()), c.accepted);
    }
}

TEST(FrameHeaderTest, DecodeTakesEveryFieldFromItsBits) {
    FrameData a;
    a.Found = true;
    a.Position = 77;
    a.Size = 99;
    a.ZeroAfterHeader = true;
    DecodeHeader(kCbr128.data(), a);
    EXPECT_TRUE(a.Found);
    EXPECT_EQ(a.Position, 77);
    EXPECT_EQ(a.Size, 99);
    EXPECT_TRUE(a.ZeroAfterHeader);
    EXPECT_EQ(a.HeaderBytes, kCbr128);
    EXPECT_EQ(a.VersionIndex, 3);
    EXPECT_EQ(a.LayerIndex, 1);
    EXPECT_FALSE(a.CrcProtected);
    EXPECT_EQ(a.BitRateIndex, 9);
    EXPECT_EQ(a.SampleRateIndex, 0);
    EXPECT_FALSE(a.Padded);
    EXPECT_FALSE(a.PrivateBit);
    EXPECT_EQ(a.ChannelModeIndex, 1);
    EXPECT_EQ(a.ModeExtension, 2);
    EXPECT_FALSE(a.Copyrighted);
    EXPECT_TRUE(a.Original);
    EXPECT_EQ(a.EmphasisIndex, 0);

    // Every bit flipped where the first header had it clear, and the other way.
    const Header other{0xFF, 0xE4, 0xEB, 0xBB};
    const FrameData b = decoded(other);
    EXPECT_EQ(b.HeaderBytes, other);
    EXPECT_EQ(b.VersionIndex, 0);
    EXPECT_EQ(b.LayerIndex, 2);
    EXPECT_TRUE(b.CrcProtected);
    EXPECT_EQ(b.BitRateIndex, 14);
    EXPECT_EQ(b.SampleRateIndex, 2);
    EXPECT_TRUE(b.Padded);
    EXPECT_TRUE(b.PrivateBit);
    EXPECT_EQ(b.ChannelModeIndex, 2);
    EXPECT_EQ(b.ModeExtension, 3);
    EXPECT_TRUE(b.Copyrighted);
    EXPECT_FALSE(b.Original);
    EXPECT_EQ(b.EmphasisIndex, 3);
}

TEST(FrameHeaderTest, BitRateAndSampleRateTables) {
    using Row = std::array<std::uint16_t, 14>;
    const Row v1l1{32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448};
    const Row v1l2{32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    const Row v1l3{32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    const Row v2l1{32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256};
    const Row v2l23{8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    const std::uint16_t rates[4][3] = {
        {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

    for (int version : {0, 2, 3}) {
        for (int layer = 1; layer <= 3; ++layer) {
            const Row& row = version == 3 ? (layer == 3   ? v1l1
                                             : layer == 2 ? v1l2
                                                          : v1l3)
                                          : (layer == 3 ? v2l1 : v2l23);
            for (int index = 1; index <= 14; ++index) {
                for (int rate = 0; rate <= 2; ++rate) {
                    SCOPED_TRACE(hex(makeHeader(version, layer, index, rate)));
                    const FrameData frame = decoded(makeHeader(version, layer, index, rate));
                    EXPECT_EQ(HeaderBitRate(frame), row[index - 1]);
                    EXPECT_EQ(HeaderSampleRate(frame), rates[version][rate]);
                }
            }
        }
    }
    // Reserved codes have entries of their own, all zero.
    for (int version = 0; version < 4; ++version) {
        EXPECT_EQ(SampleRateTable[version][3], 0);
        for (int layer = 0; layer < 4; ++layer) {
            EXPECT_EQ(BitRateTable[version][layer][0], 0);
            EXPECT_EQ(BitRateTable[version][layer][15], 0);
            if (version != 1 && layer != 0)
                continue;
            for (int index = 0; index < 16; ++index)
                EXPECT_EQ(BitRateTable[version][layer][index], 0);
        }
        EXPECT_EQ(SampleRateTable[1][version], 0);
    }
}

TEST(FrameHeaderTest, FrameSizeFactorAndPadding) {
    struct Case {
        int version, layer;
        int factor;
        int padding;
    };
    // Layer I counts 4-byte slots: 12 slots of 4 bytes per (bit rate / sample rate).
    const Case cases[] = {
        {3, 3, 48, 4}, {3, 2, 144, 1}, {3, 1, 144, 1}, {2, 3, 48, 4}, {2, 2, 144, 1},
        {2, 1, 72, 1}, {0, 3, 48, 4},  {0, 2, 144, 1}, {0, 1, 72, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + " layer " + std::to_string(c.layer));
        EXPECT_EQ(FrameSizeFactor(decoded(makeHeader(c.version, c.layer, 9, 0))), c.factor);
        EXPECT_EQ(PaddingSize(decoded(makeHeader(c.version, c.layer, 9, 0, false))), 0);
        EXPECT_EQ(PaddingSize(decoded(makeHeader(c.version, c.layer, 9, 0, true))), c.padding);
    }
}

TEST(FrameHeaderTest, FrameSizes) {
    struct Case {
        const char* name;
        Header header;
        int size;
    };
    const Case cases[] = {
        {"1/III 128k 44100", kCbr128, 417},
        {"1/III 128k 44100 padded", {0xFF, 0xFB, 0x92, 0x64}, 418},
        {"1/III 320k 32000 padded", makeHeader(3, 1, 14, 2, true), 1441},
        {"2/III 8k 24000", makeHeader(2, 1, 1, 1), 24},
        {"2.5/III 8k 11025", makeHeader(0, 1, 1, 0), 52},
        {"2/III 160k 16000 padded", makeHeader(2, 1, 14, 2, true), 721},
        {"1/II 384k 32000 padded", makeHeader(3, 2, 14, 2, true), 1729},
        {"1/II 128k 44100", makeHeader(3, 2, 8, 0), 417},
        {"2/II 160k 22050", makeHeader(2, 2, 14, 0), 1044},
        {"2.5/II 160k 8000 padded", makeHeader(0, 2, 14, 2, true), 2881},
        // Layer I: the truncation comes before the slots are counted in bytes.
        {"1/I 32k 44100", makeHeader(3, 3, 1, 0), 32},
        {"1/I 32k 48000 padded", makeHeader(3, 3, 1, 1, true), 36},
        {"1/I 448k 32000 padded", makeHeader(3, 3, 14, 2, true), 676},
        {"1/I 384k 44100", makeHeader(3, 3, 12, 0), 416},
        {"2/I 32k 22050", makeHeader(2, 3, 1, 0), 68},
        {"2.5/I 256k 8000 padded", makeHeader(0, 3, 14, 2, true), 1540},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(IsFrameHeader(c.header.data()));
        EXPECT_EQ(CalcFrameSize(decoded(c.header)), c.size);
    }
}

TEST(FrameHeaderTest, VbrHeaderOffsetDependsOnVersionAndMono) {
    struct Case {
        int version, channelMode;
        int offset;
    };
    const Case cases[] = {
        {3, 0, 36}, {3, 1, 36}, {3, 2, 36}, {3, 3, 21}, {2, 0, 21},
        {2, 2, 21}, {2, 3, 13}, {0, 1, 21}, {0, 3, 13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + " mode " +
                     std::to_string(c.channelMode));
        Header header = makeHeader(c.version, 1, 5, 0, false, c.channelMode);
        EXPECT_EQ(VbrHeaderOffset(decoded(header)), c.offset);
        header[1] &= 0xFE; // a CRC does not move it
        EXPECT_EQ(VbrHeaderOffset(decoded(header)), c.offset);
    }
}

TEST(FrameHeaderTest, DisplayTextsCoverReservedCodes) {
    EXPECT_EQ(VersionNames,
              (std::array<std::string_view, 4>{"MPEG 2.5", "MPEG ?", "MPEG 2", "MPEG 1"}));
    EXPECT_EQ(LayerNames,
              (std::array<std::string_view, 4>{"Layer ?", "Layer III", "Layer II", "Layer I"}));
    EXPECT_EQ(ChannelModeNames, (std::array<std::string_view, 5>{
                                    "Stereo", "Joint Stereo", "Dual Channel", "Mono", "Unknown"}));
    EXPECT_EQ(EmphasisNames,
              (std::array<std::string_view, 4>{"None", "50/15 ms", "Unknown", "CCIT J.17"}));
}

TEST(FrameHeaderTest, FindFrameStartsFromAZeroRecord) {
    FrameData frame = decoded({0xFF, 0xE4, 0xEB, 0xBB});
    frame.Found = true;
    frame.Position = 5;
    frame.Size = 417;
    frame.ZeroAfterHeader = true;
    frame.ChannelModeIndex = 4;
    const auto block = emptyBlock();
    FindFrame(*block, frame);

    EXPECT_FALSE(frame.Found);
    EXPECT_EQ(frame.Position, 0);
    EXPECT_EQ(frame.Size, 0);
    EXPECT_FALSE(frame.ZeroAfterHeader);
    EXPECT_EQ(frame.HeaderBytes, (Header{0, 0, 0, 0}));
    EXPECT_EQ(frame.VersionIndex, 0);
    EXPECT_EQ(frame.LayerIndex, 0);
    EXPECT_FALSE(frame.CrcProtected);
    EXPECT_EQ(frame.BitRateIndex, 0);
    EXPECT_EQ(frame.SampleRateIndex, 0);
    EXPECT_FALSE(frame.Padded);
    EXPECT_FALSE(frame.PrivateBit);
    EXPECT_EQ(frame.ChannelModeIndex, 0);
    EXPECT_EQ(frame.ModeExtension, 0);
    EXPECT_FALSE(frame.Copyrighted);
    EXPECT_FALSE(frame.Original);
    EXPECT_EQ(frame.EmphasisIndex, 0);
}

TEST(FrameHeaderTest, FindFrameNeedsAHeaderOneFrameLater) {
    struct Case {
        const char* name;
        Header header;
        int at;
        int successorAt;
        bool found;
    };
    const Header layerII384 = makeHeader(3, 2, 14, 2, true); // 1729 bytes
    const Header layerII2881 = makeHeader(0, 2, 14, 2, true);
    const Case cases[] = {
        {"pair at 10", kCbr128, 10, 427, true},
        {"successor one byte early", kCbr128, 10, 426, false},
        {"successor one byte late", kCbr128, 10, 428, false},
        {"Layer I", makeHeader(3, 3, 1, 0), 0, 32, true},
        {"MPEG 2 Layer II", makeHeader(2, 2, 14, 0), 0, 1044, true},
        {"last position", kCbr128, 1729, 2146, true},
        {"past the last position", kCbr128, 1730, 2147, false},
        {"successor ends the block", layerII384, 1725, 3454, true},
        {"successor cut by the block end", layerII384, 1726, 3455, false},
        {"successor just past the block", layerII384, 1729, 3458, false},
        {"2881-byte frame", layerII2881, 500, 3381, true},
        {"2881-byte frame near the end", layerII2881, 1729, 4610, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto block = emptyBlock();
        put(*block, c.at, c.header);
        put(*block, c.successorAt, kCbr128);
        FrameData frame;
        FindFrame(*block, frame);
        ASSERT_EQ(frame.Found, c.found);
        if (c.found) {
            EXPECT_EQ(frame.Position, c.at);
            EXPECT_EQ(frame.Size, c.successorAt - c.at);
            EXPECT_EQ(frame.HeaderBytes, c.header);
        }
    }
}

TEST(FrameHeaderTest, FindFrameSkipsACandidateWithABrokenSuccessor) {
    const auto block = emptyBlock();
    put(*block, 10, kCbr128);
    put(*block, 427, {0xFF, 0xFB, 0xF0, 0x64}); // damaged: forbidden bit rate
    // A pair that starts before 427: found only if the search goes on from 11.
    const Header mpeg2 = makeHeader(2, 1, 1, 1, false, 3); // 24 bytes
    put(*block, 100, mpeg2);
    put(*block, 124, mpeg2);
    FrameData frame;
    FindFrame(*block, frame);
    ASSERT_TRUE(frame.Found);
    EXPECT_EQ(frame.Position, 100);
    EXPECT_EQ(frame.Size, 24);
    EXPECT_EQ(frame.HeaderBytes, mpeg2);
    EXPECT_EQ(frame.VersionIndex, 2);
    EXPECT_EQ(frame.ChannelModeIndex, 3);
}

TEST(FrameHeaderTest, FindFrameAcceptsAnySuccessorAndNotesZerosAfterTheHeader) {
    struct Case {
        int nonZeroAt; // relative to the frame start; 0 for none
        bool zeroAfterHeader;
    };
    const Case cases[] = {{0, true}, {4, false}, {9, false}, {10, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nonZeroAt);
        const auto block = emptyBlock();
        put(*block, 10, kCbr128);
        put(*block, 427, makeHeader(0, 3, 3, 2, false, 3)); // another version and layer
        if (c.nonZeroAt)
            (*block)[10 + c.nonZeroAt] = 0x55;
        FrameData frame;
        FindFrame(*block, frame);
        ASSERT_TRUE(frame.Found);
        EXPECT_EQ(frame.Position, 10);
        EXPECT_EQ(frame.Size, 417);
        EXPECT_EQ(frame.ZeroAfterHeader, c.zeroAfterHeader);
    }
}
