// The fields of each tag: the inspector row that shows it with its caption and kind (as the
// band's rows describe them, display/BandRows.h), its key in quillon-probe's JSON and
// quillon-tag's arguments, and how its text is read from and written to the tag object. The
// window's save commands, the band texts, quillon-probe and quillon-tag all use these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

class TID3v1;
class TID3v2;

enum class FieldKind {
    Text,   // free text
    Number, // a whole number, empty for none
    Genre,  // picked from the genre table (ID3v1) or free text (ID3v2)
    Link,   // a web address
};

template <class Tag> struct TagField {
    std::string_view key;     // "title": JSON key and quillon-tag FIELD
    std::string_view row;     // "iID3v1_Title": the inspector row
    std::string_view caption; // "Title"
    FieldKind kind;
    // The field's text as shown (UTF-8).
    std::string (*get)(const Tag& tag);
    // Sets the field from typed text; false, with the tag unchanged, for text
    // that the field does not accept.
    bool (*store)(Tag& tag, const std::string& text);
    // Number fields: the value itself.
    std::uint32_t (*number)(const Tag& tag) = nullptr;
    // What the field accepts, for messages: "... is not <accepts>".
    std::string_view accepts = "text";

    // Sets the field from the text typed by the user, the way a save takes it.
    // The text the field shows for this tag leaves it as it is, so that a
    // field the user did not touch keeps what the file holds. False, with the
    // tag unchanged, for text that the field does not accept.
    bool set(Tag& tag, const std::string& text) const {
        return text == get(tag) || store(tag, text);
    }
};

// What the window reports when text that a field does not take stops a save.
inline constexpr char kRangeCheckError[] = "Range check error";

// In the order the bands show them.
const std::vector<TagField<TID3v1>>& ID3v1Fields();
const std::vector<TagField<TID3v2>>& ID3v2Fields();

// The field with this key or row name, or nothing.
template <class Tag>
const TagField<Tag>* findField(const std::vector<TagField<Tag>>& fields, std::string_view name) {
    for (const TagField<Tag>& field : fields) {
        if (field.key == name || field.row == name)
            return &field;
    }
    return nullptr;
}

// The text an ID3v1 tag stores, and then shows, for `typed` in this field,
// when it differs from what was typed: characters outside Windows-1252 become
// "?", text past the field's width is cut, a track's total is dropped.
// Nothing when the field stores the text as typed (trailing spaces, which
// every setter drops, aside), for a genre, and for text the field refuses.
// `track` is the track the saved tag will hold: a track takes the room of
// the comment's last two characters.
std::optional<std::string> id3v1StoredAs(const TagField<TID3v1>& field, const std::string& typed,
                                         std::uint8_t track = 0);

} // namespace quillon
