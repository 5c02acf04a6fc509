#include "display/TagFields.h"

#include "display/BandRows.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/TagText.h"

#include <algorithm>

namespace quillon {

namespace {

std::string numberText(std::uint32_t value) {
    return value != 0 ? std::to_string(value) : std::string();
}

// Decimal digits, at most `max`; nothing for anything else.
std::optional<std::uint32_t> digitsUpTo(std::string_view text, std::uint32_t max) {
    if (text.empty())
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const auto digit = static_cast<std::uint32_t>(c - '0');
        if (value > (max - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// A typed track: "" (none), "n", or "n/total" with both at least 1.
struct TypedTrack {
    std::uint32_t number = 0;
    std::optional<std::uint32_t> total;
};

constexpr std::uint32_t kMaxTrack = 2147483647; // what other taggers read as a signed int

std::optional<TypedTrack> typedTrack(std::string_view text, std::uint32_t maxNumber) {
    if (text.empty())
        return TypedTrack{};
    const auto slash = text.find('/');
    const auto number = digitsUpTo(text.substr(0, slash), maxNumber);
    if (!number)
        return std::nullopt;
    if (slash == std::string_view::npos)
        return TypedTrack{*number, std::nullopt};
    const auto total = digitsUpTo(text.substr(slash + 1), kMaxTrack);
    if (*number == 0 || !total || *total == 0)
        return std::nullopt;
    return TypedTrack{*number, total};
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

bool sameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// An ID3v1 genre byte from typed text: a name of the table in any letter case,
// or the byte itself as a number; empty is none. Nothing for anything else.
std::optional<std::uint8_t> typedGenre(std::string_view text) {
    if (text.empty())
        return 255;
    if (const auto number = digitsUpTo(text, 255))
        return static_cast<std::uint8_t>(*number);
    for (int i = 0; i < GenreCount; ++i) {
        if (sameLetters(GenreNames[i], text))
            return static_cast<std::uint8_t>(i);
    }
    return std::nullopt;
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

// How a field is read from and written to the tag object; the rest of it is its row's.
template <class Tag> struct FieldAccess {
    std::string_view key;
    std::string (*get)(const Tag& tag);
    bool (*store)(Tag& tag, const std::string& text);
    std::uint32_t (*number)(const Tag& tag) = nullptr;
    std::string_view accepts = "text";
};

FieldKind fieldKindOf(RowKind kind) {
    switch (kind) {
    case RowKind::Number:
        return FieldKind::Number;
    case RowKind::Genre:
        return FieldKind::Genre;
    case RowKind::Link:
        return FieldKind::Link;
    case RowKind::Text:
    case RowKind::Check:
    case RowKind::LongText:
    case RowKind::Composite:
        break;
    }
    return FieldKind::Text;
}

// The band's rows that show a field of the tag, in the order the band shows them.
template <class Tag>
std::vector<TagField<Tag>> fieldsOf(const BandLayout& band,
                                    const std::vector<FieldAccess<Tag>>& accesses) {
    std::vector<TagField<Tag>> fields;
    for (const BandRow* row : displayOrder(band)) {
        const auto access = std::find_if(accesses.begin(), accesses.end(),
                                         [&](const auto& a) { return a.key == row->field; });
        if (row->field.empty() || access == accesses.end())
            continue;
        fields.push_back({row->field, row->name, row->caption, fieldKindOf(row->kind), access->get,
                          access->store, access->number, access->accepts});
    }
    return fields;
}

} // namespace

const std::vector<TagField<TID3v1>>& ID3v1Fields() {
    using T = TID3v1;
    static const std::vector<TagField<T>> fields = fieldsOf<T>(
        ID3v1Band(),
        {
            {"title", [](const T& t) { return t.Title(); }, setShort<&T::SetTitle>},
            {"artist", [](const T& t) { return t.Artist(); }, setShort<&T::SetArtist>},
            {"album", [](const T& t) { return t.Album(); }, setShort<&T::SetAlbum>},
            {"track", [](const T& t) { return numberText(t.Track()); },
             [](T& t, const std::string& text) {
                 // The tag has no room for the total.
                 const auto track = typedTrack(text, 255);
                 if (!track)
                     return false;
                 t.SetTrack(static_cast<std::uint8_t>(track->number));
                 return true;
             },
             [](const T& t) { return std::uint32_t{t.Track()}; },
             "a number from 0 to 255 or n/total"},
            {"year", [](const T& t) { return t.Year(); }, setShort<&T::SetYear>},
            {"genre", [](const T& t) { return t.Genre(); },
             [](T& t, const std::string& text) {
                 const auto genre = typedGenre(text);
                 if (!genre)
                     return false;
                 t.SetGenreId(*genre);
                 return true;
             },
             nullptr, "a genre name or a number from 0 to 255"},
            {"comment", [](const T& t) { return t.Comment(); }, setShort<&T::SetComment>},
        });
    return fields;
}

std::optional<std::string> id3v1StoredAs(const TagField<TID3v1>& field, const std::string& typed,
                                         std::uint8_t track) {
    if (field.kind == FieldKind::Genre)
        return std::nullopt;
    TID3v1 scratch;
    if (!field.store(scratch, typed))
        return std::nullopt;
    std::string stored = field.get(scratch);
    if (field.key == "comment" && track != 0) {
        // What a load of the saved tag gives: 28 characters, trimmed.
        const std::string bytes = utf8ToWindows1252(stored);
        stored = windows1252ToUtf8(trimRightControls(std::string_view(bytes).substr(0, 28)));
    }
    // A number is stored as its value ("05" is 5); only a total is lost.
    const bool differs = field.kind == FieldKind::Number ? typed.find('/') != std::string::npos
                                                         : stored != trimRightControls(typed);
    return differs ? std::optional(std::move(stored)) : std::nullopt;
}

const std::vector<TagField<TID3v2>>& ID3v2Fields() {
    using T = TID3v2;
    static const std::vector<TagField<T>> fields = fieldsOf<T>(
        ID3v2Band(),
        {
            {"title", [](const T& t) { return t.Title(); }, setText<&T::SetTitle>},
            {"artist", [](const T& t) { return t.Artist(); }, setText<&T::SetArtist>},
            {"album", [](const T& t) { return t.Album(); }, setText<&T::SetAlbum>},
            // Shown whole, as the tag writes it ("03", "3/12").
            {"track", [](const T& t) { return t.TrackText(); },
             [](T& t, const std::string& text) {
                 if (!typedTrack(text, kMaxTrack))
                     return false;
                 t.SetTrackText(text);
                 return true;
             },
             [](const T& t) { return t.Track(); }, "a number n or n/total"},
            {"albumartist", [](const T& t) { return t.AlbumArtist(); },
             setText<&T::SetAlbumArtist>},
            {"disc", [](const T& t) { return t.Disc(); },
             [](T& t, const std::string& text) {
                 if (!typedTrack(text, kMaxTrack))
                     return false;
                 t.SetDisc(text);
                 return true;
             },
             nullptr, "a number n or n/total"},
            {"year", [](const T& t) { return t.Year(); }, setText<&T::SetYear>},
            {"genre", [](const T& t) { return t.Genre(); }, setText<&T::SetGenre>},
            {"comment", [](const T& t) { return t.Comment(); }, setText<&T::SetComment>},
            {"composer", [](const T& t) { return t.Composer(); }, setText<&T::SetComposer>},
            {"copyright", [](const T& t) { return t.Copyright(); }, setText<&T::SetCopyright>},
            {"encoder", [](const T& t) { return t.Encoder(); }, setText<&T::SetEncoder>},
            {"language", [](const T& t) { return t.Language(); }, setText<&T::SetLanguage>},
            {"url", [](const T& t) { return t.URL(); }, setText<&T::SetURL>},
        });
    return fields;
}

} // namespace quillon
