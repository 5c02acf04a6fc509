#include "tags/ID3v2.h"

#include "tags/FileAccess.h"
#include "tags/FileRebuild.h"
#include "tags/ID3v1.h"
#include "tags/TagText.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
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

// Revision 2.2 frame ids and their 2.3 counterparts. CRM (an encrypted meta
// frame, whose content only its key could turn into 2.3's encrypted frames)
// has none and is dropped when a 2.2 tag is rewritten as 2.3, as is a frame
// of an id not listed here.
constexpr std::pair<std::string_view, std::string_view> kIds22[] = {
    {"BUF", "RBUF"},
    {"CNT", "PCNT"},
    {"COM", "COMM"},
    {"CRA", "AENC"},
    {"ETC", "ETCO"},
    {"EQU", "EQUA"},
    {"GEO", "GEOB"},
    {"IPL", "IPLS"},
    {"LNK", "LINK"},
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
    {"GP1", "GRP1"},
    {"MVN", "MVNM"},
    {"MVI", "MVIN"},
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

// Undoes unsynchronisation: every 0xFF 0x00 pair loses its 0x00. Into `out`,
// whose memory is used again from frame to frame.
void resynchronise(const unsigned char* data, std::size_t size, Bytes& out) {
    out.resize(size);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (i > 0 && data[i] == 0x00 && data[i - 1] == 0xFF)
            continue;
        out[kept++] = data[i];
    }
    out.resize(kept);
}

