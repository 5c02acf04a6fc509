// The bytes of ID3v1 and ID3v2 tags, their frames and MPEG audio frames, built in tests so that
// every fixture states its bytes in the test that reads them.
#pragma once

#include "tests/support/TestFiles.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// Four bytes, most significant first.
inline Bytes bigEndian32(std::uint32_t value) {
    return {std::uint8_t(value >> 24), std::uint8_t(value >> 16), std::uint8_t(value >> 8),
            std::uint8_t(value)};
}

// Four bytes of seven bits each, most significant first, as ID3v2 sizes are written.
inline Bytes syncsafe(std::uint32_t value) {
    return {std::uint8_t(value >> 21 & 0x7F), std::uint8_t(value >> 14 & 0x7F),
            std::uint8_t(value >> 7 & 0x7F), std::uint8_t(value & 0x7F)};
}

// Writes `text` into `to` at `at`; `to` is a Bytes or any other buffer of bytes.
template <typename Buffer> void putText(Buffer& to, std::size_t at, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i)
        to[at + i] = static_cast<std::uint8_t>(text[i]);
}

template <typename Buffer> void putBigEndian32(Buffer& to, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        to[at + std::size_t(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// Audio of `size` bytes that starts like an MPEG frame (0xFF 0xFB) and then counts modulo 251,
// so that a byte moved or lost is seen.
inline Bytes audioBytes(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i < 2 ? 0xFF - 4 * i : i % 251);
    return bytes;
}

// MPEG 1 Layer III, no CRC, 128 kbit/s, 44100 Hz, joint stereo, original: 417-byte frames.
inline const Bytes Cbr128Header = {0xFF, 0xFB, 0x90, 0x64};
constexpr int Cbr128FrameSize = 417;

// Two such frame headers a frame apart, then zeros up to `size` bytes in all (two frames at
// least).
inline Bytes cbrFrames(std::size_t size = 2 * Cbr128FrameSize) {
    Bytes bytes(std::max<std::size_t>(size, 2 * Cbr128FrameSize), 0);
    std::copy(Cbr128Header.begin(), Cbr128Header.end(), bytes.begin());
    std::copy(Cbr128Header.begin(), Cbr128Header.end(), bytes.begin() + Cbr128FrameSize);
    return bytes;
}

// An ID3v2 frame of revision `major` (2, 3 or 4) around raw `data` (encoding byte included):
// a three-byte name and size in 2.2; in 2.3 a big-endian size, in 2.4 a syncsafe one, then
// the status and format flag bytes.
inline Bytes id3v2Frame(int major, std::string_view id, std::string_view data,
                        std::uint8_t statusFlags = 0, std::uint8_t formatFlags = 0) {
    const auto size = std::uint32_t(data.size());
    if (major == 2)
        return concat({bytesOf(id),
                       Bytes{std::uint8_t(size >> 16), std::uint8_t(size >> 8), std::uint8_t(size)},
                       bytesOf(data)});
    return concat({bytesOf(id), major == 4 ? syncsafe(size) : bigEndian32(size),
                   Bytes{statusFlags, formatFlags}, bytesOf(data)});
}

// A text frame as Quillon writes it: encoding byte 0 (ISO-8859-1), then the text.
inline Bytes id3v2TextFrame(int major, std::string_view id, std::string_view text) {
    return id3v2Frame(major, id, std::string(1, '\0') + std::string(text));
}

// The ten-byte tag header: "ID3", revision `major`.0, the flags and the syncsafe size of what
// follows it.
inline Bytes id3v2Header(int major, std::uint32_t size, std::uint8_t flags = 0) {
    return concat({bytesOf("ID3"), Bytes{std::uint8_t(major), 0, flags}, syncsafe(size)});
}

// A whole tag holding `frames` and `padding` zero bytes.
inline Bytes id3v2Tag(int major, const Bytes& frames, std::size_t padding = 0,
                      std::uint8_t flags = 0) {
    return concat({id3v2Header(major, std::uint32_t(frames.size() + padding), flags), frames,
                   Bytes(padding, 0)});
}

// The zero padding a save gives a tag when it rebuilds the file, so that the next edits fit in
// place: 1 KiB and a thousandth of the `after` bytes that follow the tag.
inline std::size_t rebuildPadding(std::size_t after) {
    return 1024 + after / 1000;
}

// A tag without padding as a save writes it over an old tag of `room` bytes (its frames and
// padding) that `after` bytes follow: in that room when it fits, the rest of it zero padding,
// else in a rebuilt file with the padding of a rebuild.
inline Bytes savedTag(const Bytes& tag, std::size_t room, std::size_t after) {
    const std::size_t extent = tag.size() <= room ? room : tag.size() + rebuildPadding(after);
    Bytes saved = tag;
    saved.resize(extent, 0);
    const Bytes size = syncsafe(std::uint32_t(extent - 10));
    std::copy(size.begin(), size.end(), saved.begin() + 6);
    return saved;
}

// The fields of a 128-byte ID3v1 tag. A track of 0 or more goes to byte 126, which makes an
// ID3v1.1 tag of one whose comment leaves byte 125 zero.
struct ID3v1Values {
    std::string_view title = {};
    std::string_view artist = {};
    std::string_view album = {};
    std::string_view year = {};
    std::string_view comment = {}; // up to 30 bytes
    int track = -1;
    std::uint8_t genre = 255;
};

inline Bytes id3v1Tag(const ID3v1Values& fields) {
    Bytes tag(128, 0);
    const auto put = [&tag](std::size_t at, std::string_view text) {
        std::copy(text.begin(), text.end(), tag.begin() + static_cast<std::ptrdiff_t>(at));
    };
    put(0, "TAG");
    put(3, fields.title);
    put(33, fields.artist);
    put(63, fields.album);
    put(93, fields.year);
    put(97, fields.comment);
    if (fields.track >= 0)
        tag[126] = std::uint8_t(fields.track);
    tag[127] = fields.genre;
    return tag;
}

} // namespace quillon
