#include "tags/ID3v2.h"

#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using namespace quillon;

using namespace std::string_view_literals;

namespace {

Bytes prefix(const Bytes& b, std::size_t n) {
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

Bytes rawHeader(std::uint8_t major, Bytes sizeBytes, std::uint8_t flags = 0) {
    return concat({bytesOf("ID3"), Bytes{major, 0, flags}, sizeBytes});
}

void expectNoFields(const TID3v2& t) {
    for (const std::string* text :
         {&t.Title(), &t.Artist(), &t.Album(), &t.Year(), &t.Genre(), &t.Comment(), &t.Composer(),
          &t.Encoder(), &t.Copyright(), &t.Language(), &t.URL()})
        EXPECT_EQ(*text, "");
    EXPECT_EQ(t.Track(), 0);
}

using Getter = const std::string& (TID3v2::*)() const;

} // namespace

TEST(ID3v2Load, ReadsTheTwelveFramesOfARevision23Tag) {
    const Bytes frames = concat({
        id3v2TextFrame(3, "TIT2", "Title"),
        id3v2TextFrame(3, "TPE1", "Artist"),
        id3v2TextFrame(3, "TALB", "Album"),
        id3v2TextFrame(3, "TRCK", "3/12"),
        id3v2TextFrame(3, "TXXX", "skipped\0value"sv),
        id3v2TextFrame(3, "TYER", "1999"),
        id3v2TextFrame(3, "TCON", "(17)Rock"),
        id3v2TextFrame(3, "COMM", "engDescription\0Comment"sv),
        id3v2TextFrame(3, "TCOM", "Composer"),
        id3v2TextFrame(3, "TENC", "Encoder"),
        id3v2TextFrame(3, "TCOP", "Copyright"),
        id3v2TextFrame(3, "TLAN", "eng"),
        id3v2TextFrame(3, "WXXX", "Site\0http://example.org"sv),
    });
    TestDir dir;
    const Bytes t = id3v2Tag(3, frames, 64);
    const std::string path = dir.createFile("a.mp3", concat({t, audioBytes(500)}));

    TID3v2 id3;
    ASSERT_TRUE(id3.Load(path));
    EXPECT_TRUE(id3.Exists());
    EXPECT_EQ(id3.VersionId(), 3);
    EXPECT_EQ(id3.Size(), std::int32_t(t.size()));
    EXPECT_EQ(id3.Title(), "Title");
    EXPECT_EQ(id3.Artist(), "Artist");
    EXPECT_EQ(id3.Album(), "Album");
    EXPECT_EQ(id3.Track(), 3);
    EXPECT_EQ(id3.Year(), "1999");
    EXPECT_EQ(id3.Genre(), "Rock");
    EXPECT_EQ(id3.Comment(), "Comment");
    EXPECT_EQ(id3.Composer(), "Composer");
    EXPECT_EQ(id3.Encoder(), "Encoder");
    EXPECT_EQ(id3.Copyright(), "Copyright");
    EXPECT_EQ(id3.Language(), "eng");
    EXPECT_EQ(id3.URL(), "http://example.org");
}

TEST(ID3v2Load, TextRulesPerFrame) {
    struct Case {
        std::string_view id;
        std::string_view data; // encoding byte included
        Getter field;
        std::string_view value;
    };
    const Case cases[] = {
        {"TIT2", "\0Title"sv, &TID3v2::Title, "Title"},
        {"TIT2", "\0  Title \x01\0\0"sv, &TID3v2::Title, "Title"},
        // A value ends at its first terminator.
        {"TIT2", "\0a\0b"sv, &TID3v2::Title, "a"},
        {"TIT2", "\0Caf\xE9\xA0\x80"sv, &TID3v2::Title, "Caf\u00E9\u00A0\u20AC"},
        {"TIT2", "\x01\xFF\xFEO\0k\0\0\0x\0"sv, &TID3v2::Title, "Ok"},
        {"TIT2", "\x01\xFE\xFF\0O\0k"sv, &TID3v2::Title, "Ok"},
        {"TIT2", "\x01O\0k\0"sv, &TID3v2::Title, "Ok"}, // no byte order mark: little-endian
        {"TIT2", "\x01\xFF\xFE\x3D\xD8\x00\xDE"sv, &TID3v2::Title, "\U0001F600"},
        {"TIT2", "\x01\xFF\xFE\x00\xD8O\0"sv, &TID3v2::Title, "\uFFFDO"}, // lone surrogate
        {"TIT2", "\x01\xFF\xFEO\0k"sv, &TID3v2::Title, "O\uFFFD"},        // odd length
        {"TIT2", "\x02\0O\0k\0\0"sv, &TID3v2::Title, "Ok"},
        {"TIT2",
         "\x03"
         "Caf\xC3\xA9\0x"sv,
         &TID3v2::Title, "Caf\u00E9"},
        {"TIT2",
         "\x03"
         "a\xC3\x28"
         "b"sv,
         &TID3v2::Title, "a\uFFFD(b"},
        // An unknown encoding byte: the whole data as Windows-1252.
        {"TIT2", "\x04Title\0x"sv, &TID3v2::Title, "Title\0x"sv},
        {"TIT2", "Title"sv, &TID3v2::Title, "Title"},
        {"TCON", "\0(17)Rock"sv, &TID3v2::Genre, "Rock"},
        {"TCON", "\0(17)"sv, &TID3v2::Genre, "Rock"},
        {"TCON", "\0(13)"sv, &TID3v2::Genre, "Pop"},
        {"TCON",
         "\0"
         "13"sv,
         &TID3v2::Genre, "Pop"},
        {"TCON", "\0(148)"sv, &TID3v2::Genre, ""},
        {"TCON",
         "\0"
         "200"sv,
         &TID3v2::Genre, "200"},
        {"TCON", "\0(RX)"sv, &TID3v2::Genre, ""},
        {"TCON", "\0Rock"sv, &TID3v2::Genre, "Rock"},
        {"TCON", "\0(17) Rock"sv, &TID3v2::Genre, " Rock"},
        {"TCON", "\0(1)(2)Pop "sv, &TID3v2::Genre, "Pop"},
        {"TCON", "\0Rock (live)"sv, &TID3v2::Genre, ""},
        {"TCON", "\0 Jazz \0"sv, &TID3v2::Genre, "Jazz"},
        {"COMM", "\0eng\0Nice"sv, &TID3v2::Comment, "Nice"},
        {"COMM", "\0engA description\0Nice"sv, &TID3v2::Comment, "Nice"},
        {"COMM", "\0eng\0  Nice \x01"sv, &TID3v2::Comment, "Nice"},
        {"COMM", "\0eng\0a\0b"sv, &TID3v2::Comment, "a"},
        // Without a terminator after the description there is no text.
        {"COMM", "\0engNice"sv, &TID3v2::Comment, ""},
        {"COMM",
         "\x01"
         "eng\xFF\xFE"
         "d\0\0\0\xFF\xFEN\0\xE9\0"sv,
         &TID3v2::Comment, "N\u00E9"},
        {"COMM", "\0eng"sv, &TID3v2::Comment, ""},
        {"COMM", "\0"sv, &TID3v2::Comment, ""},
        {"WXXX", "\0\0http://a"sv, &TID3v2::URL, "http://a"},
        {"WXXX", "\0Site\0http://a"sv, &TID3v2::URL, "http://a"},
        {"WXXX", "\0\0 http://a \0"sv, &TID3v2::URL, "http://a"},
        {"WXXX", "\0http://a"sv, &TID3v2::URL, ""},
        {"WXXX", "\x01\xFF\xFEs\0"sv, &TID3v2::URL, ""},
        // The description follows the encoding; the link is Latin-1.
        {"WXXX", "\x01\xFF\xFEs\0\0\0http://\xE9"sv, &TID3v2::URL, "http://\u00E9"},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.id) + " " + std::string(c.data.substr(1)));
        const std::string path = dir.createFile(
            "a.mp3", concat({id3v2Tag(3, id3v2Frame(3, c.id, c.data)), audioBytes(50)}));
        TID3v2 id3;
        ASSERT_TRUE(id3.Load(path));
        EXPECT_EQ((id3.*c.field)(), c.value);
    }
}

