#include "tags/ID3v2.h"

#include "tags/FileAccess.h"
#include "tags/FileRebuild.h"
#include "tags/TagText.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace {

constexpr int kHeaderSize = 10;
constexpr int kFrameHeaderSize = 10;
constexpr std::size_t kValueBufferSize = 250;
// The largest tag size that four 7-bit groups can hold.
constexpr std::int64_t kMaxTagSize = 0x0FFFFFFF;

// Slots of the known frames, in the order they are read and written.
enum Slot {
    SlotTitle,
    SlotArtist,
    SlotAlbum,
    SlotTrack,
    SlotYear,
    SlotGenre,
    SlotComment,
    SlotComposer,
    SlotEncoder,
    SlotCopyright,
    SlotLanguage,
    SlotURL,
    SlotCount
};
constexpr std::array<std::string_view, SlotCount> kFrameIds = {
    "TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON", "COMM", "TCOM", "TENC", "TCOP", "TLAN", "WXXX",
};

using Header = std::array<unsigned char, kHeaderSize>;
using FrameValues = std::array<std::string, SlotCount>;
using Bytes = std::vector<unsigned char>;

bool isId3(const Header& header) {
    return std::memcmp(header.data(), "ID3", 3) == 0;
}

// Declared extent with the header; the size bytes are taken whole, unmasked.
std::int64_t declaredExtent(const Header& header) {
    return static_cast<std::int64_t>(header[6]) * (1 << 21) + header[7] * (1 << 14) +
           header[8] * (1 << 7) + header[9] + kHeaderSize;
}

// The extent, or 0 when it is larger than the file.
std::int64_t usableExtent(const Header& header, std::int64_t fileSize) {
    const std::int64_t extent = declaredExtent(header);
    return extent > fileSize ? 0 : extent;
}

std::uint32_t bigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

void putBigEndian32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<unsigned char>(value >> shift));
}

std::optional<int> slotOf(const unsigned char* id) {
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (std::memcmp(kFrameIds[slot].data(), id, 4) == 0)
            return slot;
    }
    return std::nullopt;
}

bool isUpperAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z';
}

