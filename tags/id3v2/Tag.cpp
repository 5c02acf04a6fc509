#include "tags/id3v2/Tag.h"

#include "tags/FileAccess.h"
#include "tags/FileRebuild.h"
#include "tags/ID3v1.h"
#include "tags/TagText.h"
#include "tags/id3v2/Convert.h"
#include "tags/id3v2/Frames.h"

#include <algorithm>
#include <array>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillon::id3v2 {

namespace {

// A tag's first bytes are read in one call; most tags end within them.
constexpr std::int64_t kStartBytes = 16 * 1024;

// Load lists the frames of a tag up to this many: far more than taggers
// write, and a tag of millions of tiny frames still loads in bounded memory.
constexpr std::size_t kListedFrames = 4096;

// ---- Values of the fields

// A field's value in the frame: its text list, or its Latin-1 text. From
// several strings, the first, or in 2.4 all of them joined by "/" (empty
// ones dropped). Then trimmed.
bool valueInTextList(const Layout& layout) {
    return std::find(layout.parts.begin(), layout.parts.end(), Part::TextList) !=
           layout.parts.end();
}

std::string fieldValue(const Layout& layout, const FrameValue& frame, const Revision& revision) {
    if (!valueInTextList(layout))
        return trimControls(frame.latin1Text);
    std::string value;
    if (!revision.joinsTexts) {
        if (!frame.texts.empty())
            value = frame.texts.front();
    } else {
        for (const std::string& text : frame.texts) {
            if (text.empty())
                continue;
            if (!value.empty())
                value += '/';
            value += text;
        }
    }
    return trimControls(value);
}

std::uint32_t trackFrom(const std::string& value) {
    std::string text = value;
    if (const auto slash = text.find('/'); slash != std::string::npos)
        text.resize(slash);
    if (text.empty())
        return 0;
    const auto number = parseWholeInt32(text);
    return number && *number > 0 ? static_cast<std::uint32_t>(*number) : 0;
}

std::uint32_t trackTotalFrom(const std::string& value) {
    const auto slash = value.find('/');
    if (slash == std::string::npos)
        return 0;
    const auto number = parseWholeInt32(std::string_view(value).substr(slash + 1));
    return number && *number > 0 ? static_cast<std::uint32_t>(*number) : 0;
}

// The track as its frame holds it: as read while Track and TrackTotal are
// as Load gave them, else "n/total" when both are set; without a total, a
// text after the "/" that is no number stays.
std::string trackText(const TID3v2::Fields& fields, const TID3v2::Fields& loaded,
                      const std::string& read) {
    if (fields.track == loaded.track && fields.trackTotal == loaded.trackTotal)
        return read;
    if (fields.track == 0)
        return {};
    std::string text = std::to_string(fields.track);
    const auto slash = read.find('/');
    if (fields.trackTotal != 0) {
        // Appended one by one: GCC 12 warns wrongly about "/" + a string.
        text += '/';
        text += std::to_string(fields.trackTotal);
    } else if (loaded.trackTotal == 0 && slash != std::string::npos) {
        text += read.substr(slash);
    }
    return text;
}

std::optional<int> genreIndex(std::string_view digits) {
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int n = std::stoi(std::string(digits));
    return n < GenreCount ? std::optional<int>(n) : std::nullopt;
}

std::string genreFrom(const std::string& value) {
    std::string text = value;
    if (const auto paren = text.rfind(')'); paren != std::string::npos)
        text.erase(0, paren + 1);
    if (text.empty()) {
        // "(13)": the index in parentheses names the genre.
        const auto open = value.find('(');
        const auto close = open == std::string::npos ? open : value.find(')', open);
        if (close != std::string::npos) {
            if (const auto n =
                    genreIndex(std::string_view(value).substr(open + 1, close - open - 1)))
                return std::string(GenreNames[*n]);
        }
    } else if (const auto n = genreIndex(text)) {
        return std::string(GenreNames[*n]);
    }
    return text;
}

// iTunes keeps loudness and gapless data in comments described "iTunNORM",
// "iTunSMPB" and the like; other readers never show them as the comment.
// Asked of every comment until a plain one is found, so it looks at the
// stored bytes: each character of "iTun" comes from its own byte or UTF-16
// unit, after one byte order mark at most, as decodedPiece reads them.
bool isPrivateComment(const StoredFrame& frame) {
    std::string_view description = frame.description;
    if (!isWideEncoding(frame.encoding)) {
        if (frame.encoding == 3 && description.starts_with("\xEF\xBB\xBF"))
            description.remove_prefix(3);
        return description.starts_with("iTun");
    }
    const bool bigEndian = takeByteOrderMark(description, frame.encoding == 2);
    constexpr std::string_view kPrefix = "iTun";
    if (description.size() < 2 * kPrefix.size())
        return false;
    for (std::size_t i = 0; i < kPrefix.size(); ++i) {
        const char high = description[2 * i + (bigEndian ? 0 : 1)];
        const char low = description[2 * i + (bigEndian ? 1 : 0)];
        if (high != 0 || low != kPrefix[i])
            return false;
    }
    return true;
}

// ---- Where each field comes from

constexpr int rowOf(int field) {
    for (int r = 0; r < kFieldRowCount; ++r) {
        if (kFields[r].field == field)
            return r;
    }
    return -1;
}

struct Source {
    std::string id;          // the frames of this id gave the value; empty: none
    std::int64_t start = -1; // a field that picks one frame: that frame
    FrameValue frame;        // the frame decoded (an edit keeps its description...)
    std::string value;       // the value as read (Track: before its number is taken)
};

struct TagContent {
    TID3v2::Fields fields;
    std::array<Source, kFieldRowCount> sources; // by row of kFields
    // Read only for Load.
    std::vector<TPicture> pictures;
    std::vector<TOtherFrame> others;
    std::array<std::vector<std::string>, 2> losses; // converted to 2.3, to 2.4
};

// The frames read for the fields: each row's 2.3 id, then its 2.4 id when it
// differs.
struct Slot {
    int row;
    std::string_view id;
};
constexpr int kSlotCount = [] {
    int count = 0;
    for (const FieldRow& row : kFields)
        count += row.id23 == row.id24 ? 1 : 2;
    return count;
}();
constexpr auto kSlots = [] {
    std::array<Slot, kSlotCount> slots{};
    int slot = 0;
    for (int row = 0; row < kFieldRowCount; ++row) {
        slots[slot++] = {row, kFields[row].id23};
        if (kFields[row].id24 != kFields[row].id23)
            slots[slot++] = {row, kFields[row].id24};
    }
    return slots;
}();

constexpr int slotOfId(std::string_view id) {
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (kSlots[slot].id == id)
            return slot;
    }
    return -1;
}

