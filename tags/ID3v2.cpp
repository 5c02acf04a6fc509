#include "tags/ID3v2.h"

#include "tags/FileAccess.h"
#include "tags/FileRebuild.h"
#include "tags/ID3v1.h"
#include "tags/TagText.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using TextField = TID3v2::TextField;
using Bytes = std::vector<unsigned char>;

constexpr int kHeaderSize = 10;
constexpr int kFooterSize = 10;
// A tag's first bytes are read in one call; most tags end within them.
constexpr std::int64_t kStartBytes = 16 * 1024;
// The largest size that four 7-bit groups can hold.
constexpr std::int64_t kMaxSyncsafe = 0x0FFFFFFF;

// Header flags.
constexpr unsigned char kUnsynchronised = 0x80;
constexpr unsigned char kExtendedHeader = 0x40; // 2.3, 2.4
constexpr unsigned char kCompressedTag = 0x40;  // 2.2
constexpr unsigned char kFooter = 0x10;         // 2.4

// Frame format flags (second flag byte).
constexpr unsigned char k23Compressed = 0x80, k23Encrypted = 0x40, k23Grouped = 0x20;
constexpr unsigned char k24Grouped = 0x40, k24Compressed = 0x08, k24Encrypted = 0x04,
                        k24Unsynchronised = 0x02, k24DataLength = 0x01;

// Revision 2.2 frame ids and their 2.3 counterparts. CRM (encrypted meta
// frames) and LNK (whose content names 2.2 ids) have none and are dropped when
// a 2.2 tag is rewritten as 2.3.
constexpr std::pair<std::string_view, std::string_view> kIds22[] = {
    {"BUF", "RBUF"},
    {"CNT", "PCNT"},
    {"COM", "COMM"},
    {"CRA", "AENC"},
    {"ETC", "ETCO"},
    {"EQU", "EQUA"},
    {"GEO", "GEOB"},
    {"IPL", "IPLS"},
    {"MCI", "MCDI"},
    {"MLL", "MLLT"},
    {"PIC", "APIC"},
    {"POP", "POPM"},
    {"REV", "RVRB"},
    {"RVA", "RVAD"},
    {"SLT", "SYLT"},
    {"STC", "SYTC"},
    {"TAL", "TALB"},
    {"TBP", "TBPM"},
    {"TCM", "TCOM"},
    {"TCO", "TCON"},
    {"TCR", "TCOP"},
    {"TDA", "TDAT"},
    {"TDY", "TDLY"},
    {"TEN", "TENC"},
    {"TFT", "TFLT"},
    {"TIM", "TIME"},
    {"TKE", "TKEY"},
    {"TLA", "TLAN"},
    {"TLE", "TLEN"},
    {"TMT", "TMED"},
    {"TOA", "TOPE"},
    {"TOF", "TOFN"},
    {"TOL", "TOLY"},
    {"TOR", "TORY"},
    {"TOT", "TOAL"},
    {"TP1", "TPE1"},
    {"TP2", "TPE2"},
    {"TP3", "TPE3"},
    {"TP4", "TPE4"},
    {"TPA", "TPOS"},
    {"TPB", "TPUB"},
    {"TRC", "TSRC"},
    {"TRD", "TRDA"},
    {"TRK", "TRCK"},
    {"TSI", "TSIZ"},
    {"TSS", "TSSE"},
    {"TT1", "TIT1"},
    {"TT2", "TIT2"},
    {"TT3", "TIT3"},
    {"TXT", "TEXT"},
    {"TXX", "TXXX"},
    {"TYE", "TYER"},
    {"UFI", "UFID"},
    {"ULT", "USLT"},
    {"WAF", "WOAF"},
    {"WAR", "WOAR"},
    {"WAS", "WOAS"},
    {"WCM", "WCOM"},
    {"WCP", "WCOP"},
    {"WPB", "WPUB"},
    {"WXX", "WXXX"},
    // iTunes' own 2.2 ids, whose 2.3 forms taggers read too.
    {"TCP", "TCMP"},
    {"TS2", "TSO2"},
    {"TSA", "TSOA"},
    {"TSC", "TSOC"},
    {"TSP", "TSOP"},
    {"TST", "TSOT"},
};

// The frame each text field is written to (Year: in 2.3; 2.4 writes TDRC).
constexpr std::string_view kFieldIds[TID3v2::TextFieldCount] = {
    "TIT2", "TPE1", "TALB", "TYER", "TCON", "COMM", "TCOM", "TENC", "TCOP", "TLAN", "WXXX",
};
constexpr std::string_view kTrackId = "TRCK";