// The start of a tag read in one call, serving the walk's many small reads;
// a read that goes beyond it goes to the file, with the same result.
class TagStart {
public:
    TagStart(int fd, std::int64_t tagSize) : m_fd(fd) {
        constexpr std::int64_t kMaxBytes = 16 * 1024;
        m_bytes.resize(static_cast<std::size_t>(std::clamp<std::int64_t>(tagSize, 0, kMaxBytes)));
        const std::int64_t got = readAt(fd, m_bytes.data(), m_bytes.size(), 0);
        m_bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    bool readExact(void* out, std::size_t count, std::int64_t offset) const {
        if (offset >= 0 && static_cast<std::uint64_t>(offset) + count <= m_bytes.size()) {
            std::memcpy(out, m_bytes.data() + offset, count);
            return true;
        }
        return readExactAt(m_fd, out, count, offset);
    }

private:
    int m_fd;
    std::vector<unsigned char> m_bytes;
};

// Reads the values of the known frames. Each value is the frame's first 250
// bytes padded with zero bytes; a frame that cannot be read ends the walk.
void walkFrames(int fd, std::int64_t tagSize, std::int64_t fileSize, FrameValues& values) {
    const TagStart start(fd, tagSize);
    std::int64_t position = kHeaderSize;
    while (position < tagSize && position < fileSize) {
        std::array<char, kValueBufferSize> buffer{};
        unsigned char frameHeader[kFrameHeaderSize];
        if (!start.readExact(frameHeader, kFrameHeaderSize, position))
            break;
        if (!isUpperAscii(frameHeader[0]))
            break;
        const std::int64_t dataPosition = position + kFrameHeaderSize;
        const std::uint32_t frameSize = bigEndian32(frameHeader + 4);
        const std::size_t toRead = std::min<std::size_t>(frameSize, kValueBufferSize);
        if (!start.readExact(buffer.data(), toRead, dataPosition))
            break;
        if (const auto slot = slotOf(frameHeader))
            values[*slot].assign(buffer.data(), buffer.size());
        position = dataPosition + frameSize;
    }
}

// Everything up to and including the first zero byte removed, or nothing
// when there is none.
std::string afterFirstZero(std::string_view text) {
    const auto zero = text.find('\0');
    return std::string(zero == std::string_view::npos ? text : text.substr(zero + 1));
}

std::uint8_t trackFrom(const std::string& value) {
    std::string text = trimControls(value);
    if (const auto slash = text.find('/'); slash != std::string::npos)
        text.resize(slash);
    if (text.empty())
        return 0;
    const auto number = parseWholeInt32(text);
    return number ? static_cast<std::uint8_t>(*number & 0xFF) : 0;
}

std::string genreFrom(const std::string& value) {
    std::string text = trimControls(value);
    if (const auto paren = text.rfind(')'); paren != std::string::npos)
        text.erase(0, paren + 1);
    return text;
}

std::string commentFrom(const std::string& value) {
    const std::string_view text = value;
    return trimControls(afterFirstZero(text.substr(std::min<std::size_t>(4, text.size()))));
}

std::string linkFrom(const std::string& value) {
    const std::string_view text = value;
    return trimControls(afterFirstZero(text.substr(std::min<std::size_t>(1, text.size()))));
}

bool isFrameIdChar(unsigned char c) {
    return isUpperAscii(c) || (c >= '0' && c <= '9');
}

// Frames of an old revision 2.3 tag that Save does not write itself (pictures,
// lyrics, private data...), whole and in their order, so that editing a text
// field never throws them away.
bool collectOtherFrames(int fd, std::int64_t extent, Bytes& out) {
    std::int64_t position = kHeaderSize;
    while (position + kFrameHeaderSize <= extent) {
        unsigned char frameHeader[kFrameHeaderSize];
        if (!readExactAt(fd, frameHeader, kFrameHeaderSize, position))
            return false;
        if (!std::all_of(frameHeader, frameHeader + 4, isFrameIdChar) ||
            !isUpperAscii(frameHeader[0]))
            break;
        const std::int64_t frameEnd = position + kFrameHeaderSize + bigEndian32(frameHeader + 4);
        if (frameEnd > extent)
            break;
        if (!slotOf(frameHeader)) {
            const std::size_t at = out.size();
            out.resize(at + static_cast<std::size_t>(frameEnd - position));
            if (!readExactAt(fd, out.data() + at, out.size() - at, position))
                return false;
        }
        position = frameEnd;
    }
    return true;
}

// The new tag for a rebuild of the file open as `fd`: `newFrames` with the old
// revision 2.3 tag's other frames, or no tag at all when there are none.
std::optional<RebuildPlan> planTag(int fd, std::int64_t fileSize,
                                   const std::optional<Bytes>& newFrames) {
    Header header;
    if (!readExactAt(fd, header.data(), kHeaderSize, 0))
        return std::nullopt;
    const bool hadTag = isId3(header);
    if (!newFrames && !hadTag)
        return std::nullopt;
    RebuildPlan plan;
    plan.keepFrom = hadTag ? usableExtent(header, fileSize) : 0;
    if (!newFrames)
        return plan;
    Bytes frames = *newFrames;
    if (hadTag && header[3] == 3 && header[5] == 0 && plan.keepFrom > 0 &&
        !collectOtherFrames(fd, plan.keepFrom, frames))
        return std::nullopt;
    const auto size = static_cast<std::int64_t>(frames.size());
    if (size > kMaxTagSize)
        return std::nullopt;
    plan.head = {'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7)
        plan.head.push_back(static_cast<unsigned char>((size >> shift) & 0x7F));
    plan.head.insert(plan.head.end(), frames.begin(), frames.end());
    return plan;
}

bool rebuildWithTag(const std::string& fileName, const std::optional<Bytes>& newFrames) {
    return rebuildFile(
        fileName, [&](int fd, std::int64_t fileSize) { return planTag(fd, fileSize, newFrames); });
}

} // namespace

TID3v2::TID3v2() {
    Reset();
}

void TID3v2::Reset() {
    m_exists = false;
    m_versionId = 0;
    m_size = 0;
    m_title.clear();
    m_artist.clear();
    m_album.clear();
    m_track = 0;
    m_year.clear();
    m_genre.clear();
    m_comment.clear();
    m_composer.clear();
    m_encoder.clear();
    m_copyright.clear();
    m_language.clear();
    m_url.clear();
}

void TID3v2::SetTitle(std::string_view text) {
    m_title = trimControls(text);
}
void TID3v2::SetArtist(std::string_view text) {
    m_artist = trimControls(text);
}
void TID3v2::SetAlbum(std::string_view text) {
    m_album = trimControls(text);
}
void TID3v2::SetYear(std::string_view text) {
    m_year = trimControls(text);
}
void TID3v2::SetGenre(std::string_view text) {
    m_genre = trimControls(text);
}
void TID3v2::SetComment(std::string_view text) {
    m_comment = trimControls(text);
}
void TID3v2::SetComposer(std::string_view text) {
    m_composer = trimControls(text);
}
void TID3v2::SetEncoder(std::string_view text) {
    m_encoder = trimControls(text);
}
void TID3v2::SetCopyright(std::string_view text) {
    m_copyright = trimControls(text);
}
void TID3v2::SetLanguage(std::string_view text) {
    m_language = trimControls(text);
}
void TID3v2::SetURL(std::string_view text) {
    m_url = trimControls(text);
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
    Header header;
    if (!readExactAt(fd, header.data(), kHeaderSize, 0))
        return false;
    if (fileSize < 0)
        return false;
    if (!isId3(header))
        return true;

    m_exists = true;
    m_versionId = header[3];
    // The extent is at most 2^28 + 10 bytes, which always fits.
    m_size = static_cast<std::int32_t>(usableExtent(header, fileSize));
    if (m_versionId != 3 || m_size == 0)
        return true;

    FrameValues values;
    walkFrames(fd, m_size, fileSize, values);
    m_title = trimControls(values[SlotTitle]);
    m_artist = trimControls(values[SlotArtist]);
    m_album = trimControls(values[SlotAlbum]);
    m_track = trackFrom(values[SlotTrack]);
    m_year = trimControls(values[SlotYear]);
    m_genre = genreFrom(values[SlotGenre]);
    m_comment = commentFrom(values[SlotComment]);
    m_composer = trimControls(values[SlotComposer]);
    m_encoder = trimControls(values[SlotEncoder]);
    m_copyright = trimControls(values[SlotCopyright]);
    m_language = trimControls(values[SlotLanguage]);
    m_url = linkFrom(values[SlotURL]);
    return true;
}

bool TID3v2::Save(const std::string& fileName) const {
    FrameValues values;
    values[SlotTitle] = m_title;
    values[SlotArtist] = m_artist;
    values[SlotAlbum] = m_album;
    values[SlotTrack] = m_track != 0 ? std::to_string(m_track) : std::string();
    values[SlotYear] = m_year;
    values[SlotGenre] = m_genre;
    values[SlotComment] = m_comment.empty() ? std::string() : std::string("eng\0", 4) + m_comment;
    values[SlotComposer] = m_composer;
    values[SlotEncoder] = m_encoder;
    values[SlotCopyright] = m_copyright;
    values[SlotLanguage] = m_language;
    values[SlotURL] = m_url.empty() ? std::string() : std::string(1, '\0') + m_url;

    Bytes frames;
    for (int slot = 0; slot < SlotCount; ++slot) {
        const std::string& value = values[slot];
        if (value.empty())
            continue;
        if (value.size() >= 0xFFFFFFFFu)
            return false;
        frames.insert(frames.end(), kFrameIds[slot].begin(), kFrameIds[slot].end());
        putBigEndian32(frames, static_cast<std::uint32_t>(value.size() + 1));
        frames.push_back(0x00); // flags
        frames.push_back(0x00);
        frames.push_back(0x00); // text encoding
        frames.insert(frames.end(), value.begin(), value.end());
    }
    return rebuildWithTag(fileName, frames);
}

bool TID3v2::Strip(const std::string& fileName) const {
    return rebuildWithTag(fileName, std::nullopt);
}
