// Text helpers of the tag objects: the byte codecs met in tags (Windows-1252,
// Latin-1, UTF-16, UTF-8), trimming and whole-text integers. Text inside the
// program is UTF-8; these meet the bytes of the files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// Tag text is kept as the bytes found in the file. These turn such bytes into
// Unicode for display and back. Every byte maps to exactly one code point; the
// five bytes that Windows-1252 leaves undefined map to the C1 controls of the
// same value, so decoding never loses a byte.
char32_t windows1252ToUnicode(std::uint8_t byte);
// The byte for a code point, or nothing when Windows-1252 cannot hold it.
std::optional<std::uint8_t> unicodeToWindows1252(char32_t codePoint);
// Whole texts: bytes to UTF-8, and UTF-8 to bytes with `replacement` for what
// Windows-1252 cannot hold (and for malformed UTF-8).
std::string windows1252ToUtf8(std::string_view bytes);
std::string utf8ToWindows1252(std::string_view utf8, char replacement = '?');
// True when the text is well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view text);
// Decodes the UTF-8 sequence at `pos` and moves past it; nothing, with `pos`
// moved past the first byte, when the sequence there is malformed.
std::optional<char32_t> decodeUtf8At(std::string_view text, std::size_t& pos);
// The text with every malformed UTF-8 sequence replaced by U+FFFD.
std::string sanitizedUtf8(std::string_view bytes);
// UTF-16 bytes in the given order to UTF-8; unpaired surrogates and an odd
// last byte become U+FFFD.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian);
// UTF-8 to UTF-16 bytes in the given order (malformed input as U+FFFD).
std::string utf8ToUtf16(std::string_view utf8, bool bigEndian);
// ISO-8859-1 bytes to UTF-8 and back; `latin1FromUtf8` gives nothing when a
// character is outside U+0000-U+00FF.
std::string latin1ToUtf8(std::string_view bytes);
std::optional<std::string> latin1FromUtf8(std::string_view utf8);
// True when every character reads back the same from a byte in a Windows-1252
// text: ASCII and U+00A0-U+00FF (the C1 range reads back as other characters).
bool fitsSingleByteTagText(std::string_view utf8);

// Removes the trailing bytes of value 0x20 or below.
std::string trimRightControls(std::string_view text);
// Removes the leading and trailing bytes of value 0x20 or below.
std::string trimControls(std::string_view text);

// Parses a whole text as a signed 32-bit integer the way the tag fields expect:
// leading spaces, an optional sign, then decimal digits, or hexadecimal digits
// introduced by "$", "x", "X", "0x" or "0X" (up to 32 bits, read as two's
// complement). Anything else, trailing characters included, gives nothing.
std::optional<std::int32_t> parseWholeInt32(std::string_view text);

} // namespace quillon
