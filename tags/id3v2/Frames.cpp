#include "tags/id3v2/Frames.h"

#include <cctype>
#include <string>

namespace quillon::id3v2 {

namespace {

void append(Bytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

// The same as resynchronise on `bytes` from `from` on, in place: a whole tag
// needs no copy.
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

// PIC's three-letter image format becomes APIC's MIME type.
Bytes pictureFrom22(const Bytes& data) {
    if (data.size() < 4)
        return data;
    const std::string mime =
        mimeOf22(std::string_view(reinterpret_cast<const char*>(data.data()) + 1, 3));
    Bytes out{data[0]};
    append(out, mime);
    out.push_back(0);
    out.insert(out.end(), data.begin() + 4, data.end());
    return out;
}

// LNK names the linked frame by its 2.2 id, LINK by its 2.3 one; false
// when that frame has no 2.3 form, and the link is dropped with it.
bool linkFrom22(Bytes& data) {
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

} // namespace

std::string mimeOf22(std::string_view format) {
    std::string lower(format);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // "-->" marks a link instead of an image, in both revisions.
    return lower == "-->" ? lower : lower == "jpg" ? "image/jpeg" : "image/" + lower;
}

void putSize(Bytes& out, SizeCodec codec, std::uint32_t value) {
    switch (codec) {
    case SizeCodec::BigEndian24:
        for (int shift = 16; shift >= 0; shift -= 8)
            out.push_back(static_cast<unsigned char>(value >> shift));
        return;
    case SizeCodec::BigEndian32:
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<unsigned char>(value >> shift));
        return;
    case SizeCodec::Syncsafe32:
        for (int shift = 21; shift >= 0; shift -= 7)
            out.push_back(static_cast<unsigned char>((value >> shift) & 0x7F));
        return;
    }
}

Header readHeader(const unsigned char* bytes, std::int64_t fileSize) {
    Header header;
    if (std::memcmp(bytes, "ID3", 3) != 0)
        return header;
    header.present = true;
    header.major = bytes[3];
    header.flags = bytes[5];
    header.revision = revisionOf(header.major);
    std::int64_t extent = std::int64_t{syncsafe32(bytes + 6)} + kHeaderSize;
    if (header.hasFooter())
        extent += kFooterSize;
    header.extent = extent > fileSize ? 0 : extent;
    return header;
}

std::string_view idOf(const Frame& frame, const Revision& revision) {
    if (revision.idSize == 3)
        return mapped22(std::string_view(frame.rawId, 3));
    return std::string_view(frame.rawId, 4);
}

void appendFramed(Bytes& out, std::string_view id, const unsigned char* data, std::size_t size,
                  const Revision& revision, const unsigned char flags[2]) {
    append(out, id);
    putSize(out, revision.frameSize, static_cast<std::uint32_t>(size));
    if (revision.frameFlags) {
        out.push_back(flags ? flags[0] : 0);
        out.push_back(flags ? flags[1] : 0);
    }
    out.insert(out.end(), data, data + size);
}

Bytes framed(std::string_view id, const Bytes& data, const Revision& revision) {
    Bytes out;
    out.reserve(data.size() + 10);
    appendFramed(out, id, data.data(), data.size(), revision);
    return out;
}

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

std::int64_t framesBegin(const Header& header, const unsigned char* first, std::int64_t available,
                         std::int64_t end) {
    const Revision& revision = *header.revision;
    // Some writers flag an extended header and write none: the frames start
    // right after the header then, as a frame id shows.
    if (!(header.flags & revision.extendedHeaderFlag) ||
        (end >= kHeaderSize + 4 && available >= kHeaderSize + 4 && isFrameId(first + kHeaderSize)))
        return kHeaderSize;
    if (available < kHeaderSize + 4)
        return end;
    return kHeaderSize + (revision.extendedSizeExcludesItself ? 4 : 0) +
           std::int64_t{readSize(revision.extendedHeaderSize, first + kHeaderSize)};
}

TagBytes::TagBytes(int fd, TagBuffer bytes, bool resync)
    : m_fd(fd), m_bytes(std::move(bytes)), m_resynced(resync) {
    if (m_resynced)
        resynchroniseInPlace(m_bytes, std::min<std::size_t>(kHeaderSize, m_bytes.size()));
}

std::int64_t TagBytes::fileOffset(std::int64_t offset) const {
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

FrameWalk::FrameWalk(int fd, const Header& header, TagBuffer bytes)
    : m_header(header),
      m_bytes(fd, std::move(bytes), header.resynchronisedWhole() && header.extent > 0) {
    m_readable = header.framesReadable() && m_bytes.size() >= kHeaderSize;
    m_end = m_bytes.size() - (header.hasFooter() ? kFooterSize : 0);
    if (m_readable)
        m_begin = framesBegin(header, m_bytes.data(), m_bytes.size(), m_end);
    m_plainSizes =
        m_readable && header.revision->frameSize == SizeCodec::Syncsafe32 && sizesArePlain();
}

bool FrameWalk::appendStored(Bytes& out, const Frame& frame, const Revision& target) const {
    if (frame.data + std::int64_t{frame.size} > m_bytes.size())
        return false;
    const Revision& revision = *m_header.revision;
    const unsigned char* data = m_bytes.data() + frame.data;
    std::size_t size = frame.size;
    unsigned char flags[2] = {0, 0};
    if (revision.frameFlags) {
        flags[0] = m_bytes.data()[frame.start + 8];
        flags[1] = m_bytes.data()[frame.start + 9];
    }
    // A 2.2 frame is converted to its 2.3 form.
    const bool converted22 = revision.idSize == 3;
    const bool unsynchronised = frameUnsynchronised(m_header, frame);
    Bytes converted;
    if (unsynchronised) {
        resynchronise(data, size, converted);
        flags[1] &= static_cast<unsigned char>(~revision.unsynchronisedFlag);
    } else if (converted22) {
        converted.assign(data, data + size);
    }
    if (converted22) {
        if (idOf(frame, revision).empty())
            return true;
        const std::string_view rawId(frame.rawId, 3);
        if (rawId == "PIC")
            converted = pictureFrom22(converted);
        if (rawId == "LNK" && !linkFrom22(converted))
            return true;
    }
    if (converted22 || unsynchronised) {
        data = converted.data();
        size = converted.size();
    }
    appendFramed(out, idOf(frame, revision), data, size, target, flags);
    return true;
}

FrameWalk::Reading FrameWalk::reading(bool plain) const {
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

bool FrameWalk::sizesArePlain() const {
    const Reading syncsafe = reading(false);
    if (syncsafe.clean)
        return false;
    const Reading plain = reading(true);
    return plain.clean || plain.frames > syncsafe.frames;
}

StreamWalk::StreamWalk(int fd, const Header& header, TagBuffer first)
    : m_fd(fd), m_header(header), m_window(std::move(first)) {
    m_windowSize = static_cast<std::int64_t>(m_window.size());
    m_end = header.extent - (header.hasFooter() ? kFooterSize : 0);
    m_begin = framesBegin(header, m_window.data(), m_windowSize, m_end);
}

bool StreamWalk::zerosFrom(std::int64_t from) const {
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

const unsigned char* StreamWalk::moveWindow(std::int64_t offset, std::size_t count) const {
    if (static_cast<std::int64_t>(count) > kWindowBytes)
        return nullptr;
    m_window.resize(static_cast<std::size_t>(kWindowBytes));
    const std::int64_t want =
        std::max(static_cast<std::int64_t>(count), std::min(kWindowBytes, m_end - offset));
    const std::int64_t got = readAt(m_fd, m_window.data(), static_cast<std::size_t>(want), offset);
    m_windowStart = offset;
    m_windowSize = std::max<std::int64_t>(got, 0);
    return inWindow(offset, count);
}

} // namespace quillon::id3v2