// The key of each slot's id, as 2.3/2.4 and as 2.2 store it (0: none).
constexpr auto kSlotKeys = [] {
    std::array<std::uint32_t, kSlotCount> keys{};
    for (int slot = 0; slot < kSlotCount; ++slot)
        keys[slot] = idKey(kSlots[slot].id);
    return keys;
}();
constexpr auto kSlotKeys22 = [] {
    std::array<std::uint32_t, kSlotCount> keys{};
    for (int slot = 0; slot < kSlotCount; ++slot)
        keys[slot] = idKey(id22Of(kSlots[slot].id));
    return keys;
}();
// The rule of each slot's field, at hand for the walk.
constexpr auto kSlotRules = [] {
    std::array<PickRule, kSlotCount> rules{};
    for (int slot = 0; slot < kSlotCount; ++slot)
        rules[slot] = kFields[kSlots[slot].row].pick;
    return rules;
}();
// The first letters of the ids read, to reject every other frame at once.
constexpr auto kFirstLetters = [] {
    std::array<bool, 256> letters{};
    for (const Slot& slot : kSlots) {
        letters[static_cast<unsigned char>(slot.id[0])] = true;
        if (!id22Of(slot.id).empty())
            letters[static_cast<unsigned char>(id22Of(slot.id)[0])] = true;
    }
    return letters;
}();

// The slot of the frame's id, -1 for a frame no field reads. Called for every
// frame of the tag, so it rejects most ids on their first letter.
int slotOf(const Frame& frame, bool ids22) {
    if (!kFirstLetters[static_cast<unsigned char>(frame.rawId[0])])
        return -1;
    // One loop per table: a table chosen at run time is copied to the stack
    // for every frame.
    if (ids22) {
        for (int slot = 0; slot < kSlotCount; ++slot) {
            if (kSlotKeys22[slot] == frame.key)
                return slot;
        }
        return -1;
    }
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (kSlotKeys[slot] == frame.key)
            return slot;
    }
    return -1;
}

