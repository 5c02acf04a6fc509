// The fields as the window's Save and quillon-tag set them: what each accepts, what it refuses
// before anything is written, and the bytes a save then writes.
#include "display/TagFields.h"

#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <string>

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
TEST(TagFields, ID3v2TrackTakesNumberAndTotal) {
    const Bytes title = id3v2TextFrame(3, "TIT2", "Song");
    const auto withTrack = [&](std::string_view track) {
        return concat({id3v2Tag(3, concat({title, id3v2TextFrame(3, "TRCK", track)})), kAudio});
    };
    const Bytes original = withTrack("3/12");
    const struct {
        std::string typed;
        bool taken;
        Bytes saved;
    } cases[] = {
        {"5", true, withTrack("5/12")},
        {"5/6", true, withTrack("5/6")},
        {"05/006", true, withTrack("5/6")},
        {"3/12", true, original},
        {"3", true, original},
        {"2147483647/2147483647", true, withTrack("2147483647/2147483647")},
        {"", true, concat({id3v2Tag(3, title), kAudio})},
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
    EXPECT_EQ(readFile(path), concat({id3v2Tag(3, id3v2TextFrame(3, "TRCK", "4")), kAudio}));
    saved("3/of ten", 4, std::nullopt);
    EXPECT_EQ(readFile(path), concat({id3v2Tag(3, id3v2TextFrame(3, "TRCK", "4/of ten")), kAudio}));
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
