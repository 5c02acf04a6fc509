// The fields as the window's Save and quillon-tag set them: what each accepts, what it refuses
// before anything is written, and the bytes a save then writes.
#include "display/TagFields.h"

#include "display/BandRows.h"

#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillon;

namespace {

const Bytes kAudio = cbrFrames(5004);

template <class Tag> const TagField<Tag>& field(std::string_view key);
template <> const TagField<TID3v1>& field<TID3v1>(std::string_view key) {
    return *findField(ID3v1Fields(), key);
}
template <> const TagField<TID3v2>& field<TID3v2>(std::string_view key) {
    return *findField(ID3v2Fields(), key);
}

// Loads the tag of `path`, sets the field from `typed` and, when the field takes it, saves.
template <class Tag>
bool setAndSave(const std::string& path, std::string_view key, const std::string& typed) {
    Tag tag;
    EXPECT_TRUE(tag.Load(path));
    if (!field<Tag>(key).set(tag, typed))
        return false;
    EXPECT_TRUE(tag.Save(path));
    return true;
}

} // namespace

// "n" and "n/total" in digits are taken; a bare n keeps the total the frame had. Anything else
// is refused before a save, with the tag as it was.
// Every row that a band describes as showing a field has the field's way to the tag object,
// so the field is saved, probed and set by quillon-tag like the others.
TEST(TagFields, EveryFieldRowOfTheBandsIsAField) {
    const auto fieldRows = [](const BandLayout& band) {
        std::vector<std::string_view> keys;
        for (const BandRow* row : displayOrder(band)) {
            if (!row->field.empty())
                keys.push_back(row->field);
        }
        return keys;
    };
    const auto keysOf = [](const auto& fields) {
        std::vector<std::string_view> keys;
        for (const auto& field : fields)
            keys.push_back(field.key);
        return keys;
    };
    EXPECT_EQ(fieldRows(ID3v1Band()), keysOf(ID3v1Fields()));
    EXPECT_EQ(fieldRows(ID3v2Band()), keysOf(ID3v2Fields()));
}

TEST(TagFields, ID3v2TrackTakesNumberAndTotal) {
    const Bytes title = id3v2TextFrame(3, "TIT2", "Song");
    const auto withTrack = [&](std::string_view track) {
        return concat({id3v2Tag(3, concat({title, id3v2TextFrame(3, "TRCK", track)})), kAudio});
    };
    const Bytes original = withTrack("3/12");
    // A file with a new tag as the save writes it over the original's room.
    const auto overOriginal = [&](const Bytes& file) {
        const std::size_t room = original.size() - kAudio.size();
        const Bytes tag(file.begin(), file.end() - std::ptrdiff_t(kAudio.size()));
        return concat({savedTag(tag, room, kAudio.size()), kAudio});
    };
    const struct {
        std::string typed;
        bool taken;
        Bytes saved;
    } cases[] = {
        // The row shows the track whole: a bare number has no total.
        {"5", true, overOriginal(withTrack("5"))},
        {"5/6", true, overOriginal(withTrack("5/6"))},
        {"05/006", true, overOriginal(withTrack("5/6"))},
        {"3/12", true, original},
        {"3", true, overOriginal(withTrack("3"))},
        {"2147483647/2147483647", true, overOriginal(withTrack("2147483647/2147483647"))},
        {"", true, overOriginal(concat({id3v2Tag(3, title), kAudio}))},
        {"two", false, original},
        {"5 ", false, original},
        {" 5", false, original},
        {"+5", false, original},
        {"-1", false, original},
        {"0x10", false, original},
        {"$10", false, original},
        {"2147483648", false, original},
        {"5/2147483648", false, original},
        {"5/", false, original},
        {"/6", false, original},
        {"5/6/7", false, original},
        {"5 / 6", false, original},
        {"0/6", false, original},
        {"5/0", false, original},
        {"\xEF\xBC\x95", false, original}, // a full-width 5
    };
    TestDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE("\"" + c.typed + "\"");
        const std::string path = dir.createFile("song.mp3", original);
        EXPECT_EQ(setAndSave<TID3v2>(path, "track", c.typed), c.taken);
        EXPECT_EQ(readFile(path), c.saved);
    }
}