TEST(ID3v2Load, TrackRule) {
    struct Case {
        std::optional<std::string_view> text; // nothing: no TRCK frame
        std::uint32_t track;
    };
    const Case cases[] = {
        {"3/12", 3},  {"12", 12},   {"", 0},      {std::nullopt, 0}, {"abc", 0}, {"300", 300},
        {"256", 256}, {"-1", 0},    {"3 /12", 0}, {" 7 \0"sv, 7},    {"7/", 7},  {"/5", 0},
        {"$0A", 10},  {"0x1F", 31}, {"(3)", 0},   {"3/x/y", 3},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? std::string(*c.text) : "no frame");
        Bytes frames = id3v2TextFrame(3, "TIT2", "Title");
        if (c.text)
            append(frames, id3v2TextFrame(3, "TRCK", *c.text));
        const std::string path = dir.createFile("a.mp3", id3v2Tag(3, frames));
        TID3v2 id3;
        ASSERT_TRUE(id3.Load(path));
        EXPECT_EQ(id3.Track(), c.track);
    }
}

TEST(ID3v2Load, OtherMajorVersionsAreRecognisedButNotRead) {
    TestDir dir;
    for (std::uint8_t major : {0, 1, 5, 255}) {
        SCOPED_TRACE(int(major));
        const Bytes t = id3v2Tag(
            major, concat({id3v2TextFrame(3, "TIT2", "Title"), id3v2TextFrame(3, "TRCK", "4")}),
            20);
        TID3v2 id3;
        ASSERT_TRUE(id3.Load(dir.createFile("a.mp3", concat({t, audioBytes(100)}))));
        EXPECT_TRUE(id3.Exists());
        EXPECT_EQ(id3.VersionId(), major);
        EXPECT_EQ(id3.Size(), std::int32_t(t.size()));
        expectNoFields(id3);
    }
}