// The frame a field comes from. A compressed or encrypted frame counts, so
// that an edit replaces it, but gives no value.
struct Pick {
    bool found = false;
    bool decodable = false;
    int slot = -1; // of the frame's own id (Year may come from TDRC)
    Frame frame;
};

// What one pass over the frames picks, by slot.
struct Picks {
    std::array<Pick, kSlotCount> last{};
    std::array<Pick, kSlotCount> firstPlain{}; // PickRule::FirstPlainElseLast
    std::vector<Frame> frames; // the first kListedFrames, when the whole tag is read
};

// Whether a frame is one a text field shows: the frame its value came from,
// or any frame of that id for a field whose edit replaces them all (see
// PickRule). Lyrics are listed with the other frames too.
bool shownByField(const Frame& frame, const Revision& revision, const TagContent& content) {
    const std::string_view id = idOf(frame, revision);
    for (int r = 0; r < kFieldRowCount; ++r) {
        const Source& source = content.sources[r];
        if (kFields[r].form == ValueForm::Lyrics || source.id.empty() || id != source.id)
            continue;
        if (kFields[r].pick == PickRule::LastDecodable || frame.start == source.start)
            return true;
    }
    return false;
}

std::string firstLine(std::string_view text) {
    return std::string(text.substr(0, text.find_first_of("\r\n")));
}

// A Latin-1 text up to its zero byte, as the owner of PRIV, UFID and POPM.
std::string latin1UpToZero(std::string_view content) {
    return latin1ToUtf8(content.substr(0, content.find('\0')));
}

// Adds the frame to the list of other frames, and a picture it holds to the
// pictures.
template <class Walk>
void describeFrame(const Walk& walk, const Frame& frame, Bytes& scratch, TagContent& content) {
    using Kind = TOtherFrame::Kind;
    const Revision& revision = walk.revision();
    const bool ids22 = revision.idSize == 3;
    TOtherFrame& other = content.others.emplace_back();
    other.id = std::string(frame.rawId, ids22 ? 3 : 4);
    other.name = std::string(frameName(other.id));
    other.size = frame.size;
    const std::string_view id = idOf(frame, revision);
    const auto data = walk.decodable(frame) ? walk.content(frame, scratch) : std::nullopt;
    if (!data || id.empty())
        return;
    other.size = static_cast<std::uint32_t>(data->size());

    StoredFrame stored;
    auto split = [&](LayoutKind kind) { return splitFrame(layoutOf(kind), *data, stored); };
    auto decoded = [&](LayoutKind kind) { return decodeFrame(layoutOf(kind), stored); };
    if (id == "APIC") {
        const LayoutKind kind = ids22 ? LayoutKind::Picture22 : LayoutKind::Picture;
        if (!split(kind))
            return;
        TPicture& picture = content.pictures.emplace_back();
        picture.type = stored.byte;
        picture.mime = ids22 ? mimeOf22(stored.imageFormat) : latin1UpToZero(stored.latin1Text);
        picture.description = decodedPiece(stored.encoding, stored.description);
        picture.data = std::string(stored.binary);
        other.kind = Kind::Picture;
        other.description = picture.description;
        other.mime = picture.mime;
        other.size = static_cast<std::uint32_t>(stored.binary.size());
        other.pixels = pictureSizeOf(stored.binary);
    } else if (id == "USLT") {
        if (!split(LayoutKind::Lyrics))
            return;
        const FrameValue value = decoded(LayoutKind::Lyrics);
        other.kind = Kind::Lyrics;
        other.description = value.description;
        if (!value.texts.empty())
            other.text = firstLine(value.texts.front());
    } else if (id == "COMM" || id == "TXXX") {
        const LayoutKind kind = id == "COMM" ? LayoutKind::Comment : LayoutKind::UserText;
        if (!split(kind))
            return;
        const FrameValue value = decoded(kind);
        other.kind = Kind::Text;
        other.description = value.description;
        other.text = fieldValue(layoutOf(kind), value, revision);
    } else if (id == "WXXX") {
        if (!split(LayoutKind::Link))
            return;
        const FrameValue value = decoded(LayoutKind::Link);
        other.kind = Kind::Link;
        other.description = value.description;
        other.text = value.latin1Text;
    } else if (id[0] == 'T' || id == "IPLS") {
        if (!split(LayoutKind::Text))
            return;
        other.kind = Kind::Text;
        other.text = fieldValue(layoutOf(LayoutKind::Text), decoded(LayoutKind::Text), revision);
    } else if (id[0] == 'W') {
        other.kind = Kind::Link;
        other.text = latin1UpToZero(*data);
    } else if (id == "POPM" || id == "PRIV" || id == "UFID") {
        other.description = latin1UpToZero(*data);
    }
}