// The track is shown as the frame writes it, the disc and the album artist as they are.
TEST(TagFields, ID3v2TrackDiscAndAlbumArtistAreShownWhole) {
    const struct {
        const char *key, *frame, *text;
    } cases[] = {
        {"track", "TRCK", "3/12"},
        {"track", "TRCK", "03"},
        {"disc", "TPOS", "1/2"},
        {"disc", "TPOS", "2"},
        {"albumartist", "TPE2", "Various"},
    };
    TestDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + c.text);
        const std::string path = dir.createFile(
            "song.mp3", concat({id3v2Tag(3, id3v2TextFrame(3, c.frame, c.text)), kAudio}));
        TID3v2 tag;
        ASSERT_TRUE(tag.Load(path));
        EXPECT_EQ(field<TID3v2>(c.key).get(tag), c.text);
    }
}

// A disc is "n" or "n/total" as a track is; anything else is refused with the tag as it was.
TEST(TagFields, ID3v2DiscTakesNumberAndTotal) {
    const Bytes original = concat(
        {id3v2Tag(3, concat({id3v2TextFrame(3, "TIT2", "Song"), id3v2TextFrame(3, "TPOS", "1/2")})),
         kAudio});
    const struct {
        std::string typed;
        bool taken;
        std::string disc; // as loaded after the save
    } cases[] = {
        {"2/2", true, "2/2"}, {"3", true, "3"},      {"", true, ""},        {"x/y", false, "1/2"},
        {"2/", false, "1/2"}, {"0/2", false, "1/2"}, {"two", false, "1/2"},
    };
    TestDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE("\"" + c.typed + "\"");
        const std::string path = dir.createFile("song.mp3", original);
        EXPECT_EQ(setAndSave<TID3v2>(path, "disc", c.typed), c.taken);
        if (!c.taken) {
            EXPECT_EQ(readFile(path), original);
        }
        TID3v2 tag;
        ASSERT_TRUE(tag.Load(path));
        EXPECT_EQ(tag.Disc(), c.disc);
    }
}

TEST(TagFields, ID3v2TrackTotalIsReadAndWritten) {
    const struct {
        std::string frame;
        std::uint32_t track, total;
    } cases[] = {
        {"3/12", 3, 12}, {"3", 3, 0}, {"3/x", 3, 0}, {"x/12", 0, 12}, {"", 0, 0},
    };
    TestDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        const std::string path = dir.createFile(
            "song.mp3", concat({id3v2Tag(3, id3v2TextFrame(3, "TRCK", c.frame)), kAudio}));
        TID3v2 tag;
        ASSERT_TRUE(tag.Load(path));
        EXPECT_EQ(tag.Track(), c.track);
        EXPECT_EQ(tag.TrackTotal(), c.total);
    }

    // A total the frame did not name is added; cleared, it goes; a text after the "/" that
    // is no number stays as long as the total is left alone.
    const auto saved = [&](std::string_view frame, std::uint32_t track,
                           std::optional<std::uint32_t> total) {
        const std::string path = dir.createFile(
            "song.mp3", concat({id3v2Tag(3, id3v2TextFrame(3, "TRCK", frame)), kAudio}));
        TID3v2 tag;
        EXPECT_TRUE(tag.Load(path));
        tag.SetTrack(track);
        if (total)
            tag.SetTrackTotal(*total);
        EXPECT_TRUE(tag.Save(path));
        EXPECT_TRUE(tag.Load(path));
        return tag.Track() == 0
                   ? std::string()
                   : std::to_string(tag.Track()) + "/" + std::to_string(tag.TrackTotal());
    };
    EXPECT_EQ(saved("3", 3, 9), "3/9");
    EXPECT_EQ(saved("3/12", 4, 0), "4/0");
    const std::string path = dir.file("song.mp3");
    // Each save is written in place, in the room of the tag the file was made with.
    const auto inRoomOf = [&](const Bytes& tag, std::string_view oldTrack) {
        const std::size_t room = id3v2Tag(3, id3v2TextFrame(3, "TRCK", oldTrack)).size();
        return concat({savedTag(tag, room, kAudio.size()), kAudio});
    };
    EXPECT_EQ(readFile(path), inRoomOf(id3v2Tag(3, id3v2TextFrame(3, "TRCK", "4")), "3/12"));
    saved("3/of ten", 4, std::nullopt);
    EXPECT_EQ(readFile(path),
              inRoomOf(id3v2Tag(3, id3v2TextFrame(3, "TRCK", "4/of ten")), "3/of ten"));
}