TEST(ID3v2Load, SizeBytesAreTakenWholeAndMustFitTheFile) {
    struct Case {
        Bytes sizeBytes;
        std::size_t fileSize;
        std::int32_t extent;
        bool titleRead;
    };
    const Case cases[] = {
        {{0, 0, 0x02, 0x01}, 300, 267, true},
        {{0, 0, 0x00, 0xFF}, 300, 265, true},
        {{0, 0, 0x01, 0x80}, 300, 266, true},
        {{0, 0, 0, 0}, 10, 10, false},
        {{0, 0, 0, 90}, 100, 100, true},
        // No frame is read from a tag that does not fit.
        {{0, 0, 0, 91}, 100, 0, false},
        {{0x7F, 0x7F, 0x7F, 0x7F}, 300, 0, false},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 300, 0, false},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extent);
        Bytes content = concat({rawHeader(3, c.sizeBytes), id3v2TextFrame(3, "TIT2", "Title")});
        content.resize(c.fileSize, 0);
        TID3v2 id3;
        ASSERT_TRUE(id3.Load(dir.createFile("a.mp3", content)));
        EXPECT_TRUE(id3.Exists());
        EXPECT_EQ(id3.VersionId(), 3);
        EXPECT_EQ(id3.Size(), c.extent);
        EXPECT_EQ(id3.Title(), c.titleRead ? "Title" : "");
    }
}