// The fields of the tag. One pass over the frames picks the frame of each
// field without decoding it (see PickRule); only the picked frames are
// decoded. A frame is looked into during the pass only while it can still be
// picked, and only for a rule that needs it.
// With `Whole`, also the pictures and the list of every other frame.
template <bool Whole, class Walk> TagContent readContent(const Walk& walk) {
    TagContent content;
    const Revision& revision = walk.revision();
    const bool ids22 = revision.idSize == 3;
    Bytes scratch;
    Picks found = walk.template collect<Picks>([&](Picks& picks, const Frame& frame) {
        if constexpr (Whole) {
            if (picks.frames.size() < kListedFrames)
                picks.frames.push_back(frame);
        }
        const int slot = slotOf(frame, ids22);
        if (slot < 0)
            return;
        const bool decodable = walk.decodable(frame);
        // Set field by field: a copy of the whole through the stack costs
        // more than the rest of the walk.
        auto pick = [&](Pick& kept) {
            kept.found = true;
            kept.decodable = decodable;
            kept.slot = slot;
            std::memcpy(kept.frame.rawId, frame.rawId, sizeof frame.rawId);
            kept.frame.start = frame.start;
            kept.frame.data = frame.data;
            kept.frame.size = frame.size;
            kept.frame.formatFlags = frame.formatFlags;
            kept.frame.key = frame.key;
        };
        switch (kSlotRules[slot]) {
        case PickRule::LastDecodable:
            if (decodable || !picks.last[slot].decodable)
                pick(picks.last[slot]);
            return;
        case PickRule::LastWellFormed:
            if (decodable) {
                const auto data = walk.content(frame, scratch);
                StoredFrame stored;
                if (!data || !splitFrame(layoutOf(kFields[kSlots[slot].row].layout), *data, stored))
                    return;
            }
            pick(picks.last[slot]);
            return;
        case PickRule::FirstPlainElseLast:
            if (picks.firstPlain[slot].found)
                return;
            if (decodable) {
                const auto data = walk.content(frame, scratch);
                StoredFrame stored;
                if (!data ||
                    !splitFrame(layoutOf(kFields[kSlots[slot].row].layout), *data, stored) ||
                    isPrivateComment(stored))
                    return;
                if (stored.description.empty())
                    pick(picks.firstPlain[slot]);
            }
            pick(picks.last[slot]);
            return;
        }
    });

    auto pickOf = [&](int slot) -> const Pick& {
        return found.firstPlain[slot].found ? found.firstPlain[slot] : found.last[slot];
    };
    for (int r = 0; r < kFieldRowCount; ++r) {
        const FieldRow& row = kFields[r];
        const Layout& layout = layoutOf(row.layout);
        // The id of the tag's revision first, else the other.
        const std::string_view own = revision.ids24 ? row.id24 : row.id23;
        const std::string_view other = revision.ids24 ? row.id23 : row.id24;
        const Pick& ownPick = pickOf(slotOfId(own));
        const Pick& pick = ownPick.found ? ownPick : pickOf(slotOfId(other));

        Source& source = content.sources[r];
        if (pick.found) {
            source.id = std::string(kSlots[pick.slot].id);
            source.start = pick.frame.start;
            const auto data = pick.decodable ? walk.content(pick.frame, scratch) : std::nullopt;
            if (auto frame = data ? decodeFrame(layout, *data) : std::nullopt) {
                source.value = fieldValue(layout, *frame, revision);
                source.frame = std::move(*frame);
            }
        }
        switch (row.form) {
        case ValueForm::Text:
            content.fields.text[row.field] = source.value;
            break;
        case ValueForm::Genre:
            content.fields.text[row.field] = genreFrom(source.value);
            break;
        case ValueForm::Track:
            content.fields.track = trackFrom(source.value);
            content.fields.trackTotal = trackTotalFrom(source.value);
            break;
        case ValueForm::Lyrics:
            // Lyrics keep their lines and spaces as they are.
            if (!source.frame.texts.empty()) {
                source.value = source.frame.texts.front();
                content.fields.lyrics = {source.frame.language, source.frame.description,
                                         source.value};
            }
            break;
        }
    }
    if constexpr (Whole) {
        std::vector<FrameToConvert> converted;
        std::vector<std::string> dropped22;
        for (const Frame& frame : found.frames) {
            if (!shownByField(frame, revision, content))
                describeFrame(walk, frame, scratch, content);
            FrameToConvert& f = converted.emplace_back();
            f.id = std::string(idOf(frame, revision));
            if (f.id.empty())
                dropped22.push_back(std::string(frame.rawId, 3) +
                                    ": no counterpart in 2.3, dropped");
            const auto data = walk.decodable(frame) && contentNamesLosses(f.id)
                                  ? walk.content(frame, scratch)
                                  : std::nullopt;
            f.readable = walk.decodable(frame);
            if (data)
                f.content = std::string(*data);
        }
        for (const int major : {3, 4}) {
            std::vector<std::string>& losses = content.losses[major - 3];
            losses = dropped22;
            convertFrames(converted, revision.major, *revisionOf(major), nullptr, losses);
        }
    }
    return content;
}