// ID3v1 holds a track of 0 to 255 and no total; "n/total" sets n.
TEST(TagFields, ID3v1TrackTakesNumberAndTotal) {
    const Bytes original = concat({kAudio, id3v1Tag({.title = "Song", .track = 3, .genre = 17})});
    const auto withTrack = [&](int track) {
        return concat({kAudio, id3v1Tag({.title = "Song", .track = track, .genre = 17})});
    };
    const struct {
        std::string typed;
        bool taken;
        Bytes saved;
    } cases[] = {
        {"5", true, withTrack(5)},
        {"5/12", true, withTrack(5)},
        {"255/2147483647", true, withTrack(255)},
        {"", true, withTrack(0)},
        {"0", true, withTrack(0)},
        {"256", false, original},
        {"5/2147483648", false, original},
        {"two", false, original},
        {"5 ", false, original},
        {"-1", false, original},
        {"5/", false, original},
        {"5/x", false, original},
    };
    TestDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE("\"" + c.typed + "\"");
        const std::string path = dir.createFile("song.mp3", original);
        EXPECT_EQ(setAndSave<TID3v1>(path, "track", c.typed), c.taken);
        EXPECT_EQ(readFile(path), c.saved);
    }
}

// A genre is a name of the table in any letter case or the byte itself; a name the table does
// not hold is refused, not taken as no genre.
TEST(TagFields, ID3v1GenreTakesANameOrTheByte) {
    const auto withGenre = [](std::uint8_t genre) {
        return concat({kAudio, id3v1Tag({.title = "Song", .genre = genre})});
    };
    const struct {
        std::uint8_t before;
        std::string typed;
        bool taken;
        std::uint8_t after;
    } cases[] = {
        {0, "Rock", true, 17},
        {0, "rock", true, 17},
        {0, "HARD ROCK", true, 79},
        {0, "drum & bass", true, 127},
        {0, "Synthpop", true, 147},
        {0, "17", true, 17},
        {0, "0", true, 0},
        {0, "160", true, 160},
        {0, "255", true, 255},
        {0, "", true, 255},
        {17, "Blues", true, 0},
        // What the field shows for the byte leaves it alone: no name for 160.
        {160, "", true, 160},
        {160, "Rock", true, 17},
        {255, "", true, 255},
        {17, "Rokc", false, 17},
        {17, "256", false, 17},
        {17, "-1", false, 17},
        {17, " Rock", false, 17},
        {17, "17/4", false, 17},
        {17, "Rock ", false, 17},
    };
    TestDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.before) + " \"" + c.typed + "\"");
        const std::string path = dir.createFile("song.mp3", withGenre(c.before));
        EXPECT_EQ(setAndSave<TID3v1>(path, "genre", c.typed), c.taken);
        EXPECT_EQ(readFile(path), withGenre(c.after));
    }
}

