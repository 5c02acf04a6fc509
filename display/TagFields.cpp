#include "display/TagFields.h"

#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/TagText.h"

namespace {

std::string numberText(std::uint32_t value) {
    return value != 0 ? std::to_string(value) : std::string();
}

// The whole text as a number; anything that is not a number in full is none.
std::int32_t typedNumber(const std::string& text) {
    return parseWholeInt32(text).value_or(0);
}

// ID3v1 text setters are handed at most 255 characters; they trim, then cut.
std::string shortText(const std::string& text) {
    std::string out;
    int characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) != 0x80 && ++characters > 255)
            break;
        out += text[i];
    }
    return out;
}

template <void (TID3v1::*Set)(std::string_view)>
bool setShort(TID3v1& tag, const std::string& text) {
    (tag.*Set)(shortText(text));
    return true;
}

template <void (TID3v2::*Set)(std::string_view)>
bool setText(TID3v2& tag, const std::string& text) {
    (tag.*Set)(text);
    return true;
}

} // namespace

std::uint8_t genreIdOf(const std::string& name) {
    if (!name.empty()) {
        for (int i = 0; i < GenreCount; ++i) {
            if (GenreNames[i] == name)
                return static_cast<std::uint8_t>(i);
        }
    }
    return 255;
}

const std::vector<TagField<TID3v1>>& ID3v1Fields() {
    using T = TID3v1;
    static const std::vector<TagField<T>> fields = {
        {"title", "iID3v1_Title", "Title", FieldKind::Text, [](const T& t) { return t.Title(); },
         setShort<&T::SetTitle>},
        {"artist", "iID3v1_Artist", "Artist", FieldKind::Text,
         [](const T& t) { return t.Artist(); }, setShort<&T::SetArtist>},
        {"album", "iID3v1_Album", "Album", FieldKind::Text, [](const T& t) { return t.Album(); },
         setShort<&T::SetAlbum>},
        {"track", "iID3v1_Track", "Tr.", FieldKind::Number,
         [](const T& t) { return numberText(t.Track()); },
         [](T& t, const std::string& text) {
             const std::int32_t track = typedNumber(text);
             if (track < 0 || track > 255)
                 return false;
             t.SetTrack(static_cast<std::uint8_t>(track));
             return true;
         },
         [](const T& t) { return std::uint32_t{t.Track()}; }},
        {"year", "iID3v1_Year", "Yr.", FieldKind::Text, [](const T& t) { return t.Year(); },
         setShort<&T::SetYear>},
        {"genre", "iID3v1_Genre", "Genre", FieldKind::Genre, [](const T& t) { return t.Genre(); },
         [](T& t, const std::string& text) {
             t.SetGenreId(genreIdOf(text));
             return true;
         }},
        {"comment", "iID3v1_Comment", "Comment", FieldKind::Text,
         [](const T& t) { return t.Comment(); }, setShort<&T::SetComment>},
    };
    return fields;
}

const std::vector<TagField<TID3v2>>& ID3v2Fields() {
    using T = TID3v2;
    static const std::vector<TagField<T>> fields = {
        {"title", "iID3v2_Title", "Title", FieldKind::Text, [](const T& t) { return t.Title(); },
         setText<&T::SetTitle>},
        {"artist", "iID3v2_Artist", "Artist", FieldKind::Text,
         [](const T& t) { return t.Artist(); }, setText<&T::SetArtist>},
        {"album", "iID3v2_Album", "Album", FieldKind::Text, [](const T& t) { return t.Album(); },
         setText<&T::SetAlbum>},
        {"track", "iID3v2_Track", "Tr.", FieldKind::Number,
         [](const T& t) { return numberText(t.Track()); },
         [](T& t, const std::string& text) {
             const std::int32_t track = typedNumber(text);
             if (track < 0)
                 return false;
             t.SetTrack(static_cast<std::uint32_t>(track));
             return true;
         },
         [](const T& t) { return t.Track(); }},
        {"year", "iID3v2_Year", "Yr.", FieldKind::Text, [](const T& t) { return t.Year(); },
         setText<&T::SetYear>},
        {"genre", "iID3v2_Genre", "Genre", FieldKind::Genre, [](const T& t) { return t.Genre(); },
         setText<&T::SetGenre>},
        {"comment", "iID3v2_Comment", "Comment", FieldKind::Text,
         [](const T& t) { return t.Comment(); }, setText<&T::SetComment>},
        {"composer", "iID3v2_Composer", "Composer", FieldKind::Text,
         [](const T& t) { return t.Composer(); }, setText<&T::SetComposer>},
        {"copyright", "iID3v2_Copyright", " ( c ) ", FieldKind::Text,
         [](const T& t) { return t.Copyright(); }, setText<&T::SetCopyright>},
        {"encoder", "iID3v2_Encoder", "Encoder", FieldKind::Text,
         [](const T& t) { return t.Encoder(); }, setText<&T::SetEncoder>},
        {"language", "iID3v2_Language", "Language", FieldKind::Text,
         [](const T& t) { return t.Language(); }, setText<&T::SetLanguage>},
        {"url", "iID3v2_URL", "URL", FieldKind::Link, [](const T& t) { return t.URL(); },
         setText<&T::SetURL>},
    };
    return fields;
}
