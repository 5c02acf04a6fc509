// The ID3v2 tag at the start of a file: the text fields, pictures and lyrics
// of revisions 2.2, 2.3 and 2.4 are read, and every other frame is listed;
// any major version is recognised. A save changes only the fields that differ
// from what Load gave and keeps every other frame; the tag keeps its revision
// (2.2, or no tag, becomes 2.3) unless a conversion to the other of 2.3 and
// 2.4 is asked for. Writing and removing rebuild the file through a temporary
// copy beside it.
#pragma once

#include "tags/PictureInfo.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// An attached picture (APIC; PIC in 2.2).
struct TPicture {
    std::uint8_t type = 3;   // the picture type, 3 = front cover (see pictureTypeName)
    std::string mime;        // "image/jpeg", "image/png"; 2.2's "JPG"/"PNG" read as those
    std::string description; // UTF-8
    std::string data;        // the image bytes
    bool operator==(const TPicture&) const = default;
};

// Unsynchronised lyrics (USLT).
struct TLyrics {
    std::string language = "eng";
    std::string description; // UTF-8
    std::string text;        // UTF-8
    bool operator==(const TLyrics&) const = default;
};

// A frame of the tag as a list shows it.
struct TOtherFrame {
    std::string id;   // as stored: "TXXX", "POPM", "APIC" (2.2: "PIC")...
    std::string name; // the common name: "User text", "Popularimeter"... (see frameName)
    // TXXX/WXXX/COMM/USLT/APIC description, POPM e-mail, PRIV/UFID owner;
    // else empty.
    std::string description;
    enum class Kind { Text, Link, Lyrics, Picture, Binary } kind = Kind::Binary;
    // The text, the URL, or the first line of lyrics; empty for Picture and
    // Binary.
    std::string text;
    std::uint32_t size = 0; // bytes of the frame's content (Picture: of the image)
    std::string mime;       // pictures only
    PictureSize pixels;     // pictures only
};

// The common name of a 2.2, 2.3 or 2.4 frame id; empty for an unknown one.
std::string_view frameName(std::string_view id);

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
    const std::string& AlbumArtist() const { return text(TextField::AlbumArtist); }
    // "n" or "n/total".
    const std::string& Disc() const { return text(TextField::Disc); }
    // The track as the frame holds it ("3/12", "03"), or as a save would
    // write it once Track or TrackTotal changed.
    std::string TrackText() const;

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
    void SetAlbumArtist(std::string_view text) { setText(TextField::AlbumArtist, text); }
    void SetDisc(std::string_view text) { setText(TextField::Disc, text); }
    // Track and TrackTotal from "n" or "n/total"; anything else sets both to 0.
    void SetTrackText(std::string_view text);

    // In tag order. A save replaces the picture frames these came from when
    // the list differs from what Load gave; pictures it cannot read (a
    // compressed frame, a broken one) stay as they are.
    const std::vector<TPicture>& Pictures() const { return m_pictures; }
    void SetPictures(std::vector<TPicture> pictures) { m_pictures = std::move(pictures); }

    // The USLT frame without a description, else the last one. A save with
    // an empty text removes that frame.
    const TLyrics& Lyrics() const { return m_fields.lyrics; }
    void SetLyrics(TLyrics lyrics) { m_fields.lyrics = std::move(lyrics); }

    // Every frame of the tag that no text field shows, pictures and lyrics
    // included, in tag order, as Load found them.
    const std::vector<TOtherFrame>& OtherFrames() const { return m_otherFrames; }

    // The frames of this tag that revision `major` (3 or 4) cannot hold and a
    // conversion to it would drop, each as its id and a short reason ("TRDA:
    // no counterpart in 2.4"); empty when nothing is lost.
    std::vector<std::string> ConversionLosses(int major) const;
    // The next Save writes the whole tag as revision `major` (3 or 4), its
    // frames mapped to their counterparts there. Other values cancel it.
    void ConvertTo(int major);
    // The revision a conversion is pending to, 0 for none.
    int PendingConversion() const { return m_convertTo; }

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
        AlbumArtist,
        Disc,
    };
    static constexpr int TextFieldCount = 13;
    struct Fields {
        std::array<std::string, TextFieldCount> text;
        std::uint32_t track = 0;
        std::uint32_t trackTotal = 0;
        TLyrics lyrics;
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
    std::string m_loadedTrackText;
    std::vector<TPicture> m_pictures;
    std::vector<TPicture> m_loadedPictures;
    std::vector<TOtherFrame> m_otherFrames;
    // What a conversion to 2.3 and to 2.4 would drop.
    std::array<std::vector<std::string>, 2> m_losses;
    int m_convertTo = 0;
};

} // namespace quillon
