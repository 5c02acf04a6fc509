// The content of ID3v2 frames described as data: each kind of frame is a list
// of parts (encoding, language, description, text...), and one reader and one
// writer walk that list. A new kind of frame is a row of kLayouts.
#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::id3v2 {

struct Revision;
using Bytes = std::vector<unsigned char>;

enum class Part : unsigned char {
    Encoding,    // one byte naming the encoding of the encoded texts after it
    Language,    // three bytes, an ISO 639-2 code
    ImageFormat, // three bytes, a 2.2 picture's format ("JPG", "PNG")
    Description, // encoded text ending in its terminator
    TextList,    // encoded texts separated by terminators, to the frame's end
    Latin1Text,  // Latin-1 text up to a zero byte (or the frame's end)
    Byte,        // one byte (a picture's type)
    Binary,      // the bytes to the frame's end
};

enum class LayoutKind : unsigned char {
    Text,      // T???: the text frames
    Comment,   // COMM
    Link,      // WXXX
    Lyrics,    // USLT
    Picture,   // APIC
    Picture22, // PIC, revision 2.2 only
    UserText,  // TXXX
};

struct Layout {
    LayoutKind kind;
    std::string_view name;
    std::span<const Part> parts;
};

namespace parts {
inline constexpr Part kText[] = {Part::Encoding, Part::TextList};
inline constexpr Part kComment[] = {Part::Encoding, Part::Language, Part::Description,
                                    Part::TextList};
inline constexpr Part kLink[] = {Part::Encoding, Part::Description, Part::Latin1Text};
inline constexpr Part kPicture[] = {Part::Encoding, Part::Latin1Text, Part::Byte, Part::Description,
                                    Part::Binary};
inline constexpr Part kUserText[] = {Part::Encoding, Part::Description, Part::TextList};
inline constexpr Part kPicture22[] = {Part::Encoding, Part::ImageFormat, Part::Byte,
                                      Part::Description, Part::Binary};
} // namespace parts

// Indexed by LayoutKind.
inline constexpr Layout kLayouts[] = {
    {LayoutKind::Text, "text", parts::kText},
    {LayoutKind::Comment, "comment", parts::kComment},
    {LayoutKind::Link, "link", parts::kLink},
    {LayoutKind::Lyrics, "lyrics", parts::kComment},
    {LayoutKind::Picture, "picture", parts::kPicture},
    {LayoutKind::Picture22, "2.2 picture", parts::kPicture22},
    {LayoutKind::UserText, "user text", parts::kUserText},
};
inline constexpr int kLayoutCount = int(std::size(kLayouts));

constexpr const Layout& layoutOf(LayoutKind kind) {
    return kLayouts[int(kind)];
}

// A frame's content split into its parts, as stored: cheap to get, for a
// look at a frame the walk may not pick.
struct StoredFrame {
    // As stored; a byte that names no encoding is kept, and its texts are
    // read as Windows-1252.
    unsigned char encoding = 0;
    std::string_view language, imageFormat, description, textList, binary;
    // Without its terminator; as the frame's last part, the rest of the frame
    // (its decoding stops at a zero byte).
    std::string_view latin1Text;
    unsigned char byte = 0;
};

// A frame's content decoded; text is UTF-8.
struct FrameValue {
    unsigned char encoding = 0;
    std::string language, imageFormat, description;
    std::vector<std::string> texts;
    std::string latin1Text;
    unsigned char byte = 0;
    Bytes binary;
    bool operator==(const FrameValue&) const = default;
};

bool isWideEncoding(int encoding);
// Where the first string of `bytes` ends: the offset of its terminator, a
// zero byte or, in UTF-16, two zero bytes at an even offset; npos without one.
std::size_t terminatorOf(int encoding, std::string_view bytes);
// One string in encoding `encoding`, without its terminator.
std::string decodedPiece(int encoding, std::string_view piece);
// Drops a UTF-16 byte order mark from the front of `piece`; gives the byte
// order it names, or `bigEndian` when there is none.
bool takeByteOrderMark(std::string_view& piece, bool bigEndian);

// A split fails, and a decode gives nothing, when the content misses a part
// or a description's terminator. A text frame's content whose first byte
// names no encoding is all text: some writers put no encoding byte before the
// text. A split fills the parts of `out` that the layout has.
bool splitFrame(const Layout& layout, std::string_view content, StoredFrame& out);
FrameValue decodeFrame(const Layout& layout, const StoredFrame& stored);
std::optional<FrameValue> decodeFrame(const Layout& layout, std::string_view content);

// The content for `value`. The encoding is chosen for the texts: 0 when each
// character reads back the same from one byte, else the revision's wide one;
// a language or image format not of three bytes is written as the default.
// Latin-1 text keeps the characters outside Latin-1 percent-encoded as UTF-8.
Bytes encodeFrame(const Layout& layout, const FrameValue& value, const Revision& revision);

} // namespace quillon::id3v2