TEST(ID3v2Load, FrameWalk) {
    const Bytes title = id3v2TextFrame(3, "TIT2", "Title");
    const Bytes artist = id3v2TextFrame(3, "TPE1", "After");
    const Bytes bigTitle =
        id3v2Frame(3, "TIT2", std::string(1, '\0') + std::string(249, 'a') + std::string(50, 'b'));
    const Bytes longArtist = id3v2Frame(3, "TPE1", std::string(100, 'z'));
    const Bytes bigComment =
        id3v2Frame(3, "COMM", std::string("\0eng\0"sv) + std::string(296, 'x'));
    struct Case {
        std::string name;
        Bytes content; // the whole file
        std::string title, artist, comment;
    };
    const Case cases[] = {
        {"two titles", id3v2Tag(3, concat({title, artist, id3v2TextFrame(3, "TIT2", "Later")})),
         "Later", "After", ""},
        {"unknown frame skipped",
         id3v2Tag(3, concat({title, id3v2TextFrame(3, "XYZ1", "x"), artist})), "Title", "After",
         ""},
        // Values are read whole.
        {"big frames", id3v2Tag(3, concat({bigTitle, bigComment, artist})),
         std::string(249, 'a') + std::string(50, 'b'), "After", std::string(296, 'x')},
        {"padding inside", id3v2Tag(3, concat({title, Bytes(10, 0), artist})), "Title", "", ""},
        {"lower case identifier",
         id3v2Tag(3, concat({title, id3v2TextFrame(3, "tIT2", "x"), artist})), "Title", "", ""},
        {"digit identifier", id3v2Tag(3, concat({title, id3v2TextFrame(3, "1PE1", "x"), artist})),
         "Title", "", ""},
        {"frame after the extent", concat({id3v2Tag(3, title), artist}), "Title", "", ""},
        {"frame across the extent end",
         concat({id3v2Header(3, std::uint32_t(title.size() + 5)), title, artist}), "Title", "", ""},
        {"truncated frame data",
         concat({id3v2Header(3, std::uint32_t(title.size() + 30)), title, prefix(longArtist, 30)}),
         "Title", "", ""},
        {"truncated frame header",
         concat({id3v2Header(3, std::uint32_t(title.size() + 4)), title, bytesOf("TPE1")}), "Title",
         "", ""},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TID3v2 id3;
        ASSERT_TRUE(id3.Load(dir.createFile("a.mp3", c.content)));
        EXPECT_TRUE(id3.Exists());
        EXPECT_EQ(id3.Title(), c.title);
        EXPECT_EQ(id3.Artist(), c.artist);
        EXPECT_EQ(id3.Comment(), c.comment);
    }
}

