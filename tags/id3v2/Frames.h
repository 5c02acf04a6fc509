// ID3v2 frames as stored: what differs between the revisions, in one table,
// the frame headers, and the walks over a tag's frames (in memory for a save,
// through a window of the file for a load).
#pragma once

#include "tags/FileAccess.h"
#include "tags/id3v2/Layout.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon::id3v2 {

constexpr int kHeaderSize = 10;
constexpr int kFooterSize = 10;
// The largest size that four 7-bit groups can hold.
constexpr std::int64_t kMaxSyncsafe = 0x0FFFFFFF;

// Header flags every revision shares.
constexpr unsigned char kUnsynchronised = 0x80;

enum class SizeCodec : unsigned char {
    BigEndian24,
    BigEndian32,
    Syncsafe32, // four 7-bit groups
};

// What differs between the revisions; a flag of 0 is one the revision has not.
struct Revision {
    unsigned char major;
    // The tag header's flags.
    unsigned char extendedHeaderFlag;
    unsigned char compressedTagFlag; // 2.2: the frames cannot be read
    unsigned char footerFlag;
    // The unsynchronisation flag covers each frame (2.4) or the tag as a whole.
    bool unsynchronisedPerFrame;
    // The extended header's size, and whether it leaves out its own 4 bytes.
    SizeCodec extendedHeaderSize;
    bool extendedSizeExcludesItself;
    // Frame headers.
    int frameHeaderSize;
    int idSize;
    SizeCodec frameSize;
    bool frameFlags; // two flag bytes end the header
    unsigned char undecodableFlags;
    unsigned char groupedFlag;    // a group byte comes first in the data
    unsigned char dataLengthFlag; // four bytes of length come first in the data
    unsigned char unsynchronisedFlag;
    // The 2.4 frame ids of the fields (2.2 ids read as their 2.3 forms).
    bool ids24;
    // The value of a text frame holding several strings: all of them joined
    // (2.4), else the first.
    bool joinsTexts;
    // The encoding of texts that one byte per character cannot hold.
    unsigned char wideEncoding;
    // The revision a save writes.
    unsigned char savedAs;
};

inline constexpr Revision kRevisions[] = {
    {2, 0x00, 0x40, 0x00, false, SizeCodec::BigEndian32, false, 6, 3, SizeCodec::BigEndian24, false,
     0x00, 0x00, 0x00, 0x00, false, false, 1, 3},
    {3, 0x40, 0x00, 0x00, false, SizeCodec::BigEndian32, true, 10, 4, SizeCodec::BigEndian32, true,
     0x80 | 0x40, 0x20, 0x00, 0x00, false, false, 1, 3},
    {4, 0x40, 0x00, 0x10, true, SizeCodec::Syncsafe32, false, 10, 4, SizeCodec::Syncsafe32, true,
     0x08 | 0x04, 0x40, 0x01, 0x02, true, true, 3, 4},
};

// The revision of a major version whose frames can be read; nothing for others.
constexpr const Revision* revisionOf(int major) {
    for (const Revision& revision : kRevisions) {
        if (revision.major == major)
            return &revision;
    }
    return nullptr;
}

inline std::uint32_t bigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

// Four 7-bit groups, each byte taken whole as the tag header's size is.
inline std::uint32_t syncsafe32(const unsigned char* p) {
    return std::uint32_t{p[0]} * (1u << 21) + std::uint32_t{p[1]} * (1u << 14) +
           std::uint32_t{p[2]} * (1u << 7) + std::uint32_t{p[3]};
}

inline std::uint32_t readSize(SizeCodec codec, const unsigned char* p) {
    switch (codec) {
    case SizeCodec::BigEndian24:
        return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    case SizeCodec::BigEndian32:
        return bigEndian32(p);
    case SizeCodec::Syncsafe32:
        break;
    }
    return syncsafe32(p);
}

void putSize(Bytes& out, SizeCodec codec, std::uint32_t value);

inline bool isUpperAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z';
}

// Four characters A-Z or 0-9, the first a letter.
inline bool isFrameId(const unsigned char* p) {
    return isUpperAscii(p[0]) && std::all_of(p + 1, p + 4, [](unsigned char c) {
               return isUpperAscii(c) || (c >= '0' && c <= '9');
           });
}

// An id's characters as one number, so that the walk compares ids at once.
constexpr std::uint32_t idKey(std::string_view id) {
    std::uint32_t key = 0;
    for (const char c : id)
        key = (key << 8) | static_cast<unsigned char>(c);
    return key;
}

