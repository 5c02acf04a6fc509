#include "tags/PictureInfo.h"

#include <array>
#include <cstdint>

namespace quillon {

namespace {

std::uint32_t byteAt(std::string_view data, std::size_t at) {
    return static_cast<unsigned char>(data[at]);
}
std::uint32_t bigEndian16(std::string_view data, std::size_t at) {
    return (byteAt(data, at) << 8) | byteAt(data, at + 1);
}
std::uint32_t bigEndian32(std::string_view data, std::size_t at) {
    return (bigEndian16(data, at) << 16) | bigEndian16(data, at + 2);
}
std::uint32_t littleEndian16(std::string_view data, std::size_t at) {
    return byteAt(data, at) | (byteAt(data, at + 1) << 8);
}
std::uint32_t littleEndian24(std::string_view data, std::size_t at) {
    return littleEndian16(data, at) | (byteAt(data, at + 2) << 16);
}
std::uint32_t littleEndian32(std::string_view data, std::size_t at) {
    return littleEndian16(data, at) | (littleEndian16(data, at + 2) << 16);
}

// A size is taken only when both sides are positive and fit an int.
PictureSize sized(std::int64_t width, std::int64_t height) {
    constexpr std::int64_t kLargest = 1 << 30;
    if (width <= 0 || height <= 0 || width > kLargest || height > kLargest)
        return {};
    return {static_cast<int>(width), static_cast<int>(height)};
}

// The frame header (SOF0-SOF15 but DHT, JPG and DAC) gives the size; the
// segments before it are stepped over by their lengths.
PictureSize jpegSize(std::string_view data) {
    std::size_t at = 2;
    while (at + 4 <= data.size()) {
        if (byteAt(data, at) != 0xFF)
            return {};
        const std::uint32_t marker = byteAt(data, at + 1);
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { // no length
            at += 2;
            continue;
        }
        const std::uint32_t length = bigEndian16(data, at + 2);
        if (length < 2)
            return {};
        const bool frameHeader =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frameHeader) {
            if (at + 9 > data.size())
                return {};
            return sized(bigEndian16(data, at + 7), bigEndian16(data, at + 5));
        }
        if (marker == 0xDA || marker == 0xD9) // the image data starts, or the image ends
            return {};
        at += 2 + length;
    }
    return {};
}

PictureSize webpSize(std::string_view data) {
    if (data.size() < 30)
        return {};
    const std::string_view chunk = data.substr(12, 4);
    if (chunk == "VP8 ") {
        // The key frame's start code, then two 14-bit sizes.
        if (data.substr(23, 3) != "\x9D\x01\x2A")
            return {};
        return sized(littleEndian16(data, 26) & 0x3FFF, littleEndian16(data, 28) & 0x3FFF);
    }
    if (chunk == "VP8L") {
        if (byteAt(data, 20) != 0x2F)
            return {};
        const std::uint32_t bits = littleEndian32(data, 21);
        return sized((bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1);
    }
    if (chunk == "VP8X")
        return sized(std::int64_t{littleEndian24(data, 24)} + 1,
                     std::int64_t{littleEndian24(data, 27)} + 1);
    return {};
}

} // namespace

PictureSize pictureSizeOf(std::string_view data) {
    if (data.size() >= 24 && data.substr(0, 8) == "\x89PNG\r\n\x1A\n" &&
        data.substr(12, 4) == "IHDR")
        return sized(bigEndian32(data, 16), bigEndian32(data, 20));
    if (data.size() >= 4 && data.substr(0, 3) == "\xFF\xD8\xFF")
        return jpegSize(data);
    if (data.size() >= 10 && (data.substr(0, 6) == "GIF87a" || data.substr(0, 6) == "GIF89a"))
        return sized(littleEndian16(data, 6), littleEndian16(data, 8));
    if (data.size() >= 26 && data.substr(0, 2) == "BM") {
        const std::uint32_t header = littleEndian32(data, 14);
        if (header == 12) // OS/2's header: 16-bit sizes
            return sized(littleEndian16(data, 18), littleEndian16(data, 20));
        // A negative height stores the rows top-down.
        const auto width = static_cast<std::int32_t>(littleEndian32(data, 18));
        const auto height = static_cast<std::int32_t>(littleEndian32(data, 22));
        return sized(width, height < 0 ? -std::int64_t{height} : height);
    }
    if (data.size() >= 16 && data.substr(0, 4) == "RIFF" && data.substr(8, 4) == "WEBP")
        return webpSize(data);
    return {};
}

std::string_view pictureTypeName(int type) {
    static constexpr std::array<std::string_view, 21> kNames = {
        "Other",
        "File icon",
        "Other file icon",
        "Front cover",
        "Back cover",
        "Leaflet page",
        "Media",
        "Lead artist",
        "Artist",
        "Conductor",
        "Band",
        "Composer",
        "Lyricist",
        "Recording location",
        "During recording",
        "During performance",
        "Video screen capture",
        "A bright coloured fish",
        "Illustration",
        "Band logotype",
        "Publisher logotype",
    };
    return type >= 0 && type < int(kNames.size()) ? kNames[static_cast<std::size_t>(type)]
                                                  : kNames[0];
}

} // namespace quillon