// Tags of several megabytes: their frames are found and their fields read
// wherever they lie, across whatever reads the walk makes.
TEST(ID3v2Load, TagsOfManyMegabytes) {
    constexpr std::size_t MB = 1 << 20;
    // Picture data that is never zero, so that no misread size lands on padding.
    auto picture = [](std::size_t size) {
        std::string data("\0image/png\0\x03\0"sv);
        for (std::size_t i = 0; data.size() < size; ++i)
            data.push_back(static_cast<char>(1 + i * 37 % 255));
        return data;
    };
    // Frames made by `frame(i)` for i = 0, 1... until they hold `size` bytes.
    auto framesUpTo = [](std::size_t size, auto frame) {
        Bytes out;
        for (std::size_t i = 0; out.size() < size; ++i) {
            const Bytes one = frame(i);
            out.insert(out.end(), one.begin(), one.end());
        }
        return out;
    };
    // Private comments of every length from 1 to 97, so that the reads end in
    // every part of one.
    const Bytes privateComments = framesUpTo(6 * MB, [](std::size_t i) {
        return id3v2Frame(3, "COMM",
                          std::string("\0engiTunNORM\0"sv) + std::string(1 + i % 97, 'n'));
    });
    std::size_t last = 0;
    const Bytes manyTitles = framesUpTo(3 * MB, [&last](std::size_t i) {
        last = i;
        return concat({id3v2TextFrame(3, "TIT2", "T" + std::to_string(i)),
                       id3v2Frame(3, "WXXX", std::string("\0\0http://a/"sv) + std::to_string(i))});
    });
    // A 2.4 tag as iTunes wrote them, sizes as plain numbers: only a reading
    // that checks the padding up to its far end picks them.
    auto plainSized24 = [](std::string_view id, std::string_view data) {
        return concat(
            {bytesOf(id), bigEndian32(std::uint32_t(data.size())), Bytes{0, 0}, bytesOf(data)});
    };
    const Bytes plainPictures =
        framesUpTo(4 * MB, [&](std::size_t) { return plainSized24("APIC", picture(300)); });

    struct Case {
        std::string name;
        Bytes tag;
        std::string title, artist, comment, url;
    };
    const Case cases[] = {
        {"a picture of megabytes between the fields",
         id3v2Tag(
             3,
             concat({id3v2TextFrame(3, "TIT2", "Title"), id3v2Frame(3, "APIC", picture(5 * MB)),
                     id3v2TextFrame(3, "TPE1", "Artist"),
                     id3v2Frame(3, "COMM", "\0eng\0Comment"sv)}),
             3 * MB),
         "Title", "Artist", "Comment", ""},
        {"a title larger than the rest of the tag",
         id3v2Tag(3, concat({id3v2TextFrame(3, "TIT2", std::string(3 * MB, 'a')),
                             id3v2TextFrame(3, "TPE1", "Artist")})),
         std::string(3 * MB, 'a'), "Artist", "", ""},
        {"megabytes of private comments, then a described one",
         id3v2Tag(3, concat({privateComments, id3v2TextFrame(3, "TPE1", "Artist"),
                             id3v2Frame(3, "COMM", "\0engd\0Comment"sv)})),
         "", "Artist", "Comment", ""},
        {"the last of many titles and links",
         id3v2Tag(3, concat({manyTitles, id3v2Frame(3, "WXXX", "\0no terminator"sv)}), 100),
         "T" + std::to_string(last), "", "", "http://a/" + std::to_string(last)},
        {"a 2.4 tag of plain sizes and megabytes of padding",
         id3v2Tag(4,
                  concat({plainSized24("TIT2", "\0Title"sv), plainPictures,
                          plainSized24("TPE1", "\0Artist"sv)}),
                  3 * MB),
         "Title", "Artist", "", ""},
        // Read with syncsafe sizes, the private frame ends 3 MB before the
        // artist, in what looks like padding up to it.
        {"a 2.4 tag whose plain sizes alone lead past megabytes of zeros",
         id3v2Tag(4, concat({bytesOf("PRIV"), Bytes{0, 0x40, 0, 6, 0, 0}, bytesOf("owner\0"sv),
                             Bytes(4 * MB, 0), id3v2TextFrame(4, "TPE1", "Artist")})),
         "", "Artist", "", ""},
        {"a 2.2 tag with a picture of megabytes",
         id3v2Tag(2, concat({id3v2TextFrame(2, "TT2", "Title"),
                             id3v2Frame(2, "PIC", std::string("\0PNG\x03\0"sv) + picture(4 * MB)),
                             id3v2TextFrame(2, "TP1", "Artist"),
                             id3v2Frame(2, "COM", "\0eng\0Comment"sv)})),
         "Title", "Artist", "Comment", ""},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TID3v2 id3;
        ASSERT_TRUE(id3.Load(dir.createFile("a.mp3", concat({c.tag, cbrFrames()}))));
        EXPECT_EQ(id3.Size(), std::int32_t(c.tag.size()));
        EXPECT_EQ(id3.Title(), c.title);
        EXPECT_EQ(id3.Artist(), c.artist);
        EXPECT_EQ(id3.Comment(), c.comment);
        EXPECT_EQ(id3.URL(), c.url);
    }
}