// Revision 2.2 frame ids and their 2.3 counterparts. CRM (an encrypted meta
// frame, whose content only its key could turn into 2.3's encrypted frames)
// has none and is dropped when a 2.2 tag is rewritten as 2.3, as is a frame
// of an id not listed here.
inline constexpr std::pair<std::string_view, std::string_view> kIds22[] = {
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

// The 2.3 form of a 2.2 frame id; empty when it has none.
constexpr std::string_view mapped22(std::string_view id) {
    for (const auto& [old, now] : kIds22) {
        if (old == id)
            return now;
    }
    return {};
}
// The 2.2 form of a 2.3 frame id; empty when it has none.
constexpr std::string_view id22Of(std::string_view id) {
    for (const auto& [old, now] : kIds22) {
        if (now == id)
            return old;
    }
    return {};
}

// APIC's MIME type for PIC's three-letter image format ("JPG": "image/jpeg").
std::string mimeOf22(std::string_view format);

struct Header {
    bool present = false;
    unsigned char major = 0;
    unsigned char flags = 0;
    // Declared extent with header and footer; 0 when it does not fit the file.
    std::int64_t extent = 0;
    // Null for a revision whose frames cannot be read.
    const Revision* revision = nullptr;

    bool hasFooter() const { return revision && (flags & revision->footerFlag); }
    // Whether the frames of the tag can be read: a known revision, and not a
    // 2.2 tag compressed as a whole.
    bool framesReadable() const {
        return present && extent > 0 && revision && !(flags & revision->compressedTagFlag);
    }
    // Whether the tag is unsynchronised as a whole, and read so in memory.
    bool resynchronisedWhole() const {
        return (flags & kUnsynchronised) && !(revision && revision->unsynchronisedPerFrame);
    }
};

// `bytes` holds at least 10 bytes.
Header readHeader(const unsigned char* bytes, std::int64_t fileSize);

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
                                            const Revision& revision, bool plainSizes) {
    Frame frame;
    frame.start = position;
    if (revision.idSize == 3) {
        // The id and its zero written at once: bytes written one by one and
        // then read as one word stall the walk.
        std::uint32_t id;
        std::memcpy(&id, h, 4);
        id &= std::endian::native == std::endian::little ? 0x00FFFFFFu : 0xFFFFFF00u;
        std::memcpy(frame.rawId, &id, 4);
        frame.key = (std::uint32_t{h[0]} << 16) | (std::uint32_t{h[1]} << 8) | h[2];
        frame.data = position + 6;
        frame.size = readSize(SizeCodec::BigEndian24, h + 3);
        frame.formatFlags = 0;
    } else {
        std::memcpy(frame.rawId, h, 4);
        frame.key = bigEndian32(h);
        frame.data = position + 10;
        frame.size = revision.frameSize == SizeCodec::BigEndian32 || plainSizes ? bigEndian32(h + 4)
                                                                                : syncsafe32(h + 4);
        frame.formatFlags = h[9];
    }
    return frame;
}

// The 2.3/2.4 id of a frame: a 2.2 id mapped, empty when it has no 2.3 form.
std::string_view idOf(const Frame& frame, const Revision& revision);

// The frame header and data of a frame in `revision`;
// `flags`, when given, are its two flag bytes.
void appendFramed(Bytes& out, std::string_view id, const unsigned char* data, std::size_t size,
                  const Revision& revision, const unsigned char flags[2] = nullptr);
Bytes framed(std::string_view id, const Bytes& data, const Revision& revision);

// Undoes unsynchronisation: every 0xFF 0x00 pair loses its 0x00. Into `out`,
// whose memory is used again from frame to frame.
void resynchronise(const unsigned char* data, std::size_t size, Bytes& out);

inline bool frameUnsynchronised(const Header& header, const Frame& frame) {
    const Revision& revision = *header.revision;
    return revision.unsynchronisedPerFrame &&
           ((header.flags & kUnsynchronised) || (frame.formatFlags & revision.unsynchronisedFlag));
}

// The content of the frame whose stored data is at `data`: resynchronised,
// without the bytes its flags add. It lies in `data`, or in `scratch` when it
// had to be resynchronised.
inline std::optional<std::string_view> contentOf(const Header& header, const Frame& frame,
                                                 const unsigned char* data, Bytes& scratch) {
    const Revision& revision = *header.revision;
    std::size_t size = frame.size;
    if (frameUnsynchronised(header, frame)) {
        resynchronise(data, size, scratch);
        data = scratch.data();
        size = scratch.size();
    }
    const std::size_t skip = ((frame.formatFlags & revision.groupedFlag) ? 1 : 0) +
                             ((frame.formatFlags & revision.dataLengthFlag) ? 4 : 0);
    if (skip > size)
        return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(data) + skip, size - skip);
}

