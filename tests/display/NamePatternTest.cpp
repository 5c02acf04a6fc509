// Patterns both ways: names into fields, fields into names, with folder levels, characters a
// pattern engine built on regular expressions would trip over, and names that do not match.
#include "display/NamePattern.h"

#include "shell/FileName.h"

#include <gtest/gtest.h>

#include <optional>

using namespace quillon;

namespace {

QString q(const char* text) {
    return QString::fromUtf8(text);
}

// A path with raw bytes, as the folder model hands it over.
QString rawPath(const char* bytes) {
    return fileNameFromBytes(QByteArray(bytes));
}

std::string shown(const std::optional<PatternValues>& values) {
    if (!values)
        return "no match";
    std::string text;
    for (auto it = values->begin(); it != values->end(); ++it)
        text += it.key().toStdString() + "=[" + it.value().toStdString() + "] ";
    return text;
}

} // namespace

TEST(NamePattern, NamesGiveFields) {
    struct Case {
        const char* pattern;
        QString path;
        std::optional<PatternValues> values;
        bool roundTrips = true; // the values name the file as it is named
    };
    const PatternValues ab{{"artist", "A"}, {"title", "B"}};
    const Case cases[] = {
        {"%artist% - %title%", q("/m/A - B.mp3"), ab},
        // The first separator ends the artist; the title takes the rest.
        {"%artist% - %title%", q("/m/A - B - C.mp3"),
         PatternValues{{"artist", "A"}, {"title", "B - C"}}},
        {"%artist% - %title%", q("/m/Jean-Luc - Le-Titre.mp3"),
         PatternValues{{"artist", "Jean-Luc"}, {"title", "Le-Titre"}}},
        {"%artist% - %title%", q("/m/A-B.mp3"), std::nullopt},
        {"%artist% - %title%", q("/m/A - B.live.mp3"),
         PatternValues{{"artist", "A"}, {"title", "B.live"}}},
        {"%artist% - %title%", q("/m/A - B"), ab},
        {"%artist% - %title%", q(" - B.mp3"), PatternValues{{"artist", ""}, {"title", "B"}}},
        // Nothing in a name is special: brackets, dots, stars, dollars, backslashes, percent.
        {"%track%. %title%", q("/m/01. Intro (live) [2001] *$^\\.mp3"),
         PatternValues{{"track", "01"}, {"title", q("Intro (live) [2001] *$^\\")}}},
        {"(%year%) %album% [%genre%]", q("/m/(1999) Best Of [Rock].mp3"),
         PatternValues{{"year", "1999"}, {"album", "Best Of"}, {"genre", "Rock"}}},
        {"100% %title%", q("/m/100% Pure.mp3"), PatternValues{{"title", "Pure"}}},
        {"%artist% – %title%", q("/m/Björk – Jóga.mp3"),
         PatternValues{{"artist", q("Björk")}, {"title", q("Jóga")}}},
        {"%ARTIST% - %Title%", q("/m/A - B.mp3"), ab},
        // %dummy% takes its part and keeps it nowhere.
        {"%dummy% - %artist% - %title%", q("/m/CD1 - A - B.mp3"), ab, false},
        // Folder levels are matched against the path's end, one level each.
        {"%artist%/%album%/%track% - %title%", q("/music/Nina/Best Of/03 - Song.mp3"),
         PatternValues{
             {"artist", "Nina"}, {"album", "Best Of"}, {"track", "03"}, {"title", "Song"}}},
        {"%artist%/%title%", q("Nina/Song.mp3"),
         PatternValues{{"artist", "Nina"}, {"title", "Song"}}},
        {"%artist%/%album%/%title%", q("Album/Song.mp3"), std::nullopt},
        {"%artist%/%album%/%title%", q("/Album/Song.mp3"), std::nullopt},
        // A value never reaches over a folder level.
        {"%artist% - %title%", q("/m/A - B/C.mp3"), std::nullopt},
        // A field named twice takes the same text both times.
        {"%artist%/%artist% - %title%", q("/m/A/A - B.mp3"), ab},
        {"%artist%/%artist% - %title%", q("/m/X/A - B.mp3"), std::nullopt},
        // A name that is not UTF-8 is read in Windows-1252.
        {"%artist% - %title%", rawPath("/m/Caf\xe9 - X.mp3"),
         PatternValues{{"artist", q("Café")}, {"title", "X"}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " on " + c.path.toStdString());
        const NamePattern pattern(q(c.pattern));
        ASSERT_TRUE(pattern.isValid()) << pattern.error().toStdString();
        const std::optional<PatternValues> values = pattern.match(c.path);
        EXPECT_EQ(shown(values), shown(c.values));
        if (values && c.roundTrips) {
            EXPECT_EQ(pattern.nameFor(*values, c.path), c.path);
        }
    }
}

TEST(NamePattern, FieldsGiveNames) {
    struct Case {
        const char* pattern;
        PatternValues values;
        QString oldPath;
        QString newPath;
    };
    const PatternValues ab{{"artist", "A"}, {"title", "B"}};
    const Case cases[] = {
        {"%artist% - %title%", ab, q("/m/x.mp3"), q("/m/A - B.mp3")},
        {"%artist% - %title%", ab, q("/m/x"), q("/m/A - B")},
        {"%artist% - %title%", ab, q("/m/x.y.MP3"), q("/m/A - B.MP3")},
        {"%artist% - %title%", ab, q("x.mp3"), q("A - B.mp3")},
        {"%artist% - %title%", ab, q("/x.mp3"), q("/A - B.mp3")},
        // A "/" in a value would make a folder: it becomes "-", as Rename File has it.
        {"%artist% - %title%", PatternValues{{"artist", "AC/DC"}, {"title", "T.N.T."}},
         q("/m/x.mp3"), q("/m/AC-DC - T.N.T..mp3")},
        {"%artist% – %title%", PatternValues{{"artist", q("Björk")}, {"title", q("Jóga *?[]")}},
         q("/m/x.mp3"), q("/m/Björk – Jóga *?[].mp3")},
        // Missing values and %dummy% give nothing.
        {"%dummy%:%artist% (%album%)", ab, q("/m/x.mp3"), q("/m/:A ().mp3")},
        // Levels are made from the folder that many levels above the file.
        {"%artist%/%album%/%track% - %title%",
         PatternValues{{"artist", "Nina"}, {"album", "Best"}, {"track", "03"}, {"title", "Song"}},
         q("/music/old/folder/x.mp3"), q("/music/Nina/Best/03 - Song.mp3")},
        {"%artist%/%title%", ab, q("old/x.mp3"), q("A/B.mp3")},
        {"%artist%/%title%", ab, q("x.mp3"), QString()},
        // Where the old name holds raw bytes, "\xE9" in a value stands for the byte again.
        {"%title%", PatternValues{{"title", q("Caf\\xE9")}}, rawPath("/m/\xe9.mp3"),
         rawPath("/m/Caf\xe9.mp3")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " for " + c.oldPath.toStdString());
        const NamePattern pattern(q(c.pattern));
        ASSERT_TRUE(pattern.isValid()) << pattern.error().toStdString();
        EXPECT_EQ(fileNameBytes(pattern.nameFor(c.values, c.oldPath)), fileNameBytes(c.newPath));
    }
}

TEST(NamePattern, RefusesPatternsItCannotUse) {
    struct Case {
        const char* pattern;
        const char* error;
    };
    const Case cases[] = {
        {"", "the pattern is empty"},
        {"%artist%%title%", "%title% follows another placeholder with nothing between"},
        {"%artist% - %nosuch%", "unknown placeholder %nosuch%"},
        {"%artist%//%title%", "the pattern has an empty folder level"},
        {"/%title%", "the pattern has an empty folder level"},
        {"%title%/", "the pattern has an empty folder level"},
        {"Track 1", "the pattern has no placeholder"},
        {"%dummy% - x", "the pattern has no placeholder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        const NamePattern pattern(q(c.pattern));
        EXPECT_FALSE(pattern.isValid());
        EXPECT_EQ(pattern.error(), q(c.error));
        EXPECT_EQ(pattern.match(q("/m/A - B.mp3")), std::nullopt);
    }
}

// Every field of either tag has its placeholder, so a field added to the list is one too.
TEST(NamePattern, EveryFieldIsAPlaceholder) {
    const QStringList names = NamePattern::placeholders();
    for (const char* key : {"title", "artist", "album", "year", "track", "genre", "comment",
                            "composer", "copyright", "encoder", "language", "url", "dummy"})
        EXPECT_TRUE(names.contains(q(key))) << key;
    const NamePattern pattern(q("%artist%/%album%/%dummy% %track% - %title% %artist%"));
    EXPECT_EQ(pattern.fields(), (QStringList{"artist", "album", "track", "title"}));
    EXPECT_EQ(pattern.folderLevels(), 2);
}