TEST(ID3v2Load, NeedsTenReadableBytes) {
    struct Case {
        Bytes content;
        bool loaded, exists;
    };
    const Case cases[] = {
        {{}, false, false},
        {prefix(id3v2Header(3, 0), 9), false, false},
        {concat({bytesOf("id3"), Bytes{3, 0, 0, 0, 0, 0, 0}, audioBytes(20)}), true, false},
        {audioBytes(2000), true, false},
        {id3v2Header(3, 0), true, true},
    };
    TestDir dir;
    const std::string tagged =
        dir.createFile("tagged.mp3", id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Old")));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content.size());
        TID3v2 id3;
        ASSERT_TRUE(id3.Load(tagged));
        EXPECT_EQ(id3.Load(dir.createFile("a.mp3", c.content)), c.loaded);
        EXPECT_EQ(id3.Exists(), c.exists);
        EXPECT_EQ(id3.VersionId(), c.exists ? 3 : 0);
        EXPECT_EQ(id3.Size(), c.exists ? 10 : 0);
        expectNoFields(id3);
    }
    TID3v2 id3;
    EXPECT_FALSE(id3.Load(dir.file("missing.mp3")));
}

TEST(ID3v2Setters, TrimBothEnds) {
    using Setter = void (TID3v2::*)(std::string_view);
    const std::pair<Setter, Getter> fields[] = {
        {&TID3v2::SetTitle, &TID3v2::Title},
        {&TID3v2::SetArtist, &TID3v2::Artist},
        {&TID3v2::SetAlbum, &TID3v2::Album},
        {&TID3v2::SetYear, &TID3v2::Year},
        {&TID3v2::SetGenre, &TID3v2::Genre},
        {&TID3v2::SetComment, &TID3v2::Comment},
        {&TID3v2::SetComposer, &TID3v2::Composer},
        {&TID3v2::SetEncoder, &TID3v2::Encoder},
        {&TID3v2::SetCopyright, &TID3v2::Copyright},
        {&TID3v2::SetLanguage, &TID3v2::Language},
        {&TID3v2::SetURL, &TID3v2::URL},
    };
    const std::string longText(300, 'q');
    const std::pair<std::string, std::string> texts[] = {
        {"  a b  ", "a b"},
        {std::string("\0\x01x\0y\x1F\n"sv), std::string("x\0y"sv)},
        {"\u00A0x\u00FF", "\u00A0x\u00FF"},
        {" \t ", ""},
        {longText, longText},
    };
    for (const auto& [set, get] : fields) {
        for (const auto& [text, stored] : texts) {
            SCOPED_TRACE(text);
            TID3v2 id3;
            (id3.*set)(text);
            EXPECT_EQ((id3.*get)(), stored);
        }
    }
}

