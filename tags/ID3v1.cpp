#include "tags/ID3v1.h"

#include "tags/FileAccess.h"
#include "tags/FileRebuild.h"
#include "tags/Journal.h"
#include "tags/TagText.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

// clang-format off
const std::array<std::string_view, GenreCount> GenreNames = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop",
    "Jazz", "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap",
    "Reggae", "Rock", "Techno", "Industrial", "Alternative", "Ska", "Death Metal", "Pranks",
    "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance",
    "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise",
    "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",
    "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic",
    "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40",
    "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave",
    "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz",
    "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    // Extension of the list, from index 80 on.
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival",
    "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progessive Rock", "Psychedelic Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour",
    "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad",
    "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo", "A capella",
    "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror",
    "Indie", "BritPop", "Negerpunk", "Polsk Punk", "Beat", "Christian Gangsta Rap",
    "Heavy Metal", "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock",
    "Merengue", "Salsa", "Trash Metal", "Anime", "JPop", "Synthpop",
};
// clang-format on

namespace {

constexpr int kTagSize = 128;
using TagBlock = std::array<unsigned char, kTagSize>;

// Slot offsets and widths inside the 128 bytes.
constexpr int kTitleAt = 3, kArtistAt = 33, kAlbumAt = 63, kYearAt = 93, kCommentAt = 97;
constexpr int kTextWidth = 30, kYearWidth = 4, kShortCommentWidth = 28;
constexpr int kTrackMarkerAt = 125, kTrackAt = 126, kGenreAt = 127;

bool startsWithTag(const TagBlock& block) {
    return std::memcmp(block.data(), "TAG", 3) == 0;
}

// The last 128 bytes of an open file, with the file's size; for a write, so
// a failure records why.
bool readLast128Bytes(int fd, TagBlock& block, std::int64_t& fileSize) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return writeFailed();
    if (st.st_size < kTagSize)
        return writeFailed("the file is too short to hold a tag");
    fileSize = st.st_size;
    const std::int64_t n = readAt(fd, block.data(), kTagSize, fileSize - kTagSize);
    if (n < 0)
        return writeFailed();
    return n == kTagSize || writeFailed(kFileChanged);
}

bool readLast128Bytes(const std::string& fileName, TagBlock& block, std::int64_t& fileSize) {
    FileHandle file;
    return openRegularFile(fileName, O_RDONLY, file) &&
           readLast128Bytes(file.fd(), block, fileSize);
}

// Opens the file for a write in place and locks it. Another writer's rebuild
// may have put its new file under the name between the open and the lock: the
// file is then opened again, so the write goes where the name leads.
bool openAndLock(const std::string& fileName, FileHandle& file) {
    for (int attempt = 1;; ++attempt) {
        if (!openForWritingInPlace(fileName, file) || !lockForWriting(file.fd()))
            return false;
        reachWriteStep(WriteStep::Locked);
        if (isStillNamed(fileName, file.fd()))
            return true;
        file.close();
        if (lastWriteError() != kFileChanged || attempt == 3)
            return false;
        clearWriteError();
    }
}

// A change of the file that waits in an open batch is written before the file
// is opened here, so that this write sees it and takes the lock.
void commitIfWaiting(const std::string& fileName) {
    WriteBatch* batch = WriteBatch::current();
    struct stat st;
    if (batch && ::stat(fileName.c_str(), &st) == 0)
        batch->commitIfWaiting(std::uint64_t(st.st_dev), std::uint64_t(st.st_ino));
}

// The folder that holds `fileName`, where a save killed midway may have left
// its new content.
std::string folderOf(const std::string& fileName) {
    const auto slash = fileName.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : fileName.substr(0, slash);
}

std::string slotText(const TagBlock& block, int at, int width) {
    return trimRightControls(
        std::string_view(reinterpret_cast<const char*>(block.data()) + at, width));
}

std::string cleaned(std::string_view text, std::size_t width) {
    std::string value = trimRightControls(utf8ToWindows1252(text));
    if (value.size() > width)
        value.resize(width);
    return value;
}

std::uint8_t revisionOf(const TagBlock& block) {
    const auto marker = block[kTrackMarkerAt];
    const auto track = block[kTrackAt];
    if (marker == 0x00 && track != 0x00)
        return 2;
    if (marker == 0x20 && track != 0x20)
        return 2;
    return 1;
}

} // namespace

TID3v1::TID3v1() {
    Reset();
}

void TID3v1::Reset() {
    m_exists = false;
    m_versionId = 1;
    m_title.clear();
    m_artist.clear();
    m_album.clear();
    m_year.clear();
    m_comment.clear();
    m_track = 0;
    m_genreId = 255;
}

std::string TID3v1::Genre() const {
    return m_genreId < GenreCount ? std::string(GenreNames[m_genreId]) : std::string();
}

std::string TID3v1::Title() const {
    return windows1252ToUtf8(m_title);
}
std::string TID3v1::Artist() const {
    return windows1252ToUtf8(m_artist);
}
std::string TID3v1::Album() const {
    return windows1252ToUtf8(m_album);
}
std::string TID3v1::Year() const {
    return windows1252ToUtf8(m_year);
}
std::string TID3v1::Comment() const {
    return windows1252ToUtf8(m_comment);
}

