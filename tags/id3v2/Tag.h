// The fields of TID3v2 and the frames they are read from and written to, in
// one table: a new field is a row here (and its row in the window).
#pragma once

#include "tags/ID3v2.h"
#include "tags/id3v2/Layout.h"

#include <iterator>
#include <string_view>

namespace quillon::id3v2 {

// Which frame of a field's id gives its value.
enum class PickRule : unsigned char {
    // The last that can be decoded, else the last; an edit replaces every
    // frame of the id.
    LastDecodable,
    // The last whose parts are all there (or that cannot be decoded); an edit
    // replaces that frame only.
    LastWellFormed,
    // The first without a description, else the last, leaving out iTunes'
    // own ("iTunNORM"...); an edit replaces that frame only.
    FirstPlainElseLast,
};

// How a frame's value becomes the field's.
enum class ValueForm : unsigned char {
    Text,
    Genre,  // "(13)" or "13" names a genre of the list
    Track,  // "n/total": Track and TrackTotal
    Lyrics, // the lyrics with their language and description
};

// The track and the lyrics are the fields after the text fields.
constexpr int kTrackField = TID3v2::TextFieldCount;
constexpr int kLyricsField = kTrackField + 1;

struct FieldRow {
    int field; // a TID3v2::TextField, kTrackField or kLyricsField
    // The frame written in 2.3 and in 2.4; a tag holding only the other is
    // read from it. Revision 2.2 reads the 2.2 form of the 2.3 id.
    std::string_view id23, id24;
    LayoutKind layout;
    PickRule pick;
    ValueForm form;
};

using TextField = TID3v2::TextField;
// In the order new frames are added to a tag.
inline constexpr FieldRow kFields[] = {
    {int(TextField::Title), "TIT2", "TIT2", LayoutKind::Text, PickRule::LastDecodable,
     ValueForm::Text},
    {int(TextField::Artist), "TPE1", "TPE1", LayoutKind::Text, PickRule::LastDecodable,
     ValueForm::Text},
    {int(TextField::AlbumArtist), "TPE2", "TPE2", LayoutKind::Text, PickRule::LastDecodable,
     ValueForm::Text},
    {int(TextField::Album), "TALB", "TALB", LayoutKind::Text, PickRule::LastDecodable,
     ValueForm::Text},
    {kTrackField, "TRCK", "TRCK", LayoutKind::Text, PickRule::LastDecodable, ValueForm::Track},
    {int(TextField::Disc), "TPOS", "TPOS", LayoutKind::Text, PickRule::LastDecodable,
     ValueForm::Text},
    {int(TextField::Year), "TYER", "TDRC", LayoutKind::Text, PickRule::LastDecodable,
     ValueForm::Text},
    {int(TextField::Genre), "TCON", "TCON", LayoutKind::Text, PickRule::LastDecodable,
     ValueForm::Genre},
    {int(TextField::Comment), "COMM", "COMM", LayoutKind::Comment, PickRule::FirstPlainElseLast,
     ValueForm::Text},
    {int(TextField::Composer), "TCOM", "TCOM", LayoutKind::Text, PickRule::LastDecodable,
     ValueForm::Text},
    {int(TextField::Encoder), "TENC", "TENC", LayoutKind::Text, PickRule::LastDecodable,
     ValueForm::Text},
    {int(TextField::Copyright), "TCOP", "TCOP", LayoutKind::Text, PickRule::LastDecodable,
     ValueForm::Text},
    {int(TextField::Language), "TLAN", "TLAN", LayoutKind::Text, PickRule::LastDecodable,
     ValueForm::Text},
    {int(TextField::URL), "WXXX", "WXXX", LayoutKind::Link, PickRule::LastWellFormed,
     ValueForm::Text},
    {kLyricsField, "USLT", "USLT", LayoutKind::Lyrics, PickRule::FirstPlainElseLast,
     ValueForm::Lyrics},
};
inline constexpr int kFieldRowCount = int(std::size(kFields));

// Every field has exactly one row.
static_assert([] {
    for (int field = 0; field <= kLyricsField; ++field) {
        int rows = 0;
        for (const FieldRow& row : kFields)
            rows += row.field == field ? 1 : 0;
        if (rows != 1)
            return false;
    }
    return kFieldRowCount == kLyricsField + 1;
}());

} // namespace quillon::id3v2