std::uint32_t bigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

// Four 7-bit groups, each byte taken whole as the tag header's size is.
std::uint32_t syncsafe32(const unsigned char* p) {
    return std::uint32_t{p[0]} * (1u << 21) + std::uint32_t{p[1]} * (1u << 14) +
           std::uint32_t{p[2]} * (1u << 7) + std::uint32_t{p[3]};
}

void putBigEndian32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<unsigned char>(value >> shift));
}

void putSyncsafe32(Bytes& out, std::uint32_t value) {
    for (int shift = 21; shift >= 0; shift -= 7)
        out.push_back(static_cast<unsigned char>((value >> shift) & 0x7F));
}

void append(Bytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

bool isUpperAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z';
}

// Undoes unsynchronisation: every 0xFF 0x00 pair loses its 0x00.
Bytes resynchronised(const unsigned char* data, std::size_t size) {
    Bytes out;
    out.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        if (i > 0 && data[i] == 0x00 && data[i - 1] == 0xFF)
            continue;
        out.push_back(data[i]);
    }
    return out;
}

// The tag's bytes as the frames are laid out in them. A 2.2 or 2.3 tag that is
// unsynchronised as a whole is resynchronised in memory first; otherwise the
// tag's start is read once and the rest comes from the file as asked.
class TagBytes {
public:
    // `start` holds the file's first bytes, read already.
    TagBytes(int fd, std::int64_t extent, bool resync, Bytes start) : m_fd(fd) {
        if (resync) {
            Bytes raw(static_cast<std::size_t>(extent));
            if (!readExactAt(fd, raw.data(), raw.size(), 0))
                return;
            m_bytes.assign(raw.begin(), raw.begin() + kHeaderSize);
            const Bytes body = resynchronised(raw.data() + kHeaderSize, raw.size() - kHeaderSize);
            m_bytes.insert(m_bytes.end(), body.begin(), body.end());
            m_raw = std::move(raw);
            m_inMemory = true;
            m_size = static_cast<std::int64_t>(m_bytes.size());
            return;
        }
        m_size = extent;
        m_bytes = std::move(start);
        m_bytes.resize(std::min(m_bytes.size(), static_cast<std::size_t>(extent)));
    }
    // Size of the tag in this layout.
    std::int64_t size() const { return m_size; }
    bool read(void* out, std::size_t count, std::int64_t offset) const {
        if (offset < 0 || offset + static_cast<std::int64_t>(count) > m_size)
            return false;
        if (count == 0)
            return true;
        if (static_cast<std::uint64_t>(offset) + count <= m_bytes.size()) {
            std::memcpy(out, m_bytes.data() + offset, count);
            return true;
        }
        return !m_inMemory && readExactAt(m_fd, out, count, offset);
    }
    bool read(Bytes& out, std::int64_t offset, std::size_t count) const {
        out.resize(count);
        return read(out.data(), count, offset);
    }
    // Where a position of this layout lies in the file.
    std::int64_t fileOffset(std::int64_t offset) const {
        if (!m_inMemory)
            return offset;
        std::int64_t out = kHeaderSize;
        std::size_t raw = kHeaderSize;
        while (out < offset && raw < m_raw.size()) {
            if (!(m_raw[raw] == 0x00 && m_raw[raw - 1] == 0xFF))
                ++out;
            ++raw;
        }
        // A stuffed zero right here belongs to the byte before it.
        while (raw < m_raw.size() && m_raw[raw] == 0x00 && m_raw[raw - 1] == 0xFF)
            ++raw;
        return static_cast<std::int64_t>(raw);
    }

private:
    int m_fd;
    Bytes m_bytes;
    Bytes m_raw;
    bool m_inMemory = false;
    std::int64_t m_size = 0;
};

struct Header {
    bool present = false;
    unsigned char major = 0;
    unsigned char flags = 0;
    // Declared extent with header and footer; 0 when it does not fit the file.
    std::int64_t extent = 0;
};

Header readHeader(const unsigned char* bytes, std::int64_t fileSize) {
    Header header;
    if (std::memcmp(bytes, "ID3", 3) != 0)
        return header;
    header.present = true;
    header.major = bytes[3];
    header.flags = bytes[5];
    std::int64_t extent = std::int64_t{syncsafe32(bytes + 6)} + kHeaderSize;
    if (header.major == 4 && (header.flags & kFooter))
        extent += kFooterSize;
    header.extent = extent > fileSize ? 0 : extent;
    return header;
}

