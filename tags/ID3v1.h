// The ID3v1 tag in the last 128 bytes of a file (revisions 1.0 and 1.1) and
// the genre table that its genre byte indexes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

inline constexpr int GenreCount = 148;
extern const std::array<std::string_view, GenreCount> GenreNames;

class TID3v1 {
public:
    TID3v1();

    void Reset();

    bool Exists() const { return m_exists; }
    std::uint8_t VersionId() const { return m_versionId; }
    // Text is UTF-8; the tag holds it in Windows-1252.
    std::string Title() const;
    std::string Artist() const;
    std::string Album() const;
    std::string Year() const;
    std::string Comment() const;
    std::uint8_t Track() const { return m_track; }
    std::uint8_t GenreId() const { return m_genreId; }
    // The genre's name, or empty for an index outside the table.
    std::string Genre() const;

    // Text setters store the text in Windows-1252 ("?" for a character it
    // cannot hold), drop trailing bytes of value 0x20 or below, then cut the
    // text to the width of its slot (30 bytes, 4 for the year).
    void SetTitle(std::string_view text);
    void SetArtist(std::string_view text);
    void SetAlbum(std::string_view text);
    void SetYear(std::string_view text);
    void SetComment(std::string_view text);
    void SetTrack(std::uint8_t track) { m_track = track; }
    void SetGenreId(std::uint8_t genreId) { m_genreId = genreId; }

    // These never throw and close every file they open. Save and Strip leave
    // the fields alone; call Load afterwards to see what the file holds.
    bool Load(const std::string& fileName);
    // Load from a file already open for reading, of `fileSize` bytes; the
    // analysis of a file reads both tags and the stream through one handle.
    bool LoadFrom(int fd, std::int64_t fileSize);
    bool Save(const std::string& fileName) const;
    bool Strip(const std::string& fileName) const;

private:
    // Windows-1252 bytes, as in the file.
    bool m_exists;
    std::uint8_t m_versionId;
    std::string m_title;
    std::string m_artist;
    std::string m_album;
    std::string m_year;
    std::string m_comment;
    std::uint8_t m_track;
    std::uint8_t m_genreId;
};

} // namespace quillon
