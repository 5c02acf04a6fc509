// MPEG audio stream analysis: the frame header and its tables, the frame
// search, the Xing and VBRI headers, the encoder guess, and TMPEGaudio, which
// ties the tags and the stream of one file together.
#pragma once

#include "tags/FileAccess.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// Size of each block that the analysis reads from a file.
inline constexpr int ScanBlockSize = 3458;
using ScanBlock = std::array<std::uint8_t, ScanBlockSize>;

// The decoded first frame of a file.
struct FrameData {
    bool Found = false;
    // Offset of the header from the start of the block that was searched.
    std::int32_t Position = 0;
    std::uint16_t Size = 0;
    bool ZeroAfterHeader = false;
    std::array<std::uint8_t, 4> HeaderBytes{};
    std::uint8_t VersionIndex = 0;
    std::uint8_t LayerIndex = 0;
    bool CrcProtected = false;
    std::uint16_t BitRateIndex = 0;
    std::uint16_t SampleRateIndex = 0;
    bool Padded = false;
    bool PrivateBit = false;
    // 4 stands for "no frame known".
    std::uint8_t ChannelModeIndex = 0;
    std::uint8_t ModeExtension = 0;
    bool Copyrighted = false;
    bool Original = false;
    std::uint8_t EmphasisIndex = 0;
};

// The Xing or VBRI header found in the first frame.
struct VBRData {
    bool Found = false;
    std::array<char, 4> ID{};
    std::int32_t Frames = 0;
    std::int32_t Bytes = 0;
    std::uint8_t Scale = 0;
    // Eight bytes after a Xing header's quality field, and a ninth when it is a digit that
    // continues a version ("LAME3.100"); empty for VBRI.
    std::string VendorText;
};

// Tables indexed directly by the decoded codes; reserved codes have entries.
extern const std::uint16_t BitRateTable[4][4][16];
extern const std::uint16_t SampleRateTable[4][4];
extern const std::array<std::string_view, 4> VersionNames;
extern const std::array<std::string_view, 4> LayerNames;
extern const std::array<std::string_view, 5> ChannelModeNames;
extern const std::array<std::string_view, 4> EmphasisNames;
extern const std::array<std::string_view, 7> EncoderNames;

// One frame header: four bytes in file order.
bool IsFrameHeader(const std::uint8_t* header);
// Fills HeaderBytes and the fields from VersionIndex to EmphasisIndex.
void DecodeHeader(const std::uint8_t* header, FrameData& frame);

// Bytes per frame per (bit rate / sample rate); eight times it is the number of
// samples in a frame: 48 for Layer I, 144 for Layer II, 144 or 72 for Layer III.
std::uint8_t FrameSizeFactor(const FrameData& frame);
std::uint16_t HeaderBitRate(const FrameData& frame);
std::uint16_t HeaderSampleRate(const FrameData& frame);
std::uint8_t PaddingSize(const FrameData& frame);
std::uint16_t CalcFrameSize(const FrameData& frame);
// Offset from the frame's first byte at which a VBR header would start.
std::uint8_t VbrHeaderOffset(const FrameData& frame);

// Finds the first header in the block whose successor is a header as well.
void FindFrame(const ScanBlock& block, FrameData& frame);

// Reads a Xing or VBRI header found at `position` in the block.
void FindVbrHeader(const ScanBlock& block, int position, VBRData& vbr);
void ReadXingHeader(const ScanBlock& block, int position, VBRData& vbr);
void ReadVbriHeader(const ScanBlock& block, int position, VBRData& vbr);

// Searches the last two frames' length of a tail block for "LAME" plus its
// version (four bytes, five when the fifth is a digit: "LAME3.100"), or
// "GOGO"; empty when neither is there.
std::string FindEncoderMark(const ScanBlock& tail, std::uint16_t frameSize);

// One analysed file: its tags, its first frame, and its VBR header or
// encoder mark.
class TMPEGaudio {
public:
    TMPEGaudio();
    virtual ~TMPEGaudio() = default;
    TMPEGaudio(const TMPEGaudio&) = delete;
    TMPEGaudio& operator=(const TMPEGaudio&) = delete;

    void Reset();
    // Never throws; reads at most three blocks of the file. Files of 2 GiB
    // or more are not analysed.
    bool Load(const std::string& fileName);
    bool Valid() const;

    std::int32_t FileSize() const { return m_fileSize; }
    // What the file's fstat said as Load read it: size, time and identity. The window shows
    // and compares these rather than asking the file system again. Zero when nothing is loaded.
    const FileStamp& fileStamp() const { return m_fileStamp; }
    // The mark's bytes as text (UTF-8, read as Windows-1252).
    std::string EncoderMark() const;
    const quillon::VBRData& VBRData() const { return m_vbrData; }
    const quillon::FrameData& FrameData() const { return m_frameData; }
    TID3v1& ID3v1Tag() { return m_id3v1Tag; }
    const TID3v1& ID3v1Tag() const { return m_id3v1Tag; }
    TID3v2& ID3v2Tag() { return m_id3v2Tag; }
    const TID3v2& ID3v2Tag() const { return m_id3v2Tag; }

    std::string VersionText() const;
    std::string LayerText() const;
    std::string ChannelModeText() const;
    std::string EmphasisText() const;
    std::uint8_t EncoderIndex() const;
    std::string EncoderText() const;
    std::uint16_t BitRate() const;
    std::uint16_t SampleRate() const;
    std::int32_t FrameCount() const;
    double Duration() const;

private:
    std::uint8_t VbrEncoderIndex() const;
    std::uint8_t CbrEncoderIndex() const;
    // FileSize − ID3v2 extent − header offset: the bytes taken as audio data.
    std::int64_t AudioDataSize() const;
    void readInfoHeader(const ScanBlock& block, std::int64_t count);
    // The frame count that a VBR or Info header gives; 0 when none does.
    std::int32_t headerFrames() const;

    std::int32_t m_fileSize;
    FileStamp m_fileStamp;
    std::string m_encoderMark;
    // The frame count of an "Info" header (a constant bit rate file's Xing layout), and the
    // bit rate of the frame after it; 0 when there is none.
    std::int32_t m_infoFrames;
    std::uint16_t m_infoBitRate;
    quillon::VBRData m_vbrData;
    quillon::FrameData m_frameData;
    TID3v1 m_id3v1Tag;
    TID3v2 m_id3v2Tag;
};

} // namespace quillon
