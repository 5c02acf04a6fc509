#include "mpeg/MPEGaudio.h"

#include "tags/TagText.h"

#include "tags/FileAccess.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>

namespace quillon {

// [version][layer][bit-rate index], kbit/s. Versions: 0 = MPEG 2.5, 1 =
// reserved, 2 = MPEG 2, 3 = MPEG 1. Layers: 0 = reserved, 1 = III, 2 = II, 3 = I.
const std::uint16_t BitRateTable[4][4][16] = {
    {
        {0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    },
    {{0}, {0}, {0}, {0}},
    {
        {0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    },
    {
        {0},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    },
};

const std::uint16_t SampleRateTable[4][4] = {
    {11025, 12000, 8000, 0},
    {0, 0, 0, 0},
    {22050, 24000, 16000, 0},
    {44100, 48000, 32000, 0},
};

const std::array<std::string_view, 4> VersionNames = {"MPEG 2.5", "MPEG ?", "MPEG 2", "MPEG 1"};
const std::array<std::string_view, 4> LayerNames = {"Layer ?", "Layer III", "Layer II", "Layer I"};
const std::array<std::string_view, 5> ChannelModeNames = {"Stereo", "Joint Stereo", "Dual Channel",
                                                          "Mono", "Unknown"};
const std::array<std::string_view, 4> EmphasisNames = {"None", "50/15 ms", "Unknown", "CCIT J.17"};
const std::array<std::string_view, 7> EncoderNames = {"Unknown", "Xing", "FhG",  "LAME",
                                                      "Blade",   "GoGo", "Shine"};

namespace {

constexpr std::uint8_t kVersionMpeg1 = 3;
constexpr std::uint8_t kLayerI = 3;
constexpr std::uint8_t kLayerIII = 1;
constexpr std::uint8_t kChannelModeMono = 3;
// Bytes of an ID3v1 tag at the end of a file.
constexpr int kID3v1Size = 128;

enum EncoderIndexes : std::uint8_t { Unknown, Xing, FhG, LAME, Blade, GoGo, Shine };

std::int32_t bigEndian32At(const ScanBlock& block, int at) {
    const std::uint32_t value = (std::uint32_t{block[at]} << 24) |
                                (std::uint32_t{block[at + 1]} << 16) |
                                (std::uint32_t{block[at + 2]} << 8) | std::uint32_t{block[at + 3]};
    return static_cast<std::int32_t>(value);
}

bool bytesAre(const ScanBlock& block, int at, const char (&text)[5]) {
    return at >= 0 && at + 4 <= ScanBlockSize && std::memcmp(block.data() + at, text, 4) == 0;
}

bool beginsWith(const std::string& text, std::string_view prefix) {
    return text.size() >= 4 && text.compare(0, 4, prefix) == 0;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads up to a block at `offset`; the rest of the block is zero bytes, which
// never form a header, an id or a mark.
bool readBlock(int fd, std::int64_t offset, ScanBlock& block, std::int64_t& count) {
    block.fill(0);
    count = readAt(fd, block.data(), block.size(), offset);
    return count >= 0;
}

} // namespace

bool IsFrameHeader(const std::uint8_t* header) {
    const std::uint8_t b1 = header[1], b2 = header[2], b3 = header[3];
    if (header[0] != 0xFF || (b1 & 0xE0) != 0xE0)
        return false;
    if (((b1 >> 3) & 3) == 1 || ((b1 >> 1) & 3) == 0)
        return false;
    const int bitRateIndex = b2 >> 4;
    if (bitRateIndex == 15 || bitRateIndex == 0)
        return false;
    if (((b2 >> 2) & 3) == 3)
        return false;
    return (b3 & 3) != 2;
}

void DecodeHeader(const std::uint8_t* header, FrameData& frame) {
    std::memcpy(frame.HeaderBytes.data(), header, 4);
    const std::uint8_t b1 = header[1], b2 = header[2], b3 = header[3];
    frame.VersionIndex = (b1 >> 3) & 3;
    frame.LayerIndex = (b1 >> 1) & 3;
    frame.CrcProtected = (b1 & 1) == 0;
    frame.BitRateIndex = b2 >> 4;
    frame.SampleRateIndex = (b2 >> 2) & 3;
    frame.Padded = (b2 >> 1) & 1;
    frame.PrivateBit = b2 & 1;
    frame.ChannelModeIndex = b3 >> 6;
    frame.ModeExtension = (b3 >> 4) & 3;
    frame.Copyrighted = (b3 >> 3) & 1;
    frame.Original = (b3 >> 2) & 1;
    frame.EmphasisIndex = b3 & 3;
}

std::uint8_t FrameSizeFactor(const FrameData& frame) {
    if (frame.LayerIndex == kLayerI)
        return 48;
    if (frame.LayerIndex == kLayerIII && frame.VersionIndex != kVersionMpeg1)
        return 72;
    return 144;
}

std::uint16_t HeaderBitRate(const FrameData& frame) {
    return BitRateTable[frame.VersionIndex & 3][frame.LayerIndex & 3][frame.BitRateIndex & 15];
}

std::uint16_t HeaderSampleRate(const FrameData& frame) {
    return SampleRateTable[frame.VersionIndex & 3][frame.SampleRateIndex & 3];
}

std::uint8_t PaddingSize(const FrameData& frame) {
    if (!frame.Padded)
        return 0;
    return frame.LayerIndex == kLayerI ? 4 : 1;
}

std::uint16_t CalcFrameSize(const FrameData& frame) {
    const std::uint32_t sampleRate = HeaderSampleRate(frame);
    if (sampleRate == 0)
        return 0;
    const std::uint32_t bitRate = HeaderBitRate(frame) * 1000u;
    // Layer I frames are made of 4-byte slots; the others of single bytes.
    const std::uint32_t bytes = frame.LayerIndex == kLayerI
                                    ? 4 * (12 * bitRate / sampleRate)
                                    : FrameSizeFactor(frame) * bitRate / sampleRate;
    return static_cast<std::uint16_t>(bytes + PaddingSize(frame));
}

std::uint8_t VbrHeaderOffset(const FrameData& frame) {
    const bool mono = frame.ChannelModeIndex == kChannelModeMono;
    if (frame.VersionIndex == kVersionMpeg1)
        return mono ? 21 : 36;
    return mono ? 13 : 21;
}

void FindFrame(const ScanBlock& block, FrameData& frame) {
    frame = FrameData{};
    constexpr int kLastPosition = ScanBlockSize - 1729;
    for (int p = 0; p <= kLastPosition; ++p) {
        if (!IsFrameHeader(block.data() + p))
            continue;
        DecodeHeader(block.data() + p, frame);
        const int size = CalcFrameSize(frame);
        const int q = p + size;
        // A successor that does not fit in the block cannot confirm the frame.
        if (q + 4 > ScanBlockSize || !IsFrameHeader(block.data() + q))
            continue;
        frame.Found = true;
        frame.Position = p;
        frame.Size = static_cast<std::uint16_t>(size);
        frame.ZeroAfterHeader = std::all_of(block.begin() + p + 4, block.begin() + p + 10,
                                            [](std::uint8_t b) { return b == 0; });
        return;
    }
}

void FindVbrHeader(const ScanBlock& block, int position, VBRData& vbr) {
    vbr = VBRData{};
    if (bytesAre(block, position, "Xing"))
        ReadXingHeader(block, position, vbr);
    if (bytesAre(block, position, "VBRI"))
        ReadVbriHeader(block, position, vbr);
}

void ReadXingHeader(const ScanBlock& block, int position, VBRData& vbr) {
    if (position < 0 || position + 128 > ScanBlockSize)
        return;
    vbr.Found = true;
    std::memcpy(vbr.ID.data(), "Xing", 4);
    vbr.Frames = bigEndian32At(block, position + 8);
    vbr.Bytes = bigEndian32At(block, position + 12);
    vbr.Scale = block[position + 119];
    vbr.VendorText.assign(reinterpret_cast<const char*>(block.data()) + position + 120, 8);
    if (position + 129 <= ScanBlockSize && isDigit(static_cast<char>(block[position + 128])))
        vbr.VendorText += static_cast<char>(block[position + 128]);
}

void ReadVbriHeader(const ScanBlock& block, int position, VBRData& vbr) {
    if (position < 0 || position + 18 > ScanBlockSize)
        return;
    vbr.Found = true;
    std::memcpy(vbr.ID.data(), "VBRI", 4);
    vbr.Scale = block[position + 9];
    vbr.Bytes = bigEndian32At(block, position + 10);
    vbr.Frames = bigEndian32At(block, position + 14);
}

std::string FindEncoderMark(const ScanBlock& tail, std::uint16_t frameSize) {
    constexpr int kFirstWindow = ScanBlockSize - 8;
    const int lastStep = std::min(2 * int{frameSize}, kFirstWindow);
    for (int j = 0; j <= lastStep; ++j) {
        const int at = kFirstWindow - j;
        if (bytesAre(tail, at, "LAME")) {
            const bool ninth = at + 9 <= ScanBlockSize && isDigit(static_cast<char>(tail[at + 8]));
            return std::string(reinterpret_cast<const char*>(tail.data()) + at, ninth ? 9 : 8);
        }
        if (bytesAre(tail, at, "GOGO"))
            return "GOGO";
    }
    return std::string();
}

TMPEGaudio::TMPEGaudio() {
    Reset();
}

void TMPEGaudio::Reset() {
    m_fileSize = 0;
    m_fileStamp = FileStamp{};
    m_encoderMark.clear();
    m_infoFrames = 0;
    m_infoBitRate = 0;
    m_vbrData = quillon::VBRData{};
    m_frameData = quillon::FrameData{};
    // The no-frame state: reserved codes that read "MPEG ?", "Layer ?" and "Unknown".
    m_frameData.VersionIndex = 1;
    m_frameData.SampleRateIndex = 3;
    m_frameData.ChannelModeIndex = 4;
    m_frameData.ModeExtension = 4;
    m_frameData.EmphasisIndex = 2;
    m_id3v1Tag.Reset();
    m_id3v2Tag.Reset();
}

bool TMPEGaudio::Load(const std::string& fileName) {
    Reset();
    const bool result = [&] {
        FileHandle file;
        if (!file.openForReading(fileName, m_fileStamp))
            return false;
        const std::int64_t size = m_fileStamp.size;
        if (!m_id3v1Tag.LoadFrom(file.fd(), size) || !m_id3v2Tag.LoadFrom(file.fd(), size))
            return false;
        if (size < 0 || size > std::numeric_limits<std::int32_t>::max())
            return false;
        m_fileSize = static_cast<std::int32_t>(size);

        ScanBlock block;
        std::int64_t count = 0;
        auto searchBlock = [&](std::int64_t offset) {
            if (!readBlock(file.fd(), offset, block, count))
                return false;
            FindFrame(block, m_frameData);
            if (m_frameData.Found) {
                FindVbrHeader(block, m_frameData.Position + VbrHeaderOffset(m_frameData),
                              m_vbrData);
                readInfoHeader(block, count);
            }
            return true;
        };
        const std::int32_t tagSize = m_id3v2Tag.Size();
        if (!searchBlock(tagSize))
            return false;
        // The middle of the file is counted from its start, not from the tag's end.
        if (!m_frameData.Found && count == ScanBlockSize &&
            !searchBlock((m_fileSize - tagSize) / 2))
            return false;

        if (m_frameData.Found && !m_vbrData.Found) {
            const std::int64_t tailAt =
                m_fileSize - ScanBlockSize - (m_id3v1Tag.Exists() ? kID3v1Size : 0);
            if (tailAt < 0 || !readBlock(file.fd(), tailAt, block, count))
                return false;
            m_encoderMark = FindEncoderMark(block, m_frameData.Size);
        }
        return file.close();
    }();
    if (!m_frameData.Found)
        Reset();
    return result;
}

// LAME and FFmpeg mark a constant bit rate stream with an "Info" header in its first frame,
// laid out as a Xing header. That frame is no audio, and FFmpeg gives it the smallest bit
// rate that holds the header, so the stream's own rate is the next frame's.
void TMPEGaudio::readInfoHeader(const ScanBlock& block, std::int64_t count) {
    m_infoFrames = 0;
    m_infoBitRate = 0;
    const int position = m_frameData.Position + VbrHeaderOffset(m_frameData);
    if (m_vbrData.Found || position + 12 > ScanBlockSize || !bytesAre(block, position, "Info"))
        return;
    m_infoFrames = std::max<std::int32_t>(0, bigEndian32At(block, position + 8));
    const std::int64_t next = std::int64_t{m_frameData.Position} + m_frameData.Size;
    if (next + 4 > count || !IsFrameHeader(block.data() + next))
        return;
    quillon::FrameData following;
    DecodeHeader(block.data() + next, following);
    if (following.VersionIndex == m_frameData.VersionIndex &&
        following.LayerIndex == m_frameData.LayerIndex &&
        following.SampleRateIndex == m_frameData.SampleRateIndex)
        m_infoBitRate = HeaderBitRate(following);
}

std::int32_t TMPEGaudio::headerFrames() const {
    if (m_vbrData.Found)
        return m_vbrData.Frames;
    return m_infoFrames;
}

std::string TMPEGaudio::EncoderMark() const {
    return windows1252ToUtf8(m_encoderMark);
}

std::int64_t TMPEGaudio::AudioDataSize() const {
    return std::int64_t{m_fileSize} - m_id3v2Tag.Size() - m_frameData.Position;
}

std::string TMPEGaudio::VersionText() const {
    return std::string(VersionNames[m_frameData.VersionIndex & 3]);
}

std::string TMPEGaudio::LayerText() const {
    return std::string(LayerNames[m_frameData.LayerIndex & 3]);
}

std::string TMPEGaudio::ChannelModeText() const {
    return std::string(ChannelModeNames[std::min<int>(m_frameData.ChannelModeIndex, 4)]);
}

std::string TMPEGaudio::EmphasisText() const {
    return std::string(EmphasisNames[m_frameData.EmphasisIndex & 3]);
}

std::uint8_t TMPEGaudio::VbrEncoderIndex() const {
    if (std::memcmp(m_vbrData.ID.data(), "VBRI", 4) == 0)
        return FhG;
    if (std::memcmp(m_vbrData.ID.data(), "Xing", 4) != 0)
        return Unknown;
    if (beginsWith(m_vbrData.VendorText, "LAME"))
        return LAME;
    if (beginsWith(m_vbrData.VendorText, "GOGO") || beginsWith(m_vbrData.VendorText, "MPGE"))
        return GoGo;
    return Xing;
}

std::uint8_t TMPEGaudio::CbrEncoderIndex() const {
    const quillon::FrameData& f = m_frameData;
    std::uint8_t index = FhG;
    if (f.Original && f.CrcProtected)
        index = LAME;
    if (HeaderBitRate(f) <= 160 && f.ChannelModeIndex == 0)
        index = Blade;
    if (f.Copyrighted && f.Original && !f.CrcProtected)
        index = Xing;
    if (f.ZeroAfterHeader && f.Original)
        index = Xing;
    if (f.ChannelModeIndex == 2 && f.CrcProtected)
        index = Shine;
    if (beginsWith(m_encoderMark, "LAME"))
        index = LAME;
    if (beginsWith(m_encoderMark, "GOGO"))
        index = GoGo;
    return index;
}

std::uint8_t TMPEGaudio::EncoderIndex() const {
    if (!m_frameData.Found)
        return Unknown;
    return m_vbrData.Found ? VbrEncoderIndex() : CbrEncoderIndex();
}

std::string TMPEGaudio::EncoderText() const {
    const std::uint8_t index = EncoderIndex();
    std::string text(EncoderNames[index]);
    const std::string& source = !m_encoderMark.empty() ? m_encoderMark : m_vbrData.VendorText;
    if (index == LAME && source.size() >= 8 && isDigit(source[4]) && source[5] == '.' &&
        isDigit(source[6]) && isDigit(source[7])) {
        text += ' ';
        // "3.100": a ninth digit belongs to the version.
        text.append(source, 4, source.size() >= 9 && isDigit(source[8]) ? 5 : 4);
    }
    return text;
}

std::uint16_t TMPEGaudio::BitRate() const {
    if (!m_vbrData.Found && m_infoFrames > 0 && m_infoBitRate > 0)
        return m_infoBitRate;
    if (m_vbrData.Found && m_vbrData.Frames > 0) {
        const double average = static_cast<double>(m_vbrData.Bytes) / m_vbrData.Frames;
        const double rate = (average - PaddingSize(m_frameData)) * HeaderSampleRate(m_frameData) /
                            FrameSizeFactor(m_frameData) / 1000.0;
        // Halves go to the even neighbour (the default rounding mode).
        return static_cast<std::uint16_t>(static_cast<std::int64_t>(std::nearbyint(rate)));
    }
    return HeaderBitRate(m_frameData);
}

std::uint16_t TMPEGaudio::SampleRate() const {
    return HeaderSampleRate(m_frameData);
}

std::int32_t TMPEGaudio::FrameCount() const {
    if (m_vbrData.Found)
        return m_vbrData.Frames;
    if (m_infoFrames > 0)
        return m_infoFrames;
    const std::uint16_t frameSize = CalcFrameSize(m_frameData);
    if (frameSize == 0)
        return 0;
    return static_cast<std::int32_t>(AudioDataSize() / frameSize);
}

double TMPEGaudio::Duration() const {
    if (!m_frameData.Found)
        return 0.0;
    if (headerFrames() > 0) {
        const double samples = static_cast<double>(FrameSizeFactor(m_frameData)) *
                               static_cast<double>(headerFrames()) * 8.0;
        return samples / HeaderSampleRate(m_frameData);
    }
    const double bits = static_cast<double>(AudioDataSize()) * 8.0;
    return bits / HeaderBitRate(m_frameData) / 1000.0;
}

bool TMPEGaudio::Valid() const {
    const std::uint16_t bitRate = BitRate();
    return m_frameData.Found && bitRate >= 8 && bitRate <= 448 && Duration() >= 0.1;
}

} // namespace quillon