// The window sets every row onto the tag it loaded: rows the user left as shown keep what the
// file holds, byte for byte, whatever a row's text would make of it.
TEST(TagFields, RowsLeftAsShownKeepTheirBytes) {
    TestDir dir;
    const auto v1 = [](std::string_view artist) {
        return id3v1Tag({.title = "Title",
                         .artist = artist,
                         .album = "Album",
                         .year = "1999",
                         .comment = "Comment",
                         .track = 7,
                         .genre = 160});
    };
    const std::string v1Path = dir.createFile("v1.mp3", concat({kAudio, v1("Artist")}));
    TID3v1 one;
    ASSERT_TRUE(one.Load(v1Path));
    for (const TagField<TID3v1>& f : ID3v1Fields()) {
        SCOPED_TRACE(std::string(f.key));
        EXPECT_TRUE(f.set(one, f.key == "artist" ? "New" : f.get(one)));
    }
    ASSERT_TRUE(one.Save(v1Path));
    EXPECT_EQ(readFile(v1Path), concat({kAudio, v1("New")}));

    const auto v2 = [](std::string_view artist) {
        return id3v2Tag(
            3, concat({id3v2TextFrame(3, "TIT2", "Title"), id3v2TextFrame(3, "TPE1", artist),
                       id3v2TextFrame(3, "TRCK", "03/of 12"), id3v2TextFrame(3, "TCON", "(17)Rock"),
                       id3v2TextFrame(3, "TYER", "1999"),
                       id3v2Frame(3, "COMM", std::string("\0engDesc\0Text", 13)),
                       id3v2Frame(3, "WXXX", std::string("\0\0http://x", 10))}));
    };
    const std::string v2Path = dir.createFile("v2.mp3", concat({v2("Artist"), kAudio}));
    TID3v2 two;
    ASSERT_TRUE(two.Load(v2Path));
    for (const TagField<TID3v2>& f : ID3v2Fields()) {
        SCOPED_TRACE(std::string(f.key));
        EXPECT_TRUE(f.set(two, f.key == "artist" ? "New" : f.get(two)));
    }
    ASSERT_TRUE(two.Save(v2Path));
    EXPECT_EQ(readFile(v2Path),
              concat({savedTag(v2("New"), v2("Artist").size(), kAudio.size()), kAudio}));
}

// What ID3v1 cannot hold is named before a save: the text it stores instead, or nothing when
// it stores the text as typed.
TEST(TagFields, ID3v1StoredAsNamesWhatTheTagCannotHold) {
    const std::string thirty(30, 'x');
    const struct {
        std::string_view key;
        std::string typed;
        std::optional<std::string> stored;
    } cases[] = {
        {"title", "\xD0\x9A\xD0\xB0\xD1\x84\xD0\xB5", "????"}, // Кафе
        {"title", "Caf\xC3\xA9 \xE2\x82\xAC", std::nullopt},   // Café €: Windows-1252 has both
        {"title", "x\xC2\x80", "x?"},                          // U+0080 is no Windows-1252
        {"title", "x\xC2\x81", std::nullopt},                  // the byte 0x81 itself
        {"title", thirty, std::nullopt},
        {"title", thirty + "y", thirty},
        {"title", thirty + "   ", std::nullopt},
        {"title", "  Title  ", std::nullopt},
        {"artist", std::string(15, ' ') + thirty, std::string(15, ' ') + std::string(15, 'x')},
        {"comment", thirty + "z", thirty},
        {"album", "", std::nullopt},
        {"year", "19888", "1988"},
        {"year", "1988", std::nullopt},
        {"year", "MMXXIV", "MMXX"},
        {"track", "5/12", "5"},
        {"track", "5", std::nullopt},
        {"track", "05", std::nullopt},
        {"track", "", std::nullopt},
        {"track", "300", std::nullopt}, // refused, not stored
        {"genre", "rock", std::nullopt},
        {"genre", "160", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " \"" + c.typed + "\"");
        EXPECT_EQ(id3v1StoredAs(*findField(ID3v1Fields(), c.key), c.typed), c.stored);
    }

    // With a track the comment has 28 characters.
    const TagField<TID3v1>& comment = *findField(ID3v1Fields(), "comment");
    const struct {
        std::string typed;
        std::optional<std::string> stored;
    } withTrack[] = {
        {std::string(28, 'x'), std::nullopt},
        {std::string(29, 'x'), std::string(28, 'x')},
        {std::string(27, 'x') + " yz", std::string(27, 'x')},
    };
    for (const auto& c : withTrack) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(id3v1StoredAs(comment, c.typed, 5), c.stored);
        EXPECT_EQ(id3v1StoredAs(comment, c.typed, 0), std::nullopt);
    }
}
