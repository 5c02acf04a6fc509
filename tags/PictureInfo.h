// What a picture's bytes say about it without decoding it: its pixel size
// from the headers of the common formats, and the names of ID3v2's picture
// types.
#pragma once

#include <string_view>

namespace quillon {

struct PictureSize {
    int width = 0, height = 0;
    bool operator==(const PictureSize&) const = default;
};

// From a JPEG's frame header, a PNG's IHDR, or the headers of GIF, BMP and
// WebP; {0, 0} when the bytes are none of those or are cut short.
PictureSize pictureSizeOf(std::string_view data);

// "Front cover" for 3 and the other names of ID3v2's 21 types; "Other" for
// 0 and for a type out of that range.
std::string_view pictureTypeName(int type);

} // namespace quillon
