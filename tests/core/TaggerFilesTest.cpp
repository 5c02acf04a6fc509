// Files tagged by the taggers people use (mutagen, eyeD3, id3lib's id3v2,
// kid3): what they show, and that editing one field changes that field alone.
// The fixtures are remade by fixtures/make-tag-fixtures.sh.
#include "tags/ID3v2.h"

#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using namespace quillon;

namespace {

std::string fixture(const std::string& name) {
    return std::string(QUILLON_CORE_FIXTURES) + "/" + name;
}

struct Shown {
    std::string title, artist, album, year, genre, comment, composer, encoder, copyright, language,
        url;
    std::uint32_t track;
};

Shown shown(const TID3v2& t) {
    return {t.Title(),    t.Artist(),  t.Album(),     t.Year(),     t.Genre(), t.Comment(),
            t.Composer(), t.Encoder(), t.Copyright(), t.Language(), t.URL(),   t.Track()};
}

void expectSame(const Shown& a, const Shown& b) {
    EXPECT_EQ(a.title, b.title);
    EXPECT_EQ(a.artist, b.artist);
    EXPECT_EQ(a.album, b.album);
    EXPECT_EQ(a.year, b.year);
    EXPECT_EQ(a.genre, b.genre);
    EXPECT_EQ(a.comment, b.comment);
    EXPECT_EQ(a.composer, b.composer);
    EXPECT_EQ(a.encoder, b.encoder);
    EXPECT_EQ(a.copyright, b.copyright);
    EXPECT_EQ(a.language, b.language);
    EXPECT_EQ(a.url, b.url);
    EXPECT_EQ(a.track, b.track);
}

struct Fixture {
    const char* file;
    int version;
    Shown fields;
};

const std::string kLongComment = "Комментарий " + std::string(300, 'x');

const Fixture kFixtures[] = {
    {"mutagen-v24.mp3",
     4,
     {"Привет, мир", "Björk/Sigur Rós", "Album ½", "2021-04-05", "Rock", kLongComment, "Сочинитель",
      "LAME", "© 2021", "rus", "http://example.org/a", 3}},
    {"mutagen-v23-utf16.mp3",
     3,
     {"Привет, мир", "Björk/Sigur Rós", "Album ½", "2021-04-05", "Rock", kLongComment, "Сочинитель",
      "LAME", "© 2021", "rus", "http://example.org/a", 3}},
    // eyeD3 writes the year of a 2.4 tag as a release date (TDRL), not shown.
    {"eyed3-v24.mp3",
     4,
     {"Ünïcödé ☃", "Artist", "Album", "", "Rock", "A comment", "", "", "", "", "", 7}},
    {"eyed3-v23-utf16.mp3",
     3,
     {"Ünïcödé ☃", "Artist", "Album", "", "Rock", "A comment", "", "", "", "", "", 7}},
    {"id3v2-v23.mp3",
     3,
     {"Café", "Motörhead", "Ace of Spades", "1980", "Synthpop", "Loud", "", "", "", "", "", 1}},
    {"kid3-v23.mp3", 3, {"Łódź", "Zażółć", "", "", "", "Kid3 comment", "", "", "", "", "", 2}},
};

// The bytes after the ID3v2 tag: the audio and any ID3v1 tag.
Bytes afterTag(const std::string& path) {
    TID3v2 t;
    EXPECT_TRUE(t.Load(path));
    const Bytes file = readFile(path);
    return Bytes(file.begin() + t.Size(), file.end());
}

} // namespace

TEST(TaggerFiles, ShowWhatTheTaggerWrote) {
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.file);
        TID3v2 t;
        ASSERT_TRUE(t.Load(fixture(f.file)));
        EXPECT_EQ(t.VersionId(), f.version);
        expectSame(shown(t), f.fields);
    }
}

TEST(TaggerFiles, AnEditChangesThatFieldAlone) {
    TestDir dir;
    for (const Fixture& f : kFixtures) {
        for (const bool latin : {true, false}) {
            SCOPED_TRACE(std::string(f.file) + (latin ? " Latin-1 title" : " Greek title"));
            const std::string path = dir.createFile("song.mp3", readFile(fixture(f.file)));
            const Bytes audio = afterTag(path);
            TID3v2 t;
            ASSERT_TRUE(t.Load(path));
            const std::string title = latin ? "Neu" : "Νέο";
            t.SetTitle(title);
            ASSERT_TRUE(t.Save(path));

            TID3v2 after;
            ASSERT_TRUE(after.Load(path));
            EXPECT_EQ(after.VersionId(), f.version);
            Shown expected = f.fields;
            expected.title = title;
            expectSame(shown(after), expected);
            EXPECT_EQ(afterTag(path), audio);

            // Setting it back gives the fields the tagger wrote.
            after.SetTitle(f.fields.title);
            ASSERT_TRUE(after.Save(path));
            TID3v2 back;
            ASSERT_TRUE(back.Load(path));
            expectSame(shown(back), f.fields);
        }
    }
}
