// The ID3v2 tag at the start of a file: the text fields of revisions 2.2, 2.3
// and 2.4 are read, any major version is recognised. A save changes only the
// fields that differ from what Load gave and keeps every other frame; the tag
// keeps its revision (2.2, or no tag, becomes 2.3). Writing and removing
// rebuild the file through a temporary copy beside it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

class TID3v2 {
public:
    TID3v2();

    void Reset();

    bool Exists() const { return m_exists; }
    std::uint8_t VersionId() const { return m_versionId; }
    // Extent of the tag with its 10 header bytes (and a 2.4 footer); 0 without
    // a tag, or when the declared size does not fit in the file.
    std::int32_t Size() const { return m_size; }
    // Text is UTF-8.
    const std::string& Title() const { return text(TextField::Title); }
    const std::string& Artist() const { return text(TextField::Artist); }
    const std::string& Album() const { return text(TextField::Album); }
    std::uint32_t Track() const { return m_fields.track; }
    // The total after the track's "/"; 0 when there is none.
    std::uint32_t TrackTotal() const { return m_fields.trackTotal; }
    const std::string& Year() const { return text(TextField::Year); }
    const std::string& Genre() const { return text(TextField::Genre); }
    const std::string& Comment() const { return text(TextField::Comment); }
    const std::string& Composer() const { return text(TextField::Composer); }
    const std::string& Encoder() const { return text(TextField::Encoder); }
    const std::string& Copyright() const { return text(TextField::Copyright); }
    const std::string& Language() const { return text(TextField::Language); }
    const std::string& URL() const { return text(TextField::URL); }

    // Text setters drop leading and trailing characters up to U+0020.
    void SetTitle(std::string_view text) { setText(TextField::Title, text); }
    void SetArtist(std::string_view text) { setText(TextField::Artist, text); }
    void SetAlbum(std::string_view text) { setText(TextField::Album, text); }
    void SetTrack(std::uint32_t track) { m_fields.track = track; }
    // A save writes "n/total" when both are set; without a total, a text
    // after the "/" that is no number stays while the total is left alone.
    void SetTrackTotal(std::uint32_t total) { m_fields.trackTotal = total; }
    void SetYear(std::string_view text) { setText(TextField::Year, text); }
    void SetGenre(std::string_view text) { setText(TextField::Genre, text); }
    void SetComment(std::string_view text) { setText(TextField::Comment, text); }
    void SetComposer(std::string_view text) { setText(TextField::Composer, text); }
    void SetEncoder(std::string_view text) { setText(TextField::Encoder, text); }
    void SetCopyright(std::string_view text) { setText(TextField::Copyright, text); }
    void SetLanguage(std::string_view text) { setText(TextField::Language, text); }
    void SetURL(std::string_view text) { setText(TextField::URL, text); }

    // These never throw and close every file they open. Save and Strip leave
    // the fields alone; call Load afterwards to see what the file holds. A
    // failed Save or Strip leaves the file's content byte for byte as it was.
    bool Load(const std::string& fileName);
    // Load from a file already open for reading, of `fileSize` bytes; the
    // analysis of a file reads both tags and the stream through one handle.
    bool LoadFrom(int fd, std::int64_t fileSize);
    bool Save(const std::string& fileName) const;
    bool Strip(const std::string& fileName) const;

    // The text fields, in the order their frames are added to a new tag.
    enum class TextField {
        Title,
        Artist,
        Album,
        Year,
        Genre,
        Comment,
        Composer,
        Encoder,
        Copyright,
        Language,
        URL,
    };
    static constexpr int TextFieldCount = 11;
    struct Fields {
        std::array<std::string, TextFieldCount> text;
        std::uint32_t track = 0;
        std::uint32_t trackTotal = 0;
        const std::string& operator[](TextField field) const { return text[int(field)]; }
        std::string& operator[](TextField field) { return text[int(field)]; }
        bool operator==(const Fields&) const = default;
    };

private:
    const std::string& text(TextField field) const { return m_fields[field]; }
    void setText(TextField field, std::string_view text);

    bool m_exists;
    std::uint8_t m_versionId;
    std::int32_t m_size;
    Fields m_fields;
    // What Load gave: a save rewrites only the fields that differ from it.
    Fields m_loaded;
};

} // namespace quillon