// One frame as the walk finds it; offsets are in the tag's layout.
struct Frame {
    char id[5] = {};    // the 2.3/2.4 id (a 2.2 id mapped, empty when it has none)
    char rawId[5] = {}; // the id as stored
    std::int64_t start; // the frame header
    std::int64_t data;  // the data, after the header
    std::uint32_t size; // of the data as stored
    unsigned char formatFlags = 0;
    std::string_view idView() const { return id; }
};

std::string_view mapped22(std::string_view id) {
    for (const auto& [old, now] : kIds22) {
        if (old == id)
            return now;
    }
    return {};
}

// The frames of a readable tag, and where they end.
class FrameWalk {
public:
    FrameWalk(int fd, const Header& header, Bytes start)
        : m_header(header),
          m_bytes(fd, header.extent,
                  (header.flags & kUnsynchronised) && header.major != 4 && header.extent > 0,
                  std::move(start)) {
        m_readable = header.present && header.extent > 0 && header.major >= 2 &&
                     header.major <= 4 && !(header.major == 2 && (header.flags & kCompressedTag)) &&
                     m_bytes.size() >= kHeaderSize;
        m_end =
            m_bytes.size() - ((header.major == 4 && (header.flags & kFooter)) ? kFooterSize : 0);
        m_begin = kHeaderSize;
        if (m_readable && header.major != 2 && (header.flags & kExtendedHeader)) {
            unsigned char size[4];
            if (!m_bytes.read(size, 4, kHeaderSize))
                m_begin = m_end;
            else if (header.major == 3)
                m_begin = kHeaderSize + 4 + std::int64_t{bigEndian32(size)};
            else
                m_begin = kHeaderSize + std::int64_t{syncsafe32(size)};
        }
    }
    bool readable() const { return m_readable; }
    int major() const { return m_header.major; }
    const Header& header() const { return m_header; }
    const TagBytes& bytes() const { return m_bytes; }

    // Calls `visit(frame)` for each frame in order; returns where the frames
    // end (padding, a broken frame or the end of the tag's frame area).
    template <class Visit> std::int64_t walk(Visit&& visit) const {
        if (!m_readable)
            return kHeaderSize;
        const int headerSize = m_header.major == 2 ? 6 : 10;
        std::int64_t position = std::min(m_begin, m_end);
        while (position + headerSize <= m_end) {
            unsigned char h[10];
            if (!m_bytes.read(h, static_cast<std::size_t>(headerSize), position))
                break;
            if (!isUpperAscii(h[0]))
                break;
            Frame frame;
            frame.start = position;
            frame.data = position + headerSize;
            if (m_header.major == 2) {
                std::memcpy(frame.rawId, h, 3);
                const std::string_view now = mapped22(std::string_view(frame.rawId, 3));
                now.copy(frame.id, now.size());
                frame.size = (std::uint32_t{h[3]} << 16) | (std::uint32_t{h[4]} << 8) | h[5];
            } else {
                std::memcpy(frame.rawId, h, 4);
                std::memcpy(frame.id, h, 4);
                frame.size = m_header.major == 3 ? bigEndian32(h + 4) : syncsafe32(h + 4);
                frame.formatFlags = h[9];
            }
            if (frame.data + frame.size > m_end)
                break;
            visit(frame);
            position = frame.data + frame.size;
        }
        return position;
    }

    // Whether the frame's data can be decoded: neither compressed nor encrypted.
    bool decodable(const Frame& frame) const {
        if (m_header.major == 3)
            return !(frame.formatFlags & (k23Compressed | k23Encrypted));
        if (m_header.major == 4)
            return !(frame.formatFlags & (k24Compressed | k24Encrypted));
        return true;
    }
    bool frameUnsynchronised(const Frame& frame) const {
        return m_header.major == 4 &&
               ((m_header.flags & kUnsynchronised) || (frame.formatFlags & k24Unsynchronised));
    }

