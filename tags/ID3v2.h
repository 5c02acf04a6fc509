// The ID3v2 tag at the start of a file: revision 2.3 text frames are read,
// any major version is recognised, and revision 2.3 is always written. Writing
// and removing rebuild the file through a temporary copy named after it + "~".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TID3v2 {
public:
    TID3v2();

    void Reset();

    bool Exists() const { return m_exists; }
    std::uint8_t VersionId() const { return m_versionId; }
    // Extent of the tag with its 10 header bytes; 0 without a tag, or when
    // the declared size does not fit in the file.
    std::int32_t Size() const { return m_size; }
    const std::string& Title() const { return m_title; }
    const std::string& Artist() const { return m_artist; }
    const std::string& Album() const { return m_album; }
    std::uint8_t Track() const { return m_track; }
    const std::string& Year() const { return m_year; }
    const std::string& Genre() const { return m_genre; }
    const std::string& Comment() const { return m_comment; }
    const std::string& Composer() const { return m_composer; }
    const std::string& Encoder() const { return m_encoder; }
    const std::string& Copyright() const { return m_copyright; }
    const std::string& Language() const { return m_language; }
    const std::string& URL() const { return m_url; }

    // Text setters drop leading and trailing bytes of value 0x20 or below.
    void SetTitle(std::string_view text);
    void SetArtist(std::string_view text);
    void SetAlbum(std::string_view text);
    void SetTrack(std::uint8_t track) { m_track = track; }
    void SetYear(std::string_view text);
    void SetGenre(std::string_view text);
    void SetComment(std::string_view text);
    void SetComposer(std::string_view text);
    void SetEncoder(std::string_view text);
    void SetCopyright(std::string_view text);
    void SetLanguage(std::string_view text);
    void SetURL(std::string_view text);

    // These never throw and close every file they open. Save and Strip leave
    // the fields alone; call Load afterwards to see what the file holds. A
    // failed Save or Strip leaves the file's content byte for byte as it was.
    bool Load(const std::string& fileName);
    // Load from a file already open for reading, of `fileSize` bytes; the
    // analysis of a file reads both tags and the stream through one handle.
    bool LoadFrom(int fd, std::int64_t fileSize);
    bool Save(const std::string& fileName) const;
    bool Strip(const std::string& fileName) const;

private:
    bool m_exists;
    std::uint8_t m_versionId;
    std::int32_t m_size;
    std::string m_title;
    std::string m_artist;
    std::string m_album;
    std::uint8_t m_track;
    std::string m_year;
    std::string m_genre;
    std::string m_comment;
    std::string m_composer;
    std::string m_encoder;
    std::string m_copyright;
    std::string m_language;
    std::string m_url;
};