// ---- Writing

// The tag's header and first bytes, read in one call: most tags end within
// them. Nothing when the file has fewer than 10 bytes.
struct TagStart {
    Header header;
    TagBuffer bytes;
};
std::optional<TagStart> readStart(int fd, std::int64_t fileSize) {
    TagBuffer bytes(static_cast<std::size_t>(kStartBytes));
    const std::int64_t got = fileSize < 0 ? -1 : readAt(fd, bytes.data(), bytes.size(), 0);
    if (got < kHeaderSize)
        return std::nullopt;
    bytes.resize(static_cast<std::size_t>(got));
    const Header header = readHeader(bytes.data(), fileSize);
    return TagStart{header, std::move(bytes)};
}

// The tag at the start of the file open as `fd`: a tag whose frames can be
// read is read whole, in one more call, to be walked in memory. Nothing when
// the file has fewer than 10 bytes, or when there is no memory for the tag.
std::optional<FrameWalk> readTag(int fd, std::int64_t fileSize) {
    try {
        std::optional<TagStart> start = readStart(fd, fileSize);
        if (!start)
            return std::nullopt;
        const Header& header = start->header;
        TagBuffer& bytes = start->bytes;
        const auto got = static_cast<std::int64_t>(bytes.size());
        if (header.framesReadable() && header.extent > got) {
            bytes.resize(static_cast<std::size_t>(header.extent));
            const std::int64_t rest =
                readAt(fd, bytes.data() + got, static_cast<std::size_t>(header.extent - got), got);
            bytes.resize(static_cast<std::size_t>(got + std::max<std::int64_t>(rest, 0)));
        } else if (header.framesReadable()) {
            bytes.resize(static_cast<std::size_t>(header.extent));
        }
        return FrameWalk(fd, header, std::move(bytes));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

// Where the old tag's frames and their zero padding end: bytes there that are
// not zero are not the tag's, whatever its size says, and are kept.
std::int64_t endOfOldTag(const FrameWalk& walk, std::int64_t framesEnd) {
    const Header& header = walk.header();
    if (!header.present || header.extent == 0)
        return 0;
    if (!walk.readable())
        return header.extent;
    const std::int64_t areaEnd = walk.bytes().size() - (header.hasFooter() ? kFooterSize : 0);
    if (framesEnd >= areaEnd)
        return header.extent;
    const unsigned char* begin = walk.bytes().data() + framesEnd;
    const unsigned char* end = walk.bytes().data() + areaEnd;
    const unsigned char* nonZero = std::find_if(begin, end, [](unsigned char c) { return c != 0; });
    return nonZero == end ? header.extent : walk.bytes().fileOffset(framesEnd + (nonZero - begin));
}

// A field's new value as its frame holds it (see trackText).
std::string newValue(const FieldRow& row, const TID3v2::Fields& fields,
                     const TID3v2::Fields& loaded, const Source& source) {
    switch (row.form) {
    case ValueForm::Track:
        return trackText(fields, loaded, source.value);
    case ValueForm::Lyrics:
        return fields.lyrics.text;
    case ValueForm::Text:
    case ValueForm::Genre:
        break;
    }
    return fields.text[row.field];
}

bool fieldChanged(const FieldRow& row, const TID3v2::Fields& fields, const TID3v2::Fields& loaded) {
    switch (row.form) {
    case ValueForm::Track:
        return fields.track != loaded.track || fields.trackTotal != loaded.trackTotal;
    case ValueForm::Lyrics:
        return fields.lyrics != loaded.lyrics;
    case ValueForm::Text:
    case ValueForm::Genre:
        break;
    }
    return fields.text[row.field] != loaded.text[row.field];
}

// Whether the frame is a picture Load would give.
template <class Walk> bool isReadablePicture(const Walk& walk, const Frame& frame, Bytes& scratch) {
    if (!walk.decodable(frame))
        return false;
    const auto data = walk.content(frame, scratch);
    StoredFrame stored;
    return data && splitFrame(layoutOf(walk.revision().idSize == 3 ? LayoutKind::Picture22
                                                                   : LayoutKind::Picture),
                              *data, stored);
}

// The MIME type of a picture that has none, from its first bytes.
std::string mimeOfData(std::string_view data) {
    if (data.starts_with("\x89PNG"))
        return "image/png";
    if (data.starts_with("GIF8"))
        return "image/gif";
    if (data.starts_with("BM"))
        return "image/bmp";
    if (data.starts_with("RIFF") && data.substr(8, 4) == "WEBP")
        return "image/webp";
    return "image/jpeg";
}

// An APIC frame for the picture; its image is copied once, straight into the
// tag. A zero byte would end the MIME type or the description early, so
// they end before one.
void appendPicture(Bytes& out, const TPicture& picture, const Revision& target) {
    FrameValue value;
    const std::string mime = picture.mime.substr(0, picture.mime.find('\0'));
    value.latin1Text = mime.empty() ? mimeOfData(picture.data) : mime;
    value.byte = picture.type;
    value.description = picture.description.substr(0, picture.description.find('\0'));
    const Bytes head = encodeFrame(layoutOf(LayoutKind::Picture), value, target);
    const std::size_t size = head.size() + picture.data.size();
    out.insert(out.end(), {'A', 'P', 'I', 'C'});
    putSize(out, target.frameSize, static_cast<std::uint32_t>(size));
    out.insert(out.end(), {0, 0});
    out.insert(out.end(), head.begin(), head.end());
    out.insert(out.end(), picture.data.begin(), picture.data.end());
}

// What a save changes besides the fields that differ from `loaded`.
struct Edits {
    const TID3v2::Fields& fields;
    const TID3v2::Fields& loaded;
    const std::vector<TPicture>* pictures; // null: the picture frames stay
    int convertTo;                         // 3 or 4; 0: the revision stays
};

// The tag `tag` (header and frames, no padding) as revision `to`; nothing
// when the result is too large.
std::optional<Bytes> convertedTag(const Bytes& tag, const Revision& to) {
    const Header header = readHeader(tag.data(), static_cast<std::int64_t>(tag.size()));
    const FrameWalk walk(-1, header, TagBuffer(tag.begin(), tag.end()));
    const Revision& from = walk.revision();
    std::vector<FrameToConvert> frames;
    Bytes scratch;
    walk.walk([&](const Frame& frame) {
        FrameToConvert& f = frames.emplace_back();
        f.id = std::string(idOf(frame, from));
        f.status = statusAs23(walk.bytes().data()[frame.start + 8], from.major);
        f.readable = walk.decodable(frame);
        if (f.readable) {
            if (const auto data = walk.content(frame, scratch))
                f.content = std::string(*data);
            else
                f.readable = false;
        }
    });
    Bytes out = {'I', 'D', '3', to.major, 0, 0, 0, 0, 0, 0};
    std::vector<std::string> losses;
    convertFrames(frames, from.major, to, &out, losses);
    const std::int64_t size = static_cast<std::int64_t>(out.size()) - kHeaderSize;
    if (size > kMaxSyncsafe)
        return std::nullopt;
    Bytes sizeBytes;
    putSize(sizeBytes, SizeCodec::Syncsafe32, static_cast<std::uint32_t>(size));
    std::copy(sizeBytes.begin(), sizeBytes.end(), out.begin() + 6);
    return out;
}

// The new tag for the file open as `fd`: the frames of the fields that differ
// from `loaded` are replaced, added or removed, and the pictures when they
// changed; every other frame is kept. Gives the tag and where the file's
// bytes after the old tag start.
std::optional<RebuildPlan> buildTag(int fd, std::int64_t fileSize, const Edits& edits) {
    const TID3v2::Fields& fields = edits.fields;
    const TID3v2::Fields& loaded = edits.loaded;
    const std::optional<FrameWalk> tag = readTag(fd, fileSize);
    if (!tag)
        return std::nullopt;
    const FrameWalk& walk = *tag;
    const Revision& target = *revisionOf(walk.readable() ? walk.revision().savedAs : 3);

    const TagContent old = walk.readable() ? readContent<false>(walk) : TagContent{};
    std::array<bool, kFieldRowCount> changed{};
    for (int r = 0; r < kFieldRowCount; ++r)
        changed[r] = fieldChanged(kFields[r], fields, loaded);

    // The new frame of a changed field, empty when the field is now empty. It
    // keeps what else the old frame held (a comment's description...).
    auto fieldFrame = [&](int r) -> Bytes {
        const FieldRow& row = kFields[r];
        const Source& source = old.sources[r];
        std::string text = newValue(row, fields, loaded, source);
        if (text.empty())
            return {};
        const Layout& layout = layoutOf(row.layout);
        FrameValue frame = source.frame;
        if (row.form == ValueForm::Lyrics) {
            frame.language = fields.lyrics.language;
            frame.description = fields.lyrics.description;
        }
        if (valueInTextList(layout))
            frame.texts = {std::move(text)};
        else
            frame.latin1Text = std::move(text);
        return framed(target.ids24 ? row.id24 : row.id23, encodeFrame(layout, frame, target),
                      target);
    };

    // The frames go straight after room for the header, patched at the end.
    RebuildPlan plan;
    Bytes& frames = plan.head;
    std::size_t pictureBytes = 0;
    if (edits.pictures) {
        for (const TPicture& picture : *edits.pictures)
            pictureBytes += picture.data.size() + picture.mime.size() + picture.description.size();
    }
    frames.reserve(static_cast<std::size_t>(walk.bytes().size()) + pictureBytes + 1024);
    frames.resize(kHeaderSize);
    std::array<bool, kFieldRowCount> written{};
    bool failed = false;
    // New pictures take the place of the first old one.
    bool picturesWritten = false;
    auto writePictures = [&] {
        for (const TPicture& picture : *edits.pictures)
            appendPicture(frames, picture, target);
        picturesWritten = true;
    };
    Bytes scratch;
    std::size_t index = 0; // of the frame; Load lists the first kListedFrames
    const std::int64_t framesEnd = walk.walk([&](const Frame& frame) {
        if (failed)
            return;
        const std::string_view id = idOf(frame, walk.revision());
        const bool listed = index++ < kListedFrames;
        if (edits.pictures && listed && id == "APIC" && isReadablePicture(walk, frame, scratch)) {
            if (!picturesWritten)
                writePictures();
            return;
        }
        // A changed field replaces the frames its value came from: one frame,
        // or every frame of that id (see PickRule).
        for (int r = 0; r < kFieldRowCount; ++r) {
            const Source& source = old.sources[r];
            if (!changed[r] || source.id.empty() || id != source.id)
                continue;
            const bool single = kFields[r].pick != PickRule::LastDecodable;
            if (single && frame.start != source.start)
                continue;
            if (!written[r]) {
                const Bytes replacement = fieldFrame(r);
                frames.insert(frames.end(), replacement.begin(), replacement.end());
                written[r] = true;
            }
            return;
        }
        if (!walk.appendStored(frames, frame, target))
            failed = true;
    });
    if (failed)
        return std::nullopt;
    // New frames follow the kept ones, in the order of the rows.
    for (int r = 0; r < kFieldRowCount; ++r) {
        if (changed[r] && !written[r]) {
            const Bytes added = fieldFrame(r);
            frames.insert(frames.end(), added.begin(), added.end());
        }
    }
    if (edits.pictures && !picturesWritten)
        writePictures();
    const std::int64_t size = static_cast<std::int64_t>(frames.size()) - kHeaderSize;
    if (size > kMaxSyncsafe)
        return std::nullopt;
    Bytes header = {'I', 'D', '3', target.major, 0, 0};
    putSize(header, SizeCodec::Syncsafe32, static_cast<std::uint32_t>(size));
    std::copy(header.begin(), header.end(), frames.begin());
    if (edits.convertTo != 0 && edits.convertTo != target.major) {
        std::optional<Bytes> converted = convertedTag(frames, *revisionOf(edits.convertTo));
        if (!converted)
            return std::nullopt;
        frames = std::move(*converted);
    }
    plan.keepFrom = endOfOldTag(walk, framesEnd);
    plan.padTo = [](Bytes& padded, std::int64_t extent) {
        if (extent < std::int64_t(padded.size()) || extent - kHeaderSize > kMaxSyncsafe)
            return false;
        padded.resize(static_cast<std::size_t>(extent));
        Bytes sizeBytes;
        putSize(sizeBytes, SizeCodec::Syncsafe32, static_cast<std::uint32_t>(extent - kHeaderSize));
        std::copy(sizeBytes.begin(), sizeBytes.end(), padded.begin() + 6);
        return true;
    };
    return plan;
}

} // namespace

} // namespace quillon::id3v2