    // The frame's content: resynchronised, without the bytes its flags add.
    std::optional<Bytes> content(const Frame& frame) const {
        Bytes data;
        if (!m_bytes.read(data, frame.data, frame.size))
            return std::nullopt;
        if (frameUnsynchronised(frame))
            data = resynchronised(data.data(), data.size());
        std::size_t skip = 0;
        if (m_header.major == 3 && (frame.formatFlags & k23Grouped))
            skip = 1;
        if (m_header.major == 4)
            skip = ((frame.formatFlags & k24Grouped) ? 1 : 0) +
                   ((frame.formatFlags & k24DataLength) ? 4 : 0);
        if (skip > data.size())
            return std::nullopt;
        data.erase(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(skip));
        return data;
    }

    // The frame as stored, resynchronised where its flags said so (those flags
    // then cleared), with its header in the layout of `targetMajor`.
    std::optional<Bytes> storedFrame(const Frame& frame, int targetMajor) const {
        Bytes data;
        if (!m_bytes.read(data, frame.data, frame.size))
            return std::nullopt;
        unsigned char flags[2] = {0, 0};
        if (m_header.major != 2) {
            unsigned char h[10];
            if (!m_bytes.read(h, 10, frame.start))
                return std::nullopt;
            flags[0] = h[8];
            flags[1] = h[9];
        }
        if (frameUnsynchronised(frame)) {
            data = resynchronised(data.data(), data.size());
            flags[1] &= static_cast<unsigned char>(~k24Unsynchronised);
        }
        if (m_header.major == 2) {
            if (frame.id[0] == '\0' || std::string_view(frame.rawId) == "LNK")
                return Bytes{};
            if (std::string_view(frame.rawId) == "PIC")
                data = pictureFrom22(data);
        }
        return framed(frame.idView(), data, targetMajor, flags);
    }