// Where the frames start: after the header, and after an extended header
// when one is flagged. `first` holds the tag's first `available` bytes; the
// frame area ends at `end`.
std::int64_t framesBegin(const Header& header, const unsigned char* first, std::int64_t available,
                         std::int64_t end);

// A tag's bytes as read: its buffer is not zeroed first, the read fills it.
template <class T> struct UninitialisedAllocator : std::allocator<T> {
    template <class U> struct rebind { using other = UninitialisedAllocator<U>; };
    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <class U, class... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using TagBuffer = std::vector<unsigned char, UninitialisedAllocator<unsigned char>>;

// The tag's bytes, read in one go, as the frames are laid out in them: a 2.2
// or 2.3 tag unsynchronised as a whole is resynchronised in memory.
class TagBytes {
public:
    TagBytes(int fd, TagBuffer bytes, bool resync);
    // Size of the tag in this layout.
    std::int64_t size() const { return static_cast<std::int64_t>(m_bytes.size()); }
    const unsigned char* data() const { return m_bytes.data(); }
    // Where a position of this layout lies in the file. The stuffed zeros are
    // gone from memory, so a resynchronised tag is counted again from the file.
    std::int64_t fileOffset(std::int64_t offset) const;

private:
    int m_fd;
    TagBuffer m_bytes;
    bool m_resynced;
};

// The frames of a readable tag held whole in memory, for a save and for a tag
// unsynchronised as a whole, and where they end.
class FrameWalk {
public:
    FrameWalk(int fd, const Header& header, TagBuffer bytes);
    bool readable() const { return m_readable; }
    const Revision& revision() const { return *m_header.revision; }
    const Header& header() const { return m_header; }
    const TagBytes& bytes() const { return m_bytes; }

    // Calls `visit(frame)` for each frame in order; returns where the frames
    // end (padding, a broken frame or the end of the tag's frame area).
    template <class Visit> std::int64_t walk(Visit&& visit) const {
        if (!m_readable)
            return kHeaderSize;
        const Revision revision = *m_header.revision; // in registers (see StreamWalk::pass)
        const int headerSize = revision.frameHeaderSize;
        const unsigned char* bytes = m_bytes.data();
        std::int64_t position = std::min(m_begin, m_end);
        while (position + headerSize <= m_end) {
            const unsigned char* h = bytes + position;
            if (!isUpperAscii(h[0]))
                break;
            const Frame frame = frameAt(h, position, revision, m_plainSizes);
            if (frame.data + frame.size > m_end)
                break;
            visit(frame);
            position = frame.data + frame.size;
        }
        return position;
    }

    bool decodable(const Frame& frame) const {
        return !(frame.formatFlags & m_header.revision->undecodableFlags);
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
    // `target`; a 2.2 frame without a 2.3 form adds nothing. False when the
    // frame cannot be read.
    bool appendStored(Bytes& out, const Frame& frame, const Revision& target) const;

private:
    // iTunes wrote 2.4 tags with frame sizes as plain numbers. As other
    // readers do, a tag is read so when its syncsafe sizes do not lead from
    // frame to frame up to the padding or the end and the plain ones do (or
    // find more frames).
    struct Reading {
        std::int64_t frames = 0;
        bool clean = false;
    };
    Reading reading(bool plain) const;
    bool sizesArePlain() const;

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
    // `first` holds the tag's first bytes, read from offset 0; the tag's
    // frames are readable.
    StreamWalk(int fd, const Header& header, TagBuffer first);
    const Revision& revision() const { return *m_header.revision; }
    bool decodable(const Frame& frame) const {
        return !(frame.formatFlags & m_header.revision->undecodableFlags);
    }

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
        if (m_header.revision->frameSize != SizeCodec::Syncsafe32 || first.clean)
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
        // A copy, kept in registers: the visits store to memory, and a
        // reference would make the walk load the revision again every frame.
        const Revision revision = *m_header.revision;
        const std::int64_t headerSize = revision.frameHeaderSize;
        const bool syncsafeSizes = revision.frameSize == SizeCodec::Syncsafe32;
        bool strictOk = syncsafeSizes;
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
            const Frame frame = frameAt(h, position, revision, plainSizes);
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
    bool zerosFrom(std::int64_t from) const;

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
        return moveWindow(offset, count);
    }
    const unsigned char* moveWindow(std::int64_t offset, std::size_t count) const;

    int m_fd;
    Header m_header;
    std::int64_t m_begin = kHeaderSize;
    std::int64_t m_end = kHeaderSize;
    mutable TagBuffer m_window;
    mutable std::int64_t m_windowStart = 0;
    mutable std::int64_t m_windowSize = 0;
    mutable TagBuffer m_frameBytes;
};

} // namespace quillon::id3v2
