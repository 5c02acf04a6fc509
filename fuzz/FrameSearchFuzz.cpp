// The frame search, the VBR header reading and the encoder mark search on any block.
#include "mpeg/MPEGaudio.h"

#include <algorithm>
#include <cstring>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ScanBlock block{};
    std::memcpy(block.data(), data, std::min<std::size_t>(size, block.size()));
    FrameData frame;
    FindFrame(block, frame);
    VBRData vbr;
    if (frame.Found)
        FindVbrHeader(block, frame.Position + VbrHeaderOffset(frame), vbr);
    // Any frame size, as a tail block search would get it.
    const std::uint16_t frameSize =
        size >= 2 ? static_cast<std::uint16_t>(data[0] << 8 | data[1]) : 0;
    (void)FindEncoderMark(block, frame.Found ? frame.Size : frameSize);
    return 0;
}