    static Bytes framed(std::string_view id, const Bytes& data, int major,
                        const unsigned char flags[2] = nullptr) {
        Bytes out;
        out.reserve(data.size() + 10);
        append(out, id);
        if (major == 4)
            putSyncsafe32(out, static_cast<std::uint32_t>(data.size()));
        else
            putBigEndian32(out, static_cast<std::uint32_t>(data.size()));
        out.push_back(flags ? flags[0] : 0);
        out.push_back(flags ? flags[1] : 0);
        out.insert(out.end(), data.begin(), data.end());
        return out;
    }

private:
    // PIC's three-letter image format becomes APIC's MIME type.
    static Bytes pictureFrom22(const Bytes& data) {
        if (data.size() < 4)
            return data;
        std::string format(data.begin() + 1, data.begin() + 4);
        std::transform(format.begin(), format.end(), format.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        // "-->" marks a link instead of an image, in both revisions.
        const std::string mime = format == "-->"   ? format
                                 : format == "jpg" ? "image/jpeg"
                                                   : "image/" + format;
        Bytes out{data[0]};
        append(out, mime);
        out.push_back(0);
        out.insert(out.end(), data.begin() + 4, data.end());
        return out;
    }

    Header m_header;
    TagBytes m_bytes;
    bool m_readable = false;
    std::int64_t m_begin = kHeaderSize;
    std::int64_t m_end = kHeaderSize;
};

// ---- Text of the frames

// The strings of a text in encoding `encoding`, split at its terminators.
std::vector<std::string> decodedStrings(int encoding, std::string_view bytes) {
    std::vector<std::string> out;
    const bool wide = encoding == 1 || encoding == 2;
    std::size_t start = 0;
    auto decode = [&](std::string_view piece) {
        if (!wide)
            return encoding == 3 ? sanitizedUtf8(piece) : windows1252ToUtf8(piece);
        bool bigEndian = encoding == 2;
        if (piece.size() >= 2) {
            const auto a = static_cast<unsigned char>(piece[0]);
            const auto b = static_cast<unsigned char>(piece[1]);
            if ((a == 0xFF && b == 0xFE) || (a == 0xFE && b == 0xFF)) {
                bigEndian = a == 0xFE;
                piece.remove_prefix(2);
            }
        }
        return utf16ToUtf8(piece, bigEndian);
    };
    while (start < bytes.size()) {
        std::size_t end = start;
        if (wide) {
            while (end + 1 < bytes.size() && !(bytes[end] == 0 && bytes[end + 1] == 0))
                end += 2;
            if (end + 1 >= bytes.size())
                end = bytes.size();
        } else {
            end = bytes.find('\0', start);
            if (end == std::string_view::npos)
                end = bytes.size();
        }
        std::string text = decode(bytes.substr(start, end - start));
        if (encoding == 3 && text.rfind("\xEF\xBB\xBF", 0) == 0)
            text.erase(0, 3);
        out.push_back(std::move(text));
        start = end + (wide ? 2 : 1);
        if (end == bytes.size())
            break;
        if (start >= bytes.size()) {
            out.emplace_back(); // the text ended in a terminator
            break;
        }
    }
    if (bytes.empty())
        out.emplace_back();
    return out;
}

// A value from its strings: the first in 2.2 and 2.3; in 2.4 all of them
// joined by "/", empty ones dropped. Then trimmed.
std::string valueOf(const std::vector<std::string>& strings, std::size_t from, int major) {
    std::string value;
    if (major != 4) {
        if (from < strings.size())
            value = strings[from];
    } else {
        for (std::size_t i = from; i < strings.size(); ++i) {
            if (strings[i].empty())
                continue;
            if (!value.empty())
                value += '/';
            value += strings[i];
        }
    }
    return trimControls(value);
}

bool knownEncoding(unsigned char byte) {
    return byte <= 3;
}

std::string_view asText(const Bytes& data, std::size_t from = 0) {
    from = std::min(from, data.size());
    return std::string_view(reinterpret_cast<const char*>(data.data()) + from, data.size() - from);
}

std::string textFrameValue(const Bytes& data, int major) {
    if (data.empty())
        return {};
    if (!knownEncoding(data[0]))
        return trimControls(windows1252ToUtf8(asText(data)));
    return valueOf(decodedStrings(data[0], asText(data, 1)), 0, major);
}

// Everything after the first zero byte, or all of it when there is none.
std::string_view afterFirstZero(std::string_view text) {
    const auto zero = text.find('\0');
    return zero == std::string_view::npos ? text : text.substr(zero + 1);
}

struct Described {
    std::string description;
    std::string text;
    std::string language; // COMM only, as stored
};

// COMM: encoding, language, description, text.
Described commentOf(const Bytes& data, int major) {
    Described out;
    if (data.empty())
        return out;
    out.language = std::string(asText(data, 1).substr(0, 3));
    if (!knownEncoding(data[0])) {
        out.text = trimControls(windows1252ToUtf8(afterFirstZero(asText(data, 4))));
        return out;
    }
    const auto strings = decodedStrings(data[0], asText(data, 4));
    if (strings.size() < 2) {
        out.text = valueOf(strings, 0, major); // no terminator: all of it is the text
        return out;
    }
    out.description = strings[0];
    out.text = valueOf(strings, 1, major);
    return out;
}

// WXXX: encoding, description, then the link in Latin-1.
Described linkOf(const Bytes& data) {
    Described out;
    if (data.empty())
        return out;
    if (!knownEncoding(data[0])) {
        out.text = trimControls(windows1252ToUtf8(afterFirstZero(asText(data, 1))));
        return out;
    }
    const std::string_view rest = asText(data, 1);
    const bool wide = data[0] == 1 || data[0] == 2;
    std::size_t end = 0;
    if (wide) {
        while (end + 1 < rest.size() && !(rest[end] == 0 && rest[end + 1] == 0))
            end += 2;
    } else {
        end = std::min(rest.find('\0'), rest.size());
    }
    if (end + (wide ? 1 : 0) >= rest.size()) {
        out.text = trimControls(latin1ToUtf8(rest));
        return out;
    }
    out.description = decodedStrings(data[0], rest.substr(0, end)).front();
    std::string_view link = rest.substr(end + (wide ? 2 : 1));
    link = link.substr(0, std::min(link.find('\0'), link.size()));
    out.text = trimControls(latin1ToUtf8(link));
    return out;
}

std::uint32_t trackFrom(const std::string& value) {
    std::string text = value;
    if (const auto slash = text.find('/'); slash != std::string::npos)
        text.resize(slash);
    if (text.empty())
        return 0;
    const auto number = parseWholeInt32(text);
    return number && *number > 0 ? static_cast<std::uint32_t>(*number) : 0;
}

std::uint32_t trackTotalFrom(const std::string& value) {
    const auto slash = value.find('/');
    if (slash == std::string::npos)
        return 0;
    const auto number = parseWholeInt32(std::string_view(value).substr(slash + 1));
    return number && *number > 0 ? static_cast<std::uint32_t>(*number) : 0;
}

std::optional<int> genreIndex(std::string_view digits) {
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int n = std::stoi(std::string(digits));
    return n < GenreCount ? std::optional<int>(n) : std::nullopt;
}

std::string genreFrom(const std::string& value) {
    std::string text = value;
    if (const auto paren = text.rfind(')'); paren != std::string::npos)
        text.erase(0, paren + 1);
    if (text.empty()) {
        // "(13)": the index in parentheses names the genre.
        const auto open = value.find('(');
        const auto close = open == std::string::npos ? open : value.find(')', open);
        if (close != std::string::npos) {
            if (const auto n =
                    genreIndex(std::string_view(value).substr(open + 1, close - open - 1)))
                return std::string(GenreNames[*n]);
        }
    } else if (const auto n = genreIndex(text)) {
        return std::string(GenreNames[*n]);
    }
    return text;
}

// ---- Where each field comes from

struct Source {
    std::string id;          // the frames of this id gave the value; empty: none
    std::int64_t start = -1; // Comment and URL: the one frame
    Described described;     // Comment and URL: the frame's description and language
    std::string value;       // the value as read (Track: before its number is taken)
};

struct TagContent {
    TID3v2::Fields fields;
    std::array<Source, TID3v2::TextFieldCount> sources;
    Source track;
    std::int64_t framesEnd = kHeaderSize;
};

bool isFieldId(std::string_view id) {
    return id == kTrackId || id == "TDRC" ||
           std::find(std::begin(kFieldIds), std::end(kFieldIds), id) != std::end(kFieldIds);
}

TagContent readContent(const FrameWalk& walk) {
    TagContent content;
    const int major = walk.major();
    Source tyer, tdrc, firstPlainComment, lastComment;
    content.framesEnd = walk.walk([&](const Frame& frame) {
        const std::string_view id = frame.idView();
        if (!isFieldId(id) || !walk.decodable(frame))
            return;
        const auto data = walk.content(frame);
        if (!data)
            return;
        if (id == "COMM") {
            Source source{std::string(id), frame.start, commentOf(*data, major), {}};
            source.value = source.described.text;
            if (source.described.description.empty() && firstPlainComment.id.empty())
                firstPlainComment = source;
            lastComment = source;
            return;
        }
        if (id == "WXXX") {
            Source source{std::string(id), frame.start, linkOf(*data), {}};
            source.value = source.described.text;
            content.sources[int(TextField::URL)] = source;
            return;
        }
        Source source{std::string(id), frame.start, {}, textFrameValue(*data, major)};
        if (id == "TYER")
            tyer = source;
        else if (id == "TDRC")
            tdrc = source;
        else if (id == kTrackId)
            content.track = source;
        else
            content.sources[std::find(std::begin(kFieldIds), std::end(kFieldIds), id) -
                            std::begin(kFieldIds)] = source;
    });
    const bool preferTdrc = major == 4;
    content.sources[int(TextField::Year)] =
        preferTdrc ? (tdrc.id.empty() ? tyer : tdrc) : (tyer.id.empty() ? tdrc : tyer);
    content.sources[int(TextField::Comment)] =
        firstPlainComment.id.empty() ? lastComment : firstPlainComment;

    for (int f = 0; f < TID3v2::TextFieldCount; ++f)
        content.fields.text[f] = content.sources[f].value;
    content.fields[TextField::Genre] = genreFrom(content.sources[int(TextField::Genre)].value);
    content.fields.track = trackFrom(content.track.value);
    content.fields.trackTotal = trackTotalFrom(content.track.value);
    return content;
}

// ---- Writing

// A text as frame bytes: encoding 0 when every character reads back the same
// from one byte, else UTF-16 with a byte order mark (2.3) or UTF-8 (2.4).
unsigned char encodingFor(std::initializer_list<std::string_view> texts, int major) {
    for (const std::string_view text : texts) {
        if (!fitsSingleByteTagText(text))
            return major == 4 ? 3 : 1;
    }
    return 0;
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

Bytes textFrameData(std::string_view text, int major) {
    const unsigned char encoding = encodingFor({text}, major);
    Bytes data{encoding};
    appendEncoded(data, text, encoding, false);
    return data;
}

Bytes commentFrameData(const Described& old, std::string_view text, int major) {
    const std::string language = old.language.size() == 3 ? old.language : "eng";
    const unsigned char encoding = encodingFor({old.description, text}, major);
    Bytes data{encoding};
    append(data, language);
    appendEncoded(data, old.description, encoding, true);
    appendEncoded(data, text, encoding, false);
    return data;
}

// A link outside Latin-1 keeps its other characters percent-encoded as UTF-8.
std::string latin1Link(std::string_view link) {
    if (auto latin1 = latin1FromUtf8(link))
        return *latin1;
    std::string out;
    for (const char c : link) {
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

Bytes linkFrameData(const Described& old, std::string_view link, int major) {
    const unsigned char encoding = encodingFor({old.description}, major);
    Bytes data{encoding};
    appendEncoded(data, old.description, encoding, true);
    append(data, latin1Link(link));
    return data;
}

// The tag at the start of the file open as `fd`, its first bytes read in one
// call; nothing when the file has fewer than 10 bytes.
std::optional<FrameWalk> readTag(int fd, std::int64_t fileSize) {
    Bytes start(static_cast<std::size_t>(kStartBytes));
    const std::int64_t got = fileSize < 0 ? -1 : readAt(fd, start.data(), start.size(), 0);
    if (got < kHeaderSize)
        return std::nullopt;
    start.resize(static_cast<std::size_t>(got));
    const Header header = readHeader(start.data(), fileSize);
    return FrameWalk(fd, header, std::move(start));
}

// Where the old tag's frames and their zero padding end: bytes there that are
// not zero are not the tag's, whatever its size says, and are kept.
std::int64_t endOfOldTag(const FrameWalk& walk, std::int64_t framesEnd) {
    const Header& header = walk.header();
    if (!header.present || header.extent == 0)
        return 0;
    if (!walk.readable())
        return header.extent;
    const bool footer = header.major == 4 && (header.flags & kFooter);
    const std::int64_t areaEnd = walk.bytes().size() - (footer ? kFooterSize : 0);
    std::int64_t position = framesEnd;
    unsigned char chunk[4096];
    while (position < areaEnd) {
        const auto count =
            static_cast<std::size_t>(std::min<std::int64_t>(sizeof chunk, areaEnd - position));
        if (!walk.bytes().read(chunk, count, position))
            return header.extent;
        const auto nonZero =
            std::find_if(chunk, chunk + count, [](unsigned char c) { return c != 0; });
        if (nonZero != chunk + count)
            return walk.bytes().fileOffset(position + (nonZero - chunk));
        position += static_cast<std::int64_t>(count);
    }
    return header.extent;
}

// The new tag for the file open as `fd`: the frames of the fields that differ
// from `loaded` are replaced, added or removed; every other frame is kept.
// Gives the tag and where the file's bytes after the old tag start.
std::optional<RebuildPlan> buildTag(int fd, std::int64_t fileSize, const TID3v2::Fields& fields,
                                    const TID3v2::Fields& loaded) {
    const std::optional<FrameWalk> tag = readTag(fd, fileSize);
    if (!tag)
        return std::nullopt;
    const FrameWalk& walk = *tag;
    const int major = walk.readable() && walk.header().major == 4 ? 4 : 3;

    const TagContent old = walk.readable() ? readContent(walk) : TagContent{};
    std::array<bool, TID3v2::TextFieldCount> changed{};
    for (int f = 0; f < TID3v2::TextFieldCount; ++f)
        changed[f] = fields.text[f] != loaded.text[f];
    const bool trackChanged =
        fields.track != loaded.track || fields.trackTotal != loaded.trackTotal;

    // The new frame of each changed field, empty when the field is now empty.
    auto fieldFrame = [&](int f) -> Bytes {
        const std::string& text = fields.text[f];
        if (text.empty())
            return {};
        const auto field = TextField(f);
        const Source& source = old.sources[f];
        if (field == TextField::Comment)
            return FrameWalk::framed("COMM", commentFrameData(source.described, text, major),
                                     major);
        if (field == TextField::URL)
            return FrameWalk::framed("WXXX", linkFrameData(source.described, text, major), major);
        const std::string_view id = field == TextField::Year && major == 4 ? "TDRC" : kFieldIds[f];
        return FrameWalk::framed(id, textFrameData(text, major), major);
    };
    auto trackFrame = [&]() -> Bytes {
        if (fields.track == 0)
            return {};
        std::string text = std::to_string(fields.track);
        const auto slash = old.track.value.find('/');
        if (fields.trackTotal != 0)
            text += "/" + std::to_string(fields.trackTotal);
        else if (loaded.trackTotal == 0 && slash != std::string::npos)
            text += old.track.value.substr(slash);
        return FrameWalk::framed(kTrackId, textFrameData(text, major), major);
    };

    Bytes frames;
    std::array<bool, TID3v2::TextFieldCount> written{};
    bool trackWritten = false;
    bool failed = false;
    const std::int64_t framesEnd = walk.walk([&](const Frame& frame) {
        if (failed)
            return;
        const std::string_view id = frame.idView();
        // A changed field replaces the frames its value came from: Comment and
        // URL that one frame, the others every frame of that id.
        for (int f = 0; f < TID3v2::TextFieldCount; ++f) {
            const Source& source = old.sources[f];
            if (!changed[f] || source.id.empty() || id != source.id)
                continue;
            const bool single =
                TextField(f) == TextField::Comment || TextField(f) == TextField::URL;
            if (single && frame.start != source.start)
                continue;
            if (!written[f]) {
                const Bytes replacement = fieldFrame(f);
                frames.insert(frames.end(), replacement.begin(), replacement.end());
                written[f] = true;
            }
            return;
        }
        if (trackChanged && id == kTrackId) {
            if (!trackWritten) {
                const Bytes replacement = trackFrame();
                frames.insert(frames.end(), replacement.begin(), replacement.end());
                trackWritten = true;
            }
            return;
        }
        const auto stored = walk.storedFrame(frame, major);
        if (!stored) {
            failed = true;
            return;
        }
        frames.insert(frames.end(), stored->begin(), stored->end());
    });
    if (failed)
        return std::nullopt;
    // New frames follow the kept ones, in the order of the fields, the track
    // after the album.
    for (int f = 0; f < TID3v2::TextFieldCount; ++f) {
        if (changed[f] && !written[f]) {
            const Bytes added = fieldFrame(f);
            frames.insert(frames.end(), added.begin(), added.end());
        }
        if (TextField(f) == TextField::Album && trackChanged && !trackWritten) {
            const Bytes added = trackFrame();
            frames.insert(frames.end(), added.begin(), added.end());
        }
    }
    if (static_cast<std::int64_t>(frames.size()) > kMaxSyncsafe)
        return std::nullopt;

    RebuildPlan plan;
    plan.head = {'I', 'D', '3', static_cast<unsigned char>(major), 0, 0};
    putSyncsafe32(plan.head, static_cast<std::uint32_t>(frames.size()));
    plan.head.insert(plan.head.end(), frames.begin(), frames.end());
    plan.keepFrom = endOfOldTag(walk, framesEnd);
    return plan;
}

} // namespace

TID3v2::TID3v2() {
    Reset();
}

void TID3v2::Reset() {
    m_exists = false;
    m_versionId = 0;
    m_size = 0;
    m_fields = Fields();
    m_loaded = Fields();
}

void TID3v2::setText(TextField field, std::string_view text) {
    m_fields[field] = trimControls(text);
}

bool TID3v2::Load(const std::string& fileName) {
    FileHandle file;
    std::int64_t fileSize = -1;
    if (!file.openForReading(fileName, &fileSize)) {
        Reset();
        return false;
    }
    return LoadFrom(file.fd(), fileSize);
}

bool TID3v2::LoadFrom(int fd, std::int64_t fileSize) {
    Reset();
    const std::optional<FrameWalk> tag = readTag(fd, fileSize);
    if (!tag)
        return false;
    const FrameWalk& walk = *tag;
    if (!walk.header().present)
        return true;

    m_exists = true;
    m_versionId = walk.header().major;
    // The extent is at most 2^28 + 20 bytes, which always fits.
    m_size = static_cast<std::int32_t>(walk.header().extent);
    if (!walk.readable())
        return true;
    m_fields = readContent(walk).fields;
    m_loaded = m_fields;
    return true;
}

bool TID3v2::Save(const std::string& fileName) const {
    return rebuildFile(fileName, [&](int fd, std::int64_t fileSize) -> std::optional<RebuildPlan> {
        return buildTag(fd, fileSize, m_fields, m_loaded);
    });
}

bool TID3v2::Strip(const std::string& fileName) const {
    return rebuildFile(fileName, [](int fd, std::int64_t fileSize) -> std::optional<RebuildPlan> {
        const std::optional<FrameWalk> tag = readTag(fd, fileSize);
        if (!tag)
            return std::nullopt;
        if (!tag->header().present) {
            setWriteError("the file has no ID3v2 tag");
            return std::nullopt;
        }
        const std::int64_t framesEnd = tag->walk([](const Frame&) {});
        return RebuildPlan{{}, endOfOldTag(*tag, framesEnd)};
    });
}