namespace quillon {

using namespace id3v2;

TID3v2::TID3v2() {
    Reset();
}

void TID3v2::Reset() {
    m_exists = false;
    m_versionId = 0;
    m_size = 0;
    m_fields = Fields();
    m_loaded = Fields();
    m_loadedTrackText.clear();
    m_pictures.clear();
    m_loadedPictures.clear();
    m_otherFrames.clear();
    m_losses = {};
    m_convertTo = 0;
}

void TID3v2::setText(TextField field, std::string_view text) {
    m_fields[field] = trimControls(text);
}

std::string TID3v2::TrackText() const {
    return trackText(m_fields, m_loaded, m_loadedTrackText);
}

void TID3v2::SetTrackText(std::string_view text) {
    const std::string trimmed = trimControls(text);
    m_fields.track = trackFrom(trimmed);
    m_fields.trackTotal = m_fields.track != 0 ? trackTotalFrom(trimmed) : 0;
}

std::vector<std::string> TID3v2::ConversionLosses(int major) const {
    return major == 3 || major == 4 ? m_losses[static_cast<std::size_t>(major - 3)]
                                    : std::vector<std::string>{};
}

void TID3v2::ConvertTo(int major) {
    m_convertTo = major == 3 || major == 4 ? major : 0;
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
    auto take = [&](TagContent content) {
        m_fields = std::move(content.fields);
        m_loadedTrackText = std::move(content.sources[rowOf(kTrackField)].value);
        m_pictures = std::move(content.pictures);
        m_otherFrames = std::move(content.others);
        m_losses = std::move(content.losses);
    };
    try {
        std::optional<TagStart> start = readStart(fd, fileSize);
        if (!start)
            return false;
        const Header header = start->header;
        if (!header.present)
            return true;
        m_exists = true;
        m_versionId = header.major;
        // The extent is at most 2^28 + 20 bytes, which always fits.
        m_size = static_cast<std::int32_t>(header.extent);
        if (!header.framesReadable())
            return true;
        if (header.resynchronisedWhole()) {
            // Unsynchronised as a whole (rare): resynchronised in memory.
            const std::optional<FrameWalk> walk = readTag(fd, fileSize);
            if (!walk) {
                Reset();
                return false;
            }
            if (walk->readable())
                take(readContent<true>(*walk));
        } else {
            take(readContent<true>(StreamWalk(fd, header, std::move(start->bytes))));
        }
    } catch (const std::bad_alloc&) {
        Reset();
        return false;
    }
    m_loaded = m_fields;
    m_loadedPictures = m_pictures;
    return true;
}

bool TID3v2::Save(const std::string& fileName) const {
    return rebuildFile(fileName, [&](int fd, std::int64_t fileSize) -> std::optional<RebuildPlan> {
        try {
            const Edits edits{m_fields, m_loaded,
                              m_pictures != m_loadedPictures ? &m_pictures : nullptr, m_convertTo};
            return buildTag(fd, fileSize, edits);
        } catch (const std::bad_alloc&) {
            setWriteError("there is not enough memory for the tag");
            return std::nullopt;
        }
    });
}

bool TID3v2::Strip(const std::string& fileName) const {
    return rebuildFile(fileName, [](int fd, std::int64_t fileSize) -> std::optional<RebuildPlan> {
        const std::optional<FrameWalk> tag = readTag(fd, fileSize);
        if (!tag)
            return std::nullopt;
        if (!tag->header().present) {
            setWriteError("the file has no ID3v2 tag");
            return std::nullopt;
        }
        const std::int64_t framesEnd = tag->walk([](const Frame&) {});
        return RebuildPlan{{}, endOfOldTag(*tag, framesEnd), {}};
    });
}

} // namespace quillon
