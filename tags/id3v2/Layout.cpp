#include "tags/id3v2/Layout.h"

#include "tags/TagText.h"
#include "tags/id3v2/Frames.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quillon::id3v2 {

namespace {

bool knownEncoding(unsigned char byte) {
    return byte <= 3;
}

// The strings of a text in encoding `encoding`, split at its terminators.
std::vector<std::string> decodedStrings(int encoding, std::string_view bytes) {
    std::vector<std::string> out;
    const std::size_t width = isWideEncoding(encoding) ? 2 : 1;
    while (!bytes.empty()) {
        const std::size_t end = std::min(terminatorOf(encoding, bytes), bytes.size());
        out.push_back(decodedPiece(encoding, bytes.substr(0, end)));
        if (end == bytes.size())
            return out;
        bytes.remove_prefix(std::min(bytes.size(), end + width));
        if (bytes.empty())
            out.emplace_back(); // the text ended in a terminator
    }
    if (out.empty())
        out.emplace_back();
    return out;
}

void append(Bytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

void appendEncoded(Bytes& out, std::string_view text, unsigned char encoding, bool terminated) {
    switch (encoding) {
    case 0:
        append(out, utf8ToWindows1252(text));
        break;
    case 1:
        append(out, "\xFF\xFE");
        append(out, utf8ToUtf16(text, false));
        break;
    default:
        append(out, text);
        break;
    }
    if (terminated) {
        out.push_back(0);
        if (encoding == 1)
            out.push_back(0);
    }
}

// A text outside Latin-1 keeps its other characters percent-encoded as UTF-8.
std::string latin1Text(std::string_view text) {
    if (auto latin1 = latin1FromUtf8(text))
        return *latin1;
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

std::string_view threeBytes(std::string_view value, std::string_view fallback) {
    return value.size() == 3 ? value : fallback;
}

} // namespace

bool isWideEncoding(int encoding) {
    return encoding == 1 || encoding == 2;
}

std::size_t terminatorOf(int encoding, std::string_view bytes) {
    if (!isWideEncoding(encoding))
        return bytes.find('\0');
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        if (bytes[i] == 0 && bytes[i + 1] == 0)
            return i;
    }
    return std::string_view::npos;
}

bool takeByteOrderMark(std::string_view& piece, bool bigEndian) {
    if (piece.size() >= 2) {
        const auto a = static_cast<unsigned char>(piece[0]);
        const auto b = static_cast<unsigned char>(piece[1]);
        if ((a == 0xFF && b == 0xFE) || (a == 0xFE && b == 0xFF)) {
            piece.remove_prefix(2);
            return a == 0xFE;
        }
    }
    return bigEndian;
}

std::string decodedPiece(int encoding, std::string_view piece) {
    if (!isWideEncoding(encoding)) {
        if (encoding != 3)
            return windows1252ToUtf8(piece);
        std::string text = sanitizedUtf8(piece);
        if (text.rfind("\xEF\xBB\xBF", 0) == 0)
            text.erase(0, 3);
        return text;
    }
    const bool bigEndian = takeByteOrderMark(piece, encoding == 2);
    return utf16ToUtf8(piece, bigEndian);
}

namespace {

// One part of a split; false when the content misses it. `last`: the part
// ends the frame.
template <Part P, bool Last, bool BeforeTextList>
[[gnu::always_inline]] inline bool splitPart(std::string_view& content, StoredFrame& out) {
    if constexpr (P == Part::Encoding) {
        if (content.empty())
            return false;
        out.encoding = static_cast<unsigned char>(content[0]);
        if (!BeforeTextList || knownEncoding(out.encoding))
            content.remove_prefix(1);
    } else if constexpr (P == Part::Language || P == Part::ImageFormat) {
        if (content.size() < 3)
            return false;
        (P == Part::Language ? out.language : out.imageFormat) = content.substr(0, 3);
        content.remove_prefix(3);
    } else if constexpr (P == Part::Description) {
        const std::size_t end = terminatorOf(out.encoding, content);
        if (end == std::string_view::npos)
            return false;
        out.description = content.substr(0, end);
        content.remove_prefix(end + (isWideEncoding(out.encoding) ? 2 : 1));
    } else if constexpr (P == Part::TextList) {
        out.textList = content;
        content = {};
    } else if constexpr (P == Part::Latin1Text) {
        // The last part is cut at its zero when decoded: the walk splits
        // every link it meets and needs no scan of it.
        if (Last) {
            out.latin1Text = content;
            content = {};
            return true;
        }
        const std::size_t end = content.find('\0');
        out.latin1Text = content.substr(0, end);
        content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
    } else if constexpr (P == Part::Byte) {
        if (content.empty())
            return false;
        out.byte = static_cast<unsigned char>(content[0]);
        content.remove_prefix(1);
    } else {
        out.binary = content;
        content = {};
    }
    return true;
}

// The split of one layout, its parts unrolled at compile time: the walk
// splits every comment and link it meets.
// Whether part `i` of `parts` is followed by the text list.
constexpr bool beforeTextList(std::span<const Part> parts, std::size_t i) {
    return i + 1 < parts.size() && parts[i + 1] == Part::TextList;
}

template <LayoutKind K, std::size_t I>
[[gnu::always_inline]] inline bool splitPartOf(std::string_view& content, StoredFrame& out) {
    constexpr std::span<const Part> parts = layoutOf(K).parts;
    return splitPart<parts[I], I + 1 == parts.size(), beforeTextList(parts, I)>(content, out);
}

// The split of one layout, its parts unrolled at compile time: the walk
// splits every comment and link it meets.
template <LayoutKind K, std::size_t... I>
[[gnu::always_inline]] inline bool splitAs(std::string_view content, StoredFrame& out,
                                           std::index_sequence<I...>) {
    return (splitPartOf<K, I>(content, out) && ...);
}
template <LayoutKind K> bool splitAs(std::string_view content, StoredFrame& out) {
    return splitAs<K>(content, out, std::make_index_sequence<layoutOf(K).parts.size()>{});
}

using Splitter = bool (*)(std::string_view, StoredFrame&);
constexpr auto kSplitters = []<std::size_t... K>(std::index_sequence<K...>) {
    return std::array<Splitter, sizeof...(K)>{&splitAs<LayoutKind(K)>...};
}
(std::make_index_sequence<kLayoutCount>{});

} // namespace

bool splitFrame(const Layout& layout, std::string_view content, StoredFrame& out) {
    return kSplitters[static_cast<std::size_t>(layout.kind)](content, out);
}

FrameValue decodeFrame(const Layout& layout, const StoredFrame& stored) {
    FrameValue out;
    out.encoding = stored.encoding;
    for (const Part part : layout.parts) {
        switch (part) {
        case Part::Encoding:
        case Part::Byte:
            break;
        case Part::Language:
            out.language = std::string(stored.language);
            break;
        case Part::ImageFormat:
            out.imageFormat = std::string(stored.imageFormat);
            break;
        case Part::Description:
            out.description = decodedPiece(stored.encoding, stored.description);
            break;
        case Part::TextList:
            if (knownEncoding(stored.encoding))
                out.texts = decodedStrings(stored.encoding, stored.textList);
            else
                out.texts = {windows1252ToUtf8(stored.textList)};
            break;
        case Part::Latin1Text:
            out.latin1Text =
                latin1ToUtf8(stored.latin1Text.substr(0, stored.latin1Text.find('\0')));
            break;
        case Part::Binary:
            out.binary.assign(stored.binary.begin(), stored.binary.end());
            break;
        }
    }
    out.byte = stored.byte;
    return out;
}

std::optional<FrameValue> decodeFrame(const Layout& layout, std::string_view content) {
    StoredFrame stored;
    if (!splitFrame(layout, content, stored))
        return std::nullopt;
    return decodeFrame(layout, stored);
}

Bytes encodeFrame(const Layout& layout, const FrameValue& value, const Revision& revision) {
    const std::span<const Part> parts = layout.parts;
    bool singleByte = true;
    std::size_t textBytes = 0;
    for (const Part part : parts) {
        if (part == Part::Description) {
            singleByte = singleByte && fitsSingleByteTagText(value.description);
            textBytes += value.description.size();
        } else if (part == Part::TextList) {
            for (const std::string& text : value.texts) {
                singleByte = singleByte && fitsSingleByteTagText(text);
                textBytes += text.size();
            }
        }
    }
    const unsigned char encoding = singleByte ? 0 : revision.wideEncoding;
    Bytes out;
    out.reserve(2 * textBytes + value.latin1Text.size() + value.binary.size() + 16);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        // A text part is terminated unless it ends the frame.
        const bool last = i + 1 == parts.size();
        switch (parts[i]) {
        case Part::Encoding:
            out.push_back(encoding);
            break;
        case Part::Language:
            append(out, threeBytes(value.language, "eng"));
            break;
        case Part::ImageFormat:
            append(out, threeBytes(value.imageFormat, "JPG"));
            break;
        case Part::Description:
            appendEncoded(out, value.description, encoding, true);
            break;
        case Part::TextList:
            for (std::size_t t = 0; t < value.texts.size(); ++t)
                appendEncoded(out, value.texts[t], encoding, t + 1 < value.texts.size() || !last);
            break;
        case Part::Latin1Text:
            append(out, latin1Text(value.latin1Text));
            if (!last)
                out.push_back(0);
            break;
        case Part::Byte:
            out.push_back(value.byte);
            break;
        case Part::Binary:
            out.insert(out.end(), value.binary.begin(), value.binary.end());
            break;
        }
    }
    return out;
}

} // namespace quillon::id3v2