TEST(ID3v2Save, WritesTheFramesInTableOrder) {
    TestDir dir;
    const Bytes body = audioBytes(300);
    const std::string path = dir.createFile("a.mp3", body);
    TID3v2 id3;
    id3.SetURL("http://q");
    id3.SetLanguage("eng");
    id3.SetCopyright("Cp");
    id3.SetEncoder("En");
    id3.SetComposer("Co");
    id3.SetComment("Hi");
    id3.SetGenre("Rock");
    id3.SetYear("1999");
    id3.SetTrack(7);
    id3.SetAlbum("Al");
    id3.SetArtist("Ar");
    id3.SetTitle("T");
    ASSERT_TRUE(id3.Save(path));

    // 38 value bytes + 12 x 11 = 170, with 1024 of padding 1194 = 9 x 128 + 42.
    const Bytes expected = concat({
        bytesOf("ID3"),
        Bytes{3, 0, 0, 0, 0, 0x09, 0x2A},
        id3v2TextFrame(3, "TIT2", "T"),
        id3v2TextFrame(3, "TPE1", "Ar"),
        id3v2TextFrame(3, "TALB", "Al"),
        id3v2TextFrame(3, "TRCK", "7"),
        id3v2TextFrame(3, "TYER", "1999"),
        id3v2TextFrame(3, "TCON", "Rock"),
        id3v2TextFrame(3, "COMM", "eng\0Hi"sv),
        id3v2TextFrame(3, "TCOM", "Co"),
        id3v2TextFrame(3, "TENC", "En"),
        id3v2TextFrame(3, "TCOP", "Cp"),
        id3v2TextFrame(3, "TLAN", "eng"),
        id3v2TextFrame(3, "WXXX", "\0http://q"sv),
        Bytes(rebuildPadding(body.size()), 0),
        body,
    });
    EXPECT_EQ(readFile(path), expected);

    TID3v2 loaded;
    ASSERT_TRUE(loaded.Load(path));
    EXPECT_EQ(loaded.VersionId(), 3);
    EXPECT_EQ(loaded.Size(), 1204);
    EXPECT_EQ(loaded.Title(), "T");
    EXPECT_EQ(loaded.Track(), 7);
    EXPECT_EQ(loaded.Genre(), "Rock");
    EXPECT_EQ(loaded.Comment(), "Hi");
    EXPECT_EQ(loaded.Language(), "eng");
    EXPECT_EQ(loaded.URL(), "http://q");
}

TEST(ID3v2Save, SizeIsWrittenInSevenBitGroups) {
    struct Case {
        std::size_t titleLength;
        Bytes sizeBytes;
    };
    // A frame of the title takes 11 bytes more than it, and 1024 bytes of padding follow.
    const Case cases[] = {
        {1, {0, 0, 8, 12}},
        {117, {0, 0, 9, 0}},
        {189, {0, 0, 9, 0x48}},
        {16384 - 1035, {0, 1, 0, 0}},
        {(1u << 21) - 1035, {1, 0, 0, 0}},
    };
    TestDir dir;
    const Bytes body = audioBytes(100);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.titleLength);
        const std::string path = dir.createFile("a.mp3", body);
        const std::string title(c.titleLength, 't');
        TID3v2 id3;
        id3.SetTitle(title);
        ASSERT_TRUE(id3.Save(path));
        EXPECT_EQ(readFile(path), concat({bytesOf("ID3"), Bytes{3, 0, 0}, c.sizeBytes,
                                          id3v2TextFrame(3, "TIT2", title),
                                          Bytes(rebuildPadding(body.size()), 0), body}));
    }
}

TEST(ID3v2Save, TrackIsWrittenInDecimal) {
    TestDir dir;
    for (int track : {1, 10, 255, 1000}) {
        SCOPED_TRACE(track);
        const std::string path = dir.createFile("a.mp3", audioBytes(20));
        TID3v2 id3;
        id3.SetTrack(std::uint32_t(track));
        ASSERT_TRUE(id3.Save(path));
        EXPECT_EQ(readFile(path),
                  concat({id3v2Tag(3, id3v2TextFrame(3, "TRCK", std::to_string(track)),
                                   rebuildPadding(20)),
                          audioBytes(20)}));
        TID3v2 loaded;
        ASSERT_TRUE(loaded.Load(path));
        EXPECT_EQ(loaded.Track(), std::uint32_t(track));
    }
}

TEST(ID3v2Save, EmptyFieldsGiveATagOfPaddingAlone) {
    TestDir dir;
    const Bytes body = audioBytes(64);
    const std::string path = dir.createFile("a.mp3", body);
    ASSERT_TRUE(TID3v2().Save(path));
    EXPECT_EQ(readFile(path),
              concat({bytesOf("ID3"), Bytes{3, 0, 0, 0, 0, 8, 0}, Bytes(1024, 0), body}));

    TID3v2 loaded;
    ASSERT_TRUE(loaded.Load(path));
    EXPECT_TRUE(loaded.Exists());
    EXPECT_EQ(loaded.VersionId(), 3);
    EXPECT_EQ(loaded.Size(), 1034);
    expectNoFields(loaded);
}