void TID3v1::SetTitle(std::string_view text) {
    m_title = cleaned(text, kTextWidth);
}
void TID3v1::SetArtist(std::string_view text) {
    m_artist = cleaned(text, kTextWidth);
}
void TID3v1::SetAlbum(std::string_view text) {
    m_album = cleaned(text, kTextWidth);
}
void TID3v1::SetYear(std::string_view text) {
    m_year = cleaned(text, kYearWidth);
}
void TID3v1::SetComment(std::string_view text) {
    m_comment = cleaned(text, kTextWidth);
}

bool TID3v1::Load(const std::string& fileName) {
    FileHandle file;
    std::int64_t fileSize = -1;
    if (!file.openForReading(fileName, &fileSize)) {
        Reset();
        return false;
    }
    return LoadFrom(file.fd(), fileSize);
}

bool TID3v1::LoadFrom(int fd, std::int64_t fileSize) {
    Reset();
    TagBlock block;
    if (fileSize < kTagSize || !readExactAt(fd, block.data(), kTagSize, fileSize - kTagSize))
        return false;
    if (!startsWithTag(block))
        return true;

    m_exists = true;
    m_versionId = revisionOf(block);
    m_title = slotText(block, kTitleAt, kTextWidth);
    m_artist = slotText(block, kArtistAt, kTextWidth);
    m_album = slotText(block, kAlbumAt, kTextWidth);
    m_year = slotText(block, kYearAt, kYearWidth);
    if (m_versionId == 1) {
        m_comment = slotText(block, kCommentAt, kTextWidth);
    } else {
        m_comment = slotText(block, kCommentAt, kShortCommentWidth);
        m_track = block[kTrackAt];
    }
    m_genreId = block[kGenreAt];
    return true;
}

bool TID3v1::Strip(const std::string& fileName) const {
    replayBeforeSave();
    clearWriteError();
    commitIfWaiting(fileName);
    TagBlock block;
    std::int64_t fileSize = 0;
    if (!readLast128Bytes(fileName, block, fileSize))
        return false;
    if (!startsWithTag(block))
        return true;

    FileHandle file;
    if (!openAndLock(fileName, file))
        return false;
    removeDeadLeftovers(folderOf(fileName));
    // Check again on the handle that writes, so a file changed meanwhile is
    // never cut where it has no tag.
    if (!readLast128Bytes(file.fd(), block, fileSize))
        return false;
    if (!startsWithTag(block))
        return writeFailed(kFileChanged);
    if (::ftruncate(file.fd(), static_cast<off_t>(fileSize - kTagSize)) != 0)
        return writeFailed();
    reachWriteStep(WriteStep::Written);
    return file.close() || writeFailed();
}

bool TID3v1::Save(const std::string& fileName) const {
    replayBeforeSave();
    clearWriteError();
    commitIfWaiting(fileName);
    TagBlock block{};
    std::memcpy(block.data(), "TAG", 3);
    auto put = [&](const std::string& text, int at) {
        std::memcpy(block.data() + at, text.data(), text.size());
    };
    put(m_title, kTitleAt);
    put(m_artist, kArtistAt);
    put(m_album, kAlbumAt);
    put(m_year, kYearAt);
    put(m_comment, kCommentAt);
    if (m_track != 0) {
        block[kTrackMarkerAt] = 0x00;
        block[kTrackAt] = m_track;
    }
    block[kGenreAt] = m_genreId;

    TagBlock old;
    std::int64_t fileSize = 0;
    if (!readLast128Bytes(fileName, old, fileSize))
        return false;

    FileHandle file;
    if (!openAndLock(fileName, file))
        return false;
    removeDeadLeftovers(folderOf(fileName));
    if (!readLast128Bytes(file.fd(), old, fileSize))
        return false;

    // The 128 bytes go under the journal, so that a crash cannot tear them.
    if (!journalFolder().empty()) {
        InPlaceChange change;
        change.file = std::move(file);
        if (!describeFile(change, fileName))
            return false;
        const bool replace = startsWithTag(old);
        if (replace && old == block)
            return true;
        change.offset = replace ? fileSize - kTagSize : fileSize;
        change.oldLength = replace ? kTagSize : 0;
        change.newSize = replace ? fileSize : fileSize + kTagSize;
        change.pieces.push_back({NewPiece::Kind::Bytes, {block.begin(), block.end()}, 0, 0});
        return writeInPlace(std::move(change));
    }
    // Without a journal an existing tag is overwritten in place: the file is
    // never without one.
    if (startsWithTag(old)) {
        if (!writeAllAt(file.fd(), block.data(), kTagSize, fileSize - kTagSize)) {
            writeFailed();
            // Put back the part of the new tag written before the disk filled:
            // the same bytes, so no more space is needed.
            [[maybe_unused]] const bool undone =
                writeAllAt(file.fd(), old.data(), kTagSize, fileSize - kTagSize);
            return false;
        }
        reachWriteStep(WriteStep::Written);
        return file.close() || writeFailed();
    }
    if (!writeAllAt(file.fd(), block.data(), kTagSize, fileSize)) {
        writeFailed();
        // Take back a partial append (a full disk), so the audio ends where it did.
        [[maybe_unused]] const int undone = ::ftruncate(file.fd(), static_cast<off_t>(fileSize));
        return false;
    }
    reachWriteStep(WriteStep::Written);
    return file.close() || writeFailed();
}

} // namespace quillon