// A tag's bytes as read: its buffer is not zeroed first, the read fills it.
template <class T> struct UninitialisedAllocator : std::allocator<T> {
    template <class U> struct rebind { using other = UninitialisedAllocator<U>; };
    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <class U, class... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using TagBuffer = std::vector<unsigned char, UninitialisedAllocator<unsigned char>>;

// The same on `bytes` from `from` on, in place: a whole tag needs no copy.
void resynchroniseInPlace(TagBuffer& bytes, std::size_t from) {
    std::size_t out = from;
    unsigned char previous = 0;
    for (std::size_t i = from; i < bytes.size(); ++i) {
        const unsigned char c = bytes[i];
        const bool stuffed = i > from && c == 0x00 && previous == 0xFF;
        previous = c;
        if (!stuffed)
            bytes[out++] = c;
    }
    bytes.resize(out);
}

// The tag's bytes, read in one go, as the frames are laid out in them: a 2.2
// or 2.3 tag unsynchronised as a whole is resynchronised in memory.
class TagBytes {
public:
    TagBytes(int fd, TagBuffer bytes, bool resync)
        : m_fd(fd), m_bytes(std::move(bytes)), m_resynced(resync) {
        if (m_resynced)
            resynchroniseInPlace(m_bytes, std::min<std::size_t>(kHeaderSize, m_bytes.size()));
    }
    // Size of the tag in this layout.
    std::int64_t size() const { return static_cast<std::int64_t>(m_bytes.size()); }
    const unsigned char* data() const { return m_bytes.data(); }
    bool read(void* out, std::size_t count, std::int64_t offset) const {
        if (offset < 0 || offset + static_cast<std::int64_t>(count) > size())
            return false;
        if (count != 0)
            std::memcpy(out, m_bytes.data() + offset, count);
        return true;
    }
    // Where a position of this layout lies in the file. The stuffed zeros are
    // gone from memory, so a resynchronised tag is counted again from the file.
    std::int64_t fileOffset(std::int64_t offset) const {
        if (!m_resynced)
            return offset;
        std::int64_t layout = kHeaderSize;
        std::int64_t at = kHeaderSize;
        unsigned char previous = 0;
        Bytes chunk(64 * 1024);
        for (;;) {
            const std::int64_t got = readAt(m_fd, chunk.data(), chunk.size(), at);
            if (got <= 0)
                return at;
            for (std::int64_t i = 0; i < got; ++i, ++at) {
                const unsigned char c = chunk[static_cast<std::size_t>(i)];
                const bool stuffed = at > kHeaderSize && c == 0x00 && previous == 0xFF;
                previous = c;
                if (stuffed)
                    continue;
                if (layout == offset)
                    return at;
                ++layout;
            }
        }
    }

private:
    int m_fd;
    TagBuffer m_bytes;
    bool m_resynced;
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

// Whether the frames of the tag can be read: a known revision, and not a 2.2
// tag compressed as a whole.
bool framesReadable(const Header& header) {
    return header.present && header.extent > 0 && header.major >= 2 && header.major <= 4 &&
           !(header.major == 2 && (header.flags & kCompressedTag));
}

// Four characters A-Z or 0-9, the first a letter.
bool isFrameId(const unsigned char* p) {
    return isUpperAscii(p[0]) && std::all_of(p + 1, p + 4, [](unsigned char c) {
               return isUpperAscii(c) || (c >= '0' && c <= '9');
           });
}

// One frame as the walk finds it; offsets are in the tag's layout.
struct Frame {
    char rawId[4];      // the id as stored (a 2.2 id: three letters and a zero)
    std::uint32_t key;  // the same as a number (see idKey)
    std::int64_t start; // the frame header
    std::int64_t data;  // the data, after the header
    std::uint32_t size; // of the data as stored
    unsigned char formatFlags;
};

// Reads the frame header at `h`, found at `position`; `plainSizes` reads a
// 2.4 size as a plain number. Inlined into the walks, which call it for every
// frame, so that a frame is built in registers, not copied through memory.
[[gnu::always_inline]] inline Frame frameAt(const unsigned char* h, std::int64_t position,
                                            int major, bool plainSizes) {
    Frame frame;
    frame.start = position;
    if (major == 2) {
        // The id and its zero written at once: bytes written one by one and
        // then read as one word stall the walk.
        std::uint32_t id;
        std::memcpy(&id, h, 4);
        id &= std::endian::native == std::endian::little ? 0x00FFFFFFu : 0xFFFFFF00u;
        std::memcpy(frame.rawId, &id, 4);
        frame.key = (std::uint32_t{h[0]} << 16) | (std::uint32_t{h[1]} << 8) | h[2];
        frame.data = position + 6;
        frame.size = (std::uint32_t{h[3]} << 16) | (std::uint32_t{h[4]} << 8) | h[5];
        frame.formatFlags = 0;
    } else {
        std::memcpy(frame.rawId, h, 4);
        frame.key = bigEndian32(h);
        frame.data = position + 10;
        frame.size = major == 3 || plainSizes ? bigEndian32(h + 4) : syncsafe32(h + 4);
        frame.formatFlags = h[9];
    }
    return frame;
}

std::string_view mapped22(std::string_view id) {
    for (const auto& [old, now] : kIds22) {
        if (old == id)
            return now;
    }
    return {};
}

// The 2.3/2.4 id of a frame: a 2.2 id mapped, empty when it has no 2.3 form.
std::string_view idOf(const Frame& frame, int major) {
    if (major == 2)
        return mapped22(std::string_view(frame.rawId, 3));
    return std::string_view(frame.rawId, 4);
}

// Whether the frame's data can be decoded: neither compressed nor encrypted.
bool frameDecodable(const Header& header, const Frame& frame) {
    if (header.major == 3)
        return !(frame.formatFlags & (k23Compressed | k23Encrypted));
    if (header.major == 4)
        return !(frame.formatFlags & (k24Compressed | k24Encrypted));
    return true;
}

bool frameUnsynchronised(const Header& header, const Frame& frame) {
    return header.major == 4 &&
           ((header.flags & kUnsynchronised) || (frame.formatFlags & k24Unsynchronised));
}

// The content of the frame whose stored data is at `data`: resynchronised,
// without the bytes its flags add. It lies in `data`, or in `scratch` when it
// had to be resynchronised.
std::optional<std::string_view> contentOf(const Header& header, const Frame& frame,
                                          const unsigned char* data, Bytes& scratch) {
    std::size_t size = frame.size;
    if (frameUnsynchronised(header, frame)) {
        resynchronise(data, size, scratch);
        data = scratch.data();
        size = scratch.size();
    }
    std::size_t skip = 0;
    if (header.major == 3 && (frame.formatFlags & k23Grouped))
        skip = 1;
    if (header.major == 4)
        skip = ((frame.formatFlags & k24Grouped) ? 1 : 0) +
               ((frame.formatFlags & k24DataLength) ? 4 : 0);
    if (skip > size)
        return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(data) + skip, size - skip);
}

// Where the frames start: after the header, and after an extended header
// when one is flagged. `first` holds the tag's first `available` bytes; the
// frame area ends at `end`.
std::int64_t framesBegin(const Header& header, const unsigned char* first, std::int64_t available,
                         std::int64_t end) {
    // Some writers flag an extended header and write none: the frames start
    // right after the header then, as a frame id shows.
    if (header.major == 2 || !(header.flags & kExtendedHeader) ||
        (end >= kHeaderSize + 4 && available >= kHeaderSize + 4 && isFrameId(first + kHeaderSize)))
        return kHeaderSize;
    if (available < kHeaderSize + 4)
        return end;
    const unsigned char* size = first + kHeaderSize;
    if (header.major == 3)
        return kHeaderSize + 4 + std::int64_t{bigEndian32(size)};
    return kHeaderSize + std::int64_t{syncsafe32(size)};
}

// The frames of a readable tag held whole in memory, for a save and for a tag
// unsynchronised as a whole, and where they end.
class FrameWalk {
public:
    FrameWalk(int fd, const Header& header, TagBuffer bytes)
        : m_header(header),
          m_bytes(fd, std::move(bytes),
                  (header.flags & kUnsynchronised) && header.major != 4 && header.extent > 0) {
        m_readable = framesReadable(header) && m_bytes.size() >= kHeaderSize;
        m_end =
            m_bytes.size() - ((header.major == 4 && (header.flags & kFooter)) ? kFooterSize : 0);
        if (m_readable)
            m_begin = framesBegin(header, m_bytes.data(), m_bytes.size(), m_end);
        m_plainSizes = m_readable && header.major == 4 && sizesArePlain();
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
        const unsigned char* bytes = m_bytes.data();
        std::int64_t position = std::min(m_begin, m_end);
        while (position + headerSize <= m_end) {
            const unsigned char* h = bytes + position;
            if (!isUpperAscii(h[0]))
                break;
            const Frame frame = frameAt(h, position, m_header.major, m_plainSizes);
            if (frame.data + frame.size > m_end)
                break;
            visit(frame);
            position = frame.data + frame.size;
        }
        return position;
    }

    bool decodable(const Frame& frame) const { return frameDecodable(m_header, frame); }
    bool frameUnsynchronised(const Frame& frame) const {
        return ::frameUnsynchronised(m_header, frame);
    }
    std::optional<std::string_view> content(const Frame& frame, Bytes& scratch) const {
        if (frame.data < 0 || frame.data + std::int64_t{frame.size} > m_bytes.size())
            return std::nullopt;
        return contentOf(m_header, frame, m_bytes.data() + frame.data, scratch);
    }
    // One pass over the frames: `visit(state, frame)` for each.
    template <class State, class Visit> State collect(Visit&& visit) const {
        State state;
        walk([&](const Frame& frame) { visit(state, frame); });
        return state;
    }

    // Appends the frame as stored, resynchronised where its flags said so
    // (those flags then cleared), with its header in the layout of
    // `targetMajor`; a 2.2 frame without a 2.3 form adds nothing. False when
    // the frame cannot be read.
    bool appendStored(Bytes& out, const Frame& frame, int targetMajor) const {
        if (frame.data + std::int64_t{frame.size} > m_bytes.size())
            return false;
        const unsigned char* data = m_bytes.data() + frame.data;
        std::size_t size = frame.size;
        unsigned char flags[2] = {0, 0};
        if (m_header.major != 2) {
            flags[0] = m_bytes.data()[frame.start + 8];
            flags[1] = m_bytes.data()[frame.start + 9];
        }
        Bytes converted;
        if (frameUnsynchronised(frame)) {
            resynchronise(data, size, converted);
            flags[1] &= static_cast<unsigned char>(~k24Unsynchronised);
        } else if (m_header.major == 2) {
            converted.assign(data, data + size);
        }
        if (m_header.major == 2) {
            if (idOf(frame, 2).empty())
                return true;
            const std::string_view rawId(frame.rawId, 3);
            if (rawId == "PIC")
                converted = pictureFrom22(converted);
            if (rawId == "LNK" && !linkFrom22(converted))
                return true;
        }
        if (m_header.major == 2 || frameUnsynchronised(frame)) {
            data = converted.data();
            size = converted.size();
        }
        appendFramed(out, idOf(frame, m_header.major), data, size, targetMajor, flags);
        return true;
    }

    static void appendFramed(Bytes& out, std::string_view id, const unsigned char* data,
                             std::size_t size, int major, const unsigned char flags[2] = nullptr) {
        append(out, id);
        if (major == 4)
            putSyncsafe32(out, static_cast<std::uint32_t>(size));
        else
            putBigEndian32(out, static_cast<std::uint32_t>(size));
        out.push_back(flags ? flags[0] : 0);
        out.push_back(flags ? flags[1] : 0);
        out.insert(out.end(), data, data + size);
    }
    static Bytes framed(std::string_view id, const Bytes& data, int major) {
        Bytes out;
        out.reserve(data.size() + 10);
        appendFramed(out, id, data.data(), data.size(), major);
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
    // LNK names the linked frame by its 2.2 id, LINK by its 2.3 one; false
    // when that frame has no 2.3 form, and the link is dropped with it.
    static bool linkFrom22(Bytes& data) {
        if (data.size() < 3)
            return false;
        const std::string_view now =
            mapped22(std::string_view(reinterpret_cast<const char*>(data.data()), 3));
        if (now.size() != 4)
            return false;
        data.erase(data.begin(), data.begin() + 3);
        data.insert(data.begin(), now.begin(), now.end());
        return true;
    }

    // iTunes wrote 2.4 tags with frame sizes as plain numbers. As other
    // readers do, a tag is read so when its syncsafe sizes do not lead from
    // frame to frame up to the padding or the end and the plain ones do (or
    // find more frames).
    struct Reading {
        std::int64_t frames = 0;
        bool clean = false;
    };
    Reading reading(bool plain) const {
        Reading out;
        const unsigned char* bytes = m_bytes.data();
        std::int64_t position = m_begin;
        while (position + 10 <= m_end && bytes[position] != 0) {
            const unsigned char* h = bytes + position;
            if (!isFrameId(h) || (!plain && ((h[4] | h[5] | h[6] | h[7]) & 0x80)))
                return out;
            const std::int64_t size = plain ? bigEndian32(h + 4) : syncsafe32(h + 4);
            if (position + 10 + size > m_end)
                return out;
            ++out.frames;
            position += 10 + size;
        }
        out.clean = position >= m_end || std::all_of(bytes + position, bytes + m_end,
                                                     [](unsigned char c) { return c == 0; });
        return out;
    }
    bool sizesArePlain() const {
        const Reading syncsafe = reading(false);
        if (syncsafe.clean)
            return false;
        const Reading plain = reading(true);
        return plain.clean || plain.frames > syncsafe.frames;
    }

    Header m_header;
    TagBytes m_bytes;
    bool m_readable = false;
    bool m_plainSizes = false;
    std::int64_t m_begin = kHeaderSize;
    std::int64_t m_end = kHeaderSize;
};

// A tag read from the file through a window of a few megabytes, for a tag
// not unsynchronised as a whole: the walk reads it front to back in large
// reads and jumps over the data of frames that no field needs without reading
// it, and a frame's content is read only when asked for. Memory stays bounded
// whatever the tag's size and however many frames it has.
class StreamWalk {
public:
    // `first` holds the tag's first bytes, read from offset 0.
    StreamWalk(int fd, const Header& header, TagBuffer first)
        : m_fd(fd), m_header(header), m_window(std::move(first)) {
        m_windowSize = static_cast<std::int64_t>(m_window.size());
        m_end = header.extent - ((header.major == 4 && (header.flags & kFooter)) ? kFooterSize : 0);
        m_begin = framesBegin(header, m_window.data(), m_windowSize, m_end);
    }
    int major() const { return m_header.major; }
    bool decodable(const Frame& frame) const { return frameDecodable(m_header, frame); }

    // The frame's content (see contentOf); valid until the next call.
    std::optional<std::string_view> content(const Frame& frame, Bytes& scratch) const {
        const unsigned char* data = inWindow(frame.data, frame.size);
        if (!data) {
            m_frameBytes.resize(frame.size);
            if (!readExactAt(m_fd, m_frameBytes.data(), frame.size, frame.data))
                return std::nullopt;
            data = m_frameBytes.data();
        }
        return contentOf(m_header, frame, data, scratch);
    }

    // One pass over the frames: `visit(state, frame)` for each. A 2.4 tag
    // whose syncsafe sizes do not read cleanly is read again with plain ones,
    // and the pass that reads it as FrameWalk does is kept.
    template <class State, class Visit> State collect(Visit&& visit) const {
        State syncsafe;
        const Reading first = pass(false, syncsafe, visit);
        if (m_header.major != 4 || first.clean)
            return syncsafe;
        State plain;
        const Reading second = pass(true, plain, visit);
        return second.clean || second.frames > first.frames ? plain : syncsafe;
    }

private:
    static constexpr std::int64_t kWindowBytes = 2 << 20;

    struct Reading {
        std::int64_t frames = 0;
        bool clean = false;
    };
    // The walk of FrameWalk::walk; for a 2.4 tag, also the reading of
    // FrameWalk::reading, which stops at the first frame its stricter checks
    // refuse.
    template <class State, class Visit>
    Reading pass(bool plainSizes, State& state, Visit& visit) const {
        Reading reading;
        const int major = m_header.major;
        const std::int64_t headerSize = major == 2 ? 6 : 10;
        bool strictOk = major == 4;
        bool ended = false; // at padding or at the end of the frame area
        std::int64_t position = std::min(m_begin, m_end);
        for (;;) {
            if (position + headerSize > m_end) {
                ended = true;
                break;
            }
            const unsigned char* h = bytesAt(position, static_cast<std::size_t>(headerSize));
            if (!h)
                break;
            if (!isUpperAscii(h[0])) {
                ended = h[0] == 0;
                break;
            }
            if (strictOk &&
                (!isFrameId(h) || (!plainSizes && ((h[4] | h[5] | h[6] | h[7]) & 0x80))))
                strictOk = false;
            const Frame frame = frameAt(h, position, major, plainSizes);
            if (frame.data + frame.size > m_end)
                break;
            reading.frames += strictOk ? 1 : 0;
            visit(state, frame);
            position = frame.data + frame.size;
        }
        reading.clean = strictOk && ended && zerosFrom(position);
        return reading;
    }

    // Whether the frame area holds only zeros from `from` to its end.
    bool zerosFrom(std::int64_t from) const {
        while (from < m_end) {
            const auto count = static_cast<std::size_t>(std::min(kWindowBytes, m_end - from));
            const unsigned char* p = bytesAt(from, count);
            if (!p)
                return true; // the file ends sooner: nothing more to see
            // Every byte equals the first, which is zero.
            if (p[0] != 0 || std::memcmp(p, p + 1, count - 1) != 0)
                return false;
            from += static_cast<std::int64_t>(count);
        }
        return true;
    }

    const unsigned char* inWindow(std::int64_t offset, std::size_t count) const {
        if (offset >= m_windowStart &&
            offset + static_cast<std::int64_t>(count) <= m_windowStart + m_windowSize)
            return m_window.data() + (offset - m_windowStart);
        return nullptr;
    }
    // The `count` bytes at `offset`, the window moved there when they lie
    // outside it; nothing when the file ends before them.
    const unsigned char* bytesAt(std::int64_t offset, std::size_t count) const {
        if (const unsigned char* p = inWindow(offset, count))
            return p;
        if (static_cast<std::int64_t>(count) > kWindowBytes)
            return nullptr;
        m_window.resize(static_cast<std::size_t>(kWindowBytes));
        const std::int64_t want =
            std::max(static_cast<std::int64_t>(count), std::min(kWindowBytes, m_end - offset));
        const std::int64_t got =
            readAt(m_fd, m_window.data(), static_cast<std::size_t>(want), offset);
        m_windowStart = offset;
        m_windowSize = std::max<std::int64_t>(got, 0);
        return inWindow(offset, count);
    }

    int m_fd;
    Header m_header;
    std::int64_t m_begin = kHeaderSize;
    std::int64_t m_end = kHeaderSize;
    mutable TagBuffer m_window;
    mutable std::int64_t m_windowStart = 0;
    mutable std::int64_t m_windowSize = 0;
    mutable TagBuffer m_frameBytes;
};

// ---- Text of the frames

bool isWide(int encoding) {
    return encoding == 1 || encoding == 2;
}

// One string of a text in encoding `encoding`, without its terminator.
// Drops a UTF-16 byte order mark from the front of `piece`; gives the byte
// order it names, or `bigEndian` when there is none.
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
    if (!isWide(encoding)) {
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

// Where the first string of `bytes` ends: the offset of its terminator, a
// zero byte or, in UTF-16, two zero bytes at an even offset.
std::size_t terminatorOf(int encoding, std::string_view bytes) {
    if (!isWide(encoding))
        return bytes.find('\0');
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        if (bytes[i] == 0 && bytes[i + 1] == 0)
            return i;
    }
    return std::string_view::npos;
}

// The strings of a text in encoding `encoding`, split at its terminators.
std::vector<std::string> decodedStrings(int encoding, std::string_view bytes) {
    std::vector<std::string> out;
    const std::size_t width = isWide(encoding) ? 2 : 1;
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

std::string textFrameValue(std::string_view data, int major) {
    if (data.empty())
        return {};
    const auto encoding = static_cast<unsigned char>(data[0]);
    if (!knownEncoding(encoding))
        return trimControls(windows1252ToUtf8(data));
    return valueOf(decodedStrings(encoding, data.substr(1)), 0, major);
}

struct Described {
    std::string description;
    std::string text;
    std::string language; // COMM only, as stored
};

// COMM and WXXX: a description, terminated, then the value. Without the
// terminator the frame holds no value (as other readers see it).
struct DescribedParts {
    int encoding;
    std::string_view description; // as stored
    std::string_view rest;        // after the terminator
};
std::optional<DescribedParts> describedParts(std::string_view data, std::size_t descriptionAt) {
    if (data.size() < descriptionAt)
        return std::nullopt;
    const int encoding = static_cast<unsigned char>(data[0]);
    const std::string_view bytes = data.substr(descriptionAt);
    const std::size_t end = terminatorOf(encoding, bytes);
    if (end == std::string_view::npos)
        return std::nullopt;
    return DescribedParts{encoding, bytes.substr(0, end),
                          bytes.substr(end + (isWide(encoding) ? 2 : 1))};
}

// COMM: encoding, language, description, text.
std::optional<Described> commentOf(std::string_view data, int major) {
    const auto parts = describedParts(data, 4);
    if (!parts)
        return std::nullopt;
    Described out;
    out.language = std::string(data.substr(1, 3));
    out.description = decodedPiece(parts->encoding, parts->description);
    out.text = knownEncoding(static_cast<unsigned char>(parts->encoding))
                   ? valueOf(decodedStrings(parts->encoding, parts->rest), 0, major)
                   : trimControls(windows1252ToUtf8(parts->rest));
    return out;
}

// WXXX: encoding, description, then the link in Latin-1.
std::optional<Described> linkOf(std::string_view data) {
    const auto parts = describedParts(data, 1);
    if (!parts)
        return std::nullopt;
    Described out;
    out.description = decodedPiece(parts->encoding, parts->description);
    const std::string_view link = parts->rest.substr(0, parts->rest.find('\0'));
    out.text = trimControls(latin1ToUtf8(link));
    return out;
}

// iTunes keeps loudness and gapless data in comments described "iTunNORM",
// "iTunSMPB" and the like; other readers never show them as the comment.
// Asked of every comment until a plain one is found, so it looks at the
// stored bytes: each character of "iTun" comes from its own byte or UTF-16
// unit, after one byte order mark at most, as decodedPiece reads them.
bool isPrivateComment(const DescribedParts& parts) {
    std::string_view description = parts.description;
    if (!isWide(parts.encoding)) {
        if (parts.encoding == 3 && description.starts_with("\xEF\xBB\xBF"))
            description.remove_prefix(3);
        return description.starts_with("iTun");
    }
    const bool bigEndian = takeByteOrderMark(description, parts.encoding == 2);
    constexpr std::string_view kPrefix = "iTun";
    if (description.size() < 2 * kPrefix.size())
        return false;
    for (std::size_t i = 0; i < kPrefix.size(); ++i) {
        const char high = description[2 * i + (bigEndian ? 0 : 1)];
        const char low = description[2 * i + (bigEndian ? 1 : 0)];
        if (high != 0 || low != kPrefix[i])
            return false;
    }
    return true;
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
};

// The frames read for the fields: those of kFieldIds by their index, then
// TDRC and TRCK.
constexpr int kTdrcSlot = TID3v2::TextFieldCount;
constexpr int kTrackSlot = TID3v2::TextFieldCount + 1;
constexpr int kSlotCount = TID3v2::TextFieldCount + 2;

constexpr std::string_view slotId(int slot) {
    return slot == kTdrcSlot ? "TDRC" : slot == kTrackSlot ? kTrackId : kFieldIds[slot];
}

// An id's characters as one number, so that the walk compares ids at once.
constexpr std::uint32_t idKey(std::string_view id) {
    std::uint32_t key = 0;
    for (const char c : id)
        key = (key << 8) | static_cast<unsigned char>(c);
    return key;
}

// The key of each slot's id, as 2.3/2.4 and as 2.2 store it (0: none).
constexpr auto kSlotKeys = [] {
    std::array<std::uint32_t, kSlotCount> keys{};
    for (int slot = 0; slot < kSlotCount; ++slot)
        keys[slot] = idKey(slotId(slot));
    return keys;
}();
constexpr auto kSlotKeys22 = [] {
    std::array<std::uint32_t, kSlotCount> keys{};
    for (int slot = 0; slot < kSlotCount; ++slot) {
        for (const auto& [old, now] : kIds22) {
            if (now == slotId(slot))
                keys[slot] = idKey(old);
        }
    }
    return keys;
}();

// The slot of the frame's id, -1 for a frame no field reads. Called for every
// frame of the tag, so it rejects most ids on their first letter.
int slotOf(const Frame& frame, int major) {
    const char first = frame.rawId[0];
    if (first != 'T' && first != 'C' && first != 'W')
        return -1;
    // One loop per table: a table chosen at run time is copied to the stack
    // for every frame.
    if (major == 2) {
        for (int slot = 0; slot < kSlotCount; ++slot) {
            if (kSlotKeys22[slot] == frame.key)
                return slot;
        }
        return -1;
    }
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (kSlotKeys[slot] == frame.key)
            return slot;
    }
    return -1;
}

// The frame a field comes from. A compressed or encrypted frame counts, so
// that an edit replaces it, but gives no value.
struct Pick {
    bool found = false;
    bool decodable = false;
    int slot = -1; // of the frame's own id (Year may come from TDRC)
    Frame frame;
};

// What one pass over the frames picks.
struct Picks {
    std::array<Pick, kSlotCount> slots{};
    Pick firstPlainComment, lastComment;
};

// The fields of the tag. One pass over the frames picks the frame of each
// field without decoding it (a later frame of an id replaces an earlier one;
// the comment is the first without description, else the last); only the
// picked frames are decoded. A comment or link is looked into during the pass
// only while it can still be picked.
template <class Walk> TagContent readContent(const Walk& walk) {
    TagContent content;
    const int major = walk.major();
    Bytes scratch;
    Picks found = walk.template collect<Picks>([&](Picks& picks, const Frame& frame) {
        const int slot = slotOf(frame, major);
        if (slot < 0)
            return;
        const bool decodable = walk.decodable(frame);
        // Set field by field: a copy of the whole through the stack costs
        // more than the rest of the walk.
        auto pick = [&](Pick& kept) {
            kept.found = true;
            kept.decodable = decodable;
            kept.slot = slot;
            std::memcpy(kept.frame.rawId, frame.rawId, sizeof frame.rawId);
            kept.frame.start = frame.start;
            kept.frame.data = frame.data;
            kept.frame.size = frame.size;
            kept.frame.formatFlags = frame.formatFlags;
            kept.frame.key = frame.key;
        };
        if (slot == int(TextField::Comment)) {
            if (picks.firstPlainComment.found)
                return;
            if (decodable) {
                const auto data = walk.content(frame, scratch);
                const auto parts = data ? describedParts(*data, 4) : std::nullopt;
                if (!parts || isPrivateComment(*parts))
                    return;
                if (parts->description.empty())
                    pick(picks.firstPlainComment);
            }
            pick(picks.lastComment);
            return;
        }
        if (slot == int(TextField::URL)) {
            if (decodable) {
                const auto data = walk.content(frame, scratch);
                if (!data || !describedParts(*data, 1))
                    return;
            }
            pick(picks.slots[slot]);
            return;
        }
        // The value comes from the last frame that can be decoded.
        if (decodable || !picks.slots[slot].decodable)
            pick(picks.slots[slot]);
    });
    auto& picks = found.slots;
    picks[int(TextField::Comment)] =
        found.firstPlainComment.found ? found.firstPlainComment : found.lastComment;
    const Pick& tyer = picks[int(TextField::Year)];
    const Pick& tdrc = picks[kTdrcSlot];
    if (major == 4 ? tdrc.found : !tyer.found)
        picks[int(TextField::Year)] = tdrc;

    auto sourceOf = [&](const Pick& pick, int slot) {
        Source source;
        if (!pick.found)
            return source;
        source.id = std::string(slotId(pick.slot));
        source.start = pick.frame.start;
        const auto data = pick.decodable ? walk.content(pick.frame, scratch) : std::nullopt;
        if (!data)
            return source;
        if (slot == int(TextField::Comment) || slot == int(TextField::URL)) {
            auto described = slot == int(TextField::URL) ? linkOf(*data) : commentOf(*data, major);
            if (described) {
                source.described = std::move(*described);
                source.value = source.described.text;
            }
        } else {
            source.value = textFrameValue(*data, major);
        }
        return source;
    };
    for (int f = 0; f < TID3v2::TextFieldCount; ++f) {
        content.sources[f] = sourceOf(picks[f], f);
        content.fields.text[f] = content.sources[f].value;
    }
    content.track = sourceOf(picks[kTrackSlot], kTrackSlot);
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
    Bytes data;
    data.reserve(4 + 2 * (old.description.size() + text.size()) + 6);
    data.push_back(encoding);
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

// The tag's header and first bytes, read in one call: most tags end within
// them. Nothing when the file has fewer than 10 bytes.
struct TagStart {
    Header header;
    TagBuffer bytes;
};
std::optional<TagStart> readStart(int fd, std::int64_t fileSize) {
    TagBuffer bytes(static_cast<std::size_t>(kStartBytes));
    const std::int64_t got = fileSize < 0 ? -1 : readAt(fd, bytes.data(), bytes.size(), 0);
    if (got < kHeaderSize)
        return std::nullopt;
    bytes.resize(static_cast<std::size_t>(got));
    const Header header = readHeader(bytes.data(), fileSize);
    return TagStart{header, std::move(bytes)};
}

// The tag at the start of the file open as `fd`: a tag whose frames can be
// read is read whole, in one more call, to be walked in memory. Nothing when
// the file has fewer than 10 bytes, or when there is no memory for the tag.
std::optional<FrameWalk> readTag(int fd, std::int64_t fileSize) {
    try {
        std::optional<TagStart> start = readStart(fd, fileSize);
        if (!start)
            return std::nullopt;
        const Header& header = start->header;
        TagBuffer& bytes = start->bytes;
        const auto got = static_cast<std::int64_t>(bytes.size());
        if (framesReadable(header) && header.extent > got) {
            bytes.resize(static_cast<std::size_t>(header.extent));
            const std::int64_t rest =
                readAt(fd, bytes.data() + got, static_cast<std::size_t>(header.extent - got), got);
            bytes.resize(static_cast<std::size_t>(got + std::max<std::int64_t>(rest, 0)));
        } else if (framesReadable(header)) {
            bytes.resize(static_cast<std::size_t>(header.extent));
        }
        return FrameWalk(fd, header, std::move(bytes));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
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
    if (framesEnd >= areaEnd)
        return header.extent;
    const unsigned char* begin = walk.bytes().data() + framesEnd;
    const unsigned char* end = walk.bytes().data() + areaEnd;
    const unsigned char* nonZero = std::find_if(begin, end, [](unsigned char c) { return c != 0; });
    return nonZero == end ? header.extent : walk.bytes().fileOffset(framesEnd + (nonZero - begin));
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

    // The frames go straight after room for the header, patched at the end.
    RebuildPlan plan;
    Bytes& frames = plan.head;
    frames.reserve(static_cast<std::size_t>(walk.bytes().size()) + 1024);
    frames.resize(kHeaderSize);
    std::array<bool, TID3v2::TextFieldCount> written{};
    bool trackWritten = false;
    bool failed = false;
    const std::int64_t framesEnd = walk.walk([&](const Frame& frame) {
        if (failed)
            return;
        const std::string_view id = idOf(frame, walk.major());
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
        if (!walk.appendStored(frames, frame, major))
            failed = true;
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
    const std::int64_t size = static_cast<std::int64_t>(frames.size()) - kHeaderSize;
    if (size > kMaxSyncsafe)
        return std::nullopt;
    Bytes header = {'I', 'D', '3', static_cast<unsigned char>(major), 0, 0};
    putSyncsafe32(header, static_cast<std::uint32_t>(size));
    std::copy(header.begin(), header.end(), frames.begin());
    plan.keepFrom = endOfOldTag(walk, framesEnd);
    plan.padTo = [](Bytes& tag, std::int64_t extent) {
        if (extent < std::int64_t(tag.size()) || extent - kHeaderSize > kMaxSyncsafe)
            return false;
        tag.resize(static_cast<std::size_t>(extent));
        Bytes size;
        putSyncsafe32(size, static_cast<std::uint32_t>(extent - kHeaderSize));
        std::copy(size.begin(), size.end(), tag.begin() + 6);
        return true;
    };
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
    try {
        std::optional<TagStart> start = readStart(fd, fileSize);
        if (!start)
            return false;
        const Header header = start->header;
        if (!header.present)
            return true;
        m_exists = true;
        m_versionId = header.major;
        // The extent is at most 2^28 + 20 bytes, which always fits.
        m_size = static_cast<std::int32_t>(header.extent);
        if (!framesReadable(header))
            return true;
        if ((header.flags & kUnsynchronised) && header.major != 4) {
            // Unsynchronised as a whole (rare): resynchronised in memory.
            const std::optional<FrameWalk> walk = readTag(fd, fileSize);
            if (!walk) {
                Reset();
                return false;
            }
            if (walk->readable())
                m_fields = readContent(*walk).fields;
        } else {
            m_fields = readContent(StreamWalk(fd, header, std::move(start->bytes))).fields;
        }
    } catch (const std::bad_alloc&) {
        Reset();
        return false;
    }
    m_loaded = m_fields;
    return true;
}

bool TID3v2::Save(const std::string& fileName) const {
    return rebuildFile(fileName, [&](int fd, std::int64_t fileSize) -> std::optional<RebuildPlan> {
        try {
            return buildTag(fd, fileSize, m_fields, m_loaded);
        } catch (const std::bad_alloc&) {
            setWriteError("there is not enough memory for the tag");
            return std::nullopt;
        }
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
        return RebuildPlan{{}, endOfOldTag(*tag, framesEnd), {}};
    });
}