TEST(ID3v2Save, ReplacesTheOldExtent) {
    const Bytes body = audioBytes(700);
    const Bytes bigDeclared =
        concat({id3v2Header(3, 5000), id3v2TextFrame(3, "TIT2", "Old"), audioBytes(40)});
    const Bytes newTitle = id3v2TextFrame(3, "TIT2", "New");
    struct Case {
        std::string name;
        Bytes content;
        Bytes expected;
    };
    const Case cases[] = {
        {"no tag", body, concat({id3v2Tag(3, newTitle, rebuildPadding(body.size())), body})},
        {"revision 2.3 with padding",
         concat(
             {id3v2Tag(
                  3, concat({id3v2TextFrame(3, "TIT2", "Old"), id3v2TextFrame(3, "TPE1", "Band")}),
                  200),
              body}),
         concat({id3v2Tag(3, concat({newTitle, id3v2TextFrame(3, "TPE1", "Band")}), 200), body})},
        {"revision 2.2", concat({id3v2Tag(2, bytesOf("TT2\0\0\x04\0Old"sv)), body}),
         concat({id3v2Tag(3, newTitle, rebuildPadding(body.size())), body})},
        {"revision 2.4", concat({id3v2Tag(4, id3v2TextFrame(3, "TIT2", "Old"), 30), body}),
         concat({id3v2Tag(4, newTitle, 30), body})},
        {"tag only", id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Old")), id3v2Tag(3, newTitle)},
        // A size that does not fit: the whole file stays behind the new tag.
        {"declared size beyond the file", bigDeclared,
         concat({id3v2Tag(3, newTitle, rebuildPadding(bigDeclared.size())), bigDeclared})},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.createFile("a.mp3", c.content);
        TID3v2 id3;
        id3.SetTitle("New");
        ASSERT_TRUE(id3.Save(path));
        EXPECT_EQ(readFile(path), c.expected);
        EXPECT_FALSE(fileExists(path + "~"));
    }
}

TEST(ID3v2Strip, RemovesTheDeclaredExtent) {
    const Bytes body = audioBytes(700);
    const Bytes bigDeclared =
        concat({id3v2Header(3, 5000), id3v2TextFrame(3, "TIT2", "Old"), audioBytes(40)});
    struct Case {
        std::string name;
        Bytes content;
        Bytes left;
    };
    const Case cases[] = {
        {"revision 2.3", concat({id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Old"), 100), body}), body},
        {"revision 2.4", concat({id3v2Tag(4, id3v2TextFrame(3, "TIT2", "Old"), 30), body}), body},
        {"header only", concat({id3v2Header(3, 0), body}), body},
        {"declared size beyond the file", bigDeclared, bigDeclared},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.createFile("a.mp3", c.content);
        ASSERT_TRUE(TID3v2().Strip(path));
        EXPECT_EQ(readFile(path), c.left);
        EXPECT_FALSE(fileExists(path + "~"));
    }
}

TEST(ID3v2, SaveAndStripFailOnShortOrMissingFiles) {
    TestDir dir;
    for (const Bytes& content : {Bytes{}, prefix(id3v2Header(3, 0), 9)}) {
        SCOPED_TRACE(content.size());
        const std::string path = dir.createFile("a.mp3", content);
        TID3v2 id3;
        id3.SetTitle("New");
        EXPECT_FALSE(id3.Save(path));
        EXPECT_FALSE(id3.Strip(path));
        EXPECT_EQ(readFile(path), content);
        EXPECT_FALSE(fileExists(path + "~"));
    }
    const std::string missing = dir.file("missing.mp3");
    TID3v2 id3;
    id3.SetTitle("New");
    EXPECT_FALSE(id3.Save(missing));
    EXPECT_FALSE(id3.Strip(missing));
    EXPECT_FALSE(fileExists(missing));
    EXPECT_FALSE(fileExists(missing + "~"));
}
