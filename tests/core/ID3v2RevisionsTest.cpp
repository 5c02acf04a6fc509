// The layouts of revisions 2.2, 2.3 and 2.4 (frame headers, flags,
// unsynchronisation, extended headers, footers, several values), and what a
// save keeps of them: every frame but the changed ones, and the revision.
#include "tags/ID3v2.h"

#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

using namespace quillon;

using namespace std::string_view_literals;

namespace {

// Inserts a zero after every 0xFF, as unsynchronisation does (enough for
// these fixtures, whose 0xFF bytes are never followed by a high byte).
Bytes unsynchronised(const Bytes& data) {
    Bytes out;
    for (std::uint8_t b : data) {
        out.push_back(b);
        if (b == 0xFF)
            out.push_back(0);
    }
    return out;
}

TID3v2 loaded(const std::string& path) {
    TID3v2 id3;
    EXPECT_TRUE(id3.Load(path));
    return id3;
}

} // namespace

TEST(ID3v2Revisions, FramesOfEachLayout) {
    const std::string title16 = std::string("\x01\xFF\xFE"
                                            "T\0\xFF\0t\0",
                                            9); // "Tÿt"
    const Bytes title23 = id3v2Frame(3, "TIT2", title16);
    const Bytes title24 = id3v2Frame(4, "TIT2", title16);
    const Bytes big24 =
        id3v2Frame(4, "TPE1", "\x03" + std::string(200, 'a')); // size needs two groups
    const Bytes dataLength =
        concat({bytesOf("TALB"), syncsafe(6), Bytes{0, 0x01}, syncsafe(2), bytesOf("\0A"sv)});
    struct Case {
        std::string name;
        Bytes file;
        std::string title, artist, album;
        std::int32_t size;
    };
    const Case cases[] = {
        {"2.2",
         id3v2Tag(2, concat({id3v2TextFrame(2, "TT2", "Title"), id3v2TextFrame(2, "TP1", "Band"),
                             id3v2TextFrame(2, "TAL", "LP")})),
         "Title", "Band", "LP", 0},
        {"2.2 compressed", id3v2Tag(2, id3v2TextFrame(2, "TT2", "Title"), 0, 0x40), "", "", "", 0},
        {"2.3 unsynchronised", id3v2Tag(3, unsynchronised(title23), 0, 0x80), "T\u00FFt", "", "",
         0},
        {"2.3 extended header",
         id3v2Tag(3, concat({bigEndian32(6), Bytes(6, 0), title23}), 0, 0x40), "T\u00FFt", "", "",
         0},
        {"2.3 grouped frame", id3v2Tag(3, id3v2Frame(3, "TIT2", "\x07\0Grouped"sv, 0, 0x20)),
         "Grouped", "", "", 0},
        {"2.3 compressed frame", id3v2Tag(3, id3v2Frame(3, "TIT2", "\0\0\0\x05xyz"sv, 0, 0x80)), "",
         "", "", 0},
        {"2.4", id3v2Tag(4, concat({title24, big24})), "T\u00FFt", std::string(200, 'a'), "", 0},
        {"2.4 unsynchronised frame",
         id3v2Tag(4, concat({bytesOf("TIT2"), syncsafe(11), Bytes{0, 0x02},
                             unsynchronised(bytesOf(title16))})),
         "T\u00FFt", "", "", 0},
        {"2.4 extended header", id3v2Tag(4, concat({syncsafe(6), Bytes{1, 0}, title24}), 0, 0x40),
         "T\u00FFt", "", "", 0},
        {"2.4 data length indicator", id3v2Tag(4, dataLength), "", "", "A", 0},
        {"2.4 footer",
         concat({id3v2Tag(4, title24, 0, 0x10), bytesOf("3DI"), Bytes{4, 0, 0x10},
                 syncsafe(std::uint32_t(title24.size())), audioBytes(30)}),
         "T\u00FFt", "", "", std::int32_t(20 + title24.size())},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = c.size ? c.file : concat({c.file, audioBytes(30)});
        const TID3v2 id3 = loaded(dir.createFile("a.mp3", file));
        EXPECT_TRUE(id3.Exists());
        EXPECT_EQ(id3.Title(), c.title);
        EXPECT_EQ(id3.Artist(), c.artist);
        EXPECT_EQ(id3.Album(), c.album);
        EXPECT_EQ(id3.Size(), c.size ? c.size : std::int32_t(c.file.size()));
    }
}

// In 2.4 a frame's size counts the bytes that unsynchronisation added.
TEST(ID3v2Revisions, UnsynchronisedTagOf24UndoesEachFrame) {
    const Bytes data = unsynchronised(bytesOf("\x01\xFF\xFE"
                                              "T\0\xFF\0t\0"sv));
    const Bytes f =
        concat({bytesOf("TIT2"), syncsafe(std::uint32_t(data.size())), Bytes{0, 0}, data});
    TestDir dir;
    EXPECT_EQ(
        loaded(dir.createFile("a.mp3", concat({id3v2Tag(4, f, 0, 0x80), audioBytes(30)}))).Title(),
        "T\u00FFt");
}

TEST(ID3v2Revisions, ValuesYearCommentAndGenrePerRevision) {
    struct Case {
        std::string name;
        int major;
        Bytes frames;
        std::string title, year, comment, genre;
    };
    const Case cases[] = {
        {"2.4 several values", 4, id3v2Frame(4, "TIT2", "\x03One\0\0Two\0"sv), "One/Two", "", "",
         ""},
        {"2.4 several UTF-16 values", 4,
         id3v2Frame(4, "TIT2",
                    "\x01\xFF\xFE"
                    "A\0\0\0\xFF\xFE"
                    "B\0"sv),
         "A/B", "", "", ""},
        {"2.3 first value", 3, id3v2TextFrame(3, "TIT2", "One\0Two"sv), "One", "", "", ""},
        {"2.4 genres", 4,
         id3v2Frame(4, "TCON",
                    "\x03"
                    "13\0Rock"sv),
         "", "", "", "13/Rock"},
        {"2.4 genre number", 4, id3v2TextFrame(4, "TCON", "17"), "", "", "", "Rock"},
        {"2.3 TYER before TDRC", 3,
         concat({id3v2TextFrame(3, "TDRC", "2001"), id3v2TextFrame(3, "TYER", "1999")}), "", "1999",
         "", ""},
        {"2.3 TDRC alone", 3, id3v2TextFrame(3, "TDRC", "2001"), "", "2001", "", ""},
        {"2.4 TDRC before TYER", 4,
         concat({id3v2TextFrame(4, "TYER", "1999"), id3v2TextFrame(4, "TDRC", "2001-05")}), "",
         "2001-05", "", ""},
        {"2.2 TYE", 2, id3v2TextFrame(2, "TYE", "1987"), "", "1987", "", ""},
        {"comment without description first", 3,
         concat({id3v2TextFrame(3, "COMM", "engiTunNORM\0 000001"sv),
                 id3v2TextFrame(3, "COMM", "eng\0Mine"sv),
                 id3v2TextFrame(3, "COMM", "eng\0Later"sv)}),
         "", "", "Mine", ""},
        {"else the last comment", 3,
         concat({id3v2TextFrame(3, "COMM", "engA\0First"sv),
                 id3v2TextFrame(3, "COMM", "engB\0Last"sv)}),
         "", "", "Last", ""},
        {"2.2 COM", 2, id3v2TextFrame(2, "COM", "eng\0Old"sv), "", "", "Old", ""},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TID3v2 id3 =
            loaded(dir.createFile("a.mp3", concat({id3v2Tag(c.major, c.frames), audioBytes(30)})));
        EXPECT_EQ(id3.Title(), c.title);
        EXPECT_EQ(id3.Year(), c.year);
        EXPECT_EQ(id3.Comment(), c.comment);
        EXPECT_EQ(id3.Genre(), c.genre);
    }
}

// A save changes only the fields that differ from what was loaded, keeps the
// revision and every other frame as it was, and writes text in the encoding
// that holds it.
TEST(ID3v2Revisions, SaveChangesOnlyWhatChanged) {
    const Bytes apic =
        id3v2Frame(3, "APIC", std::string("\0image/png\0\x03\0\x89PNG\xFF\x00\x01"sv));
    const Bytes body = audioBytes(400);
    struct Case {
        std::string name;
        Bytes before;
        void (*edit)(TID3v2&);
        Bytes after;
    };
    const Case cases[] = {
        {"nothing changed keeps a 2.3 tag",
         id3v2Tag(3, concat({id3v2TextFrame(3, "TCON", "(17)"), id3v2TextFrame(3, "TRCK", "3/12"), apic})), [](TID3v2&) {},
         id3v2Tag(3, concat({id3v2TextFrame(3, "TCON", "(17)"), id3v2TextFrame(3, "TRCK", "3/12"), apic}))},
        {"a changed track keeps its total", id3v2Tag(3, concat({id3v2TextFrame(3, "TRCK", "3/12"), apic})),
         [](TID3v2& t) { t.SetTrack(5); }, id3v2Tag(3, concat({id3v2TextFrame(3, "TRCK", "5/12"), apic}))},
        {"an emptied field removes every frame of its id",
         id3v2Tag(3, concat({id3v2TextFrame(3, "TPE1", "A"), apic, id3v2TextFrame(3, "TPE1", "B")})),
         [](TID3v2& t) { t.SetArtist(""); }, id3v2Tag(3, apic)},
        {"a new field is added after the others", id3v2Tag(3, apic), [](TID3v2& t) { t.SetAlbum("LP"); },
         id3v2Tag(3, concat({apic, id3v2TextFrame(3, "TALB", "LP")}))},
        {"the comment keeps its language and description; other comments stay",
         id3v2Tag(3, concat({id3v2TextFrame(3, "COMM", "engiTunNORM\0 01"sv), id3v2TextFrame(3, "COMM", "deu\0Alt"sv)})),
         [](TID3v2& t) { t.SetComment("Neu"); },
         id3v2Tag(3, concat({id3v2TextFrame(3, "COMM", "engiTunNORM\0 01"sv), id3v2TextFrame(3, "COMM", "deu\0Neu"sv)}))},
        {"text outside Latin-1 is UTF-16 in 2.3", id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Old")),
         [](TID3v2& t) { t.SetTitle("\u0416"); },
         id3v2Tag(3, id3v2Frame(3, "TIT2", "\x01\xFF\xFE\x16\x04"sv))},
        {"2.4 stays 2.4 with UTF-8 and TDRC", id3v2Tag(4, concat({id3v2TextFrame(4, "TIT2", "Old"), apic})),
         [](TID3v2& t) {
             t.SetTitle("\u0416");
             t.SetYear("2020");
         },
         id3v2Tag(4, concat({id3v2Frame(4, "TIT2", "\x03\xD0\x96"sv), apic, id3v2TextFrame(4, "TDRC", "2020")}))},
        {"2.4 unsynchronised frames are stored resynchronised",
         id3v2Tag(4, concat({bytesOf("PRIV"), syncsafe(4), Bytes{0, 0x02}, Bytes{'a', 0xFF, 0x00, 0xE0}})),
         [](TID3v2& t) { t.SetTitle("T"); },
         id3v2Tag(4, concat({bytesOf("PRIV"), syncsafe(3), Bytes{0, 0}, Bytes{'a', 0xFF, 0xE0},
                        id3v2TextFrame(4, "TIT2", "T")}))},
        {"2.2 becomes 2.3",
         id3v2Tag(2, concat({id3v2TextFrame(2, "TT2", "Old"), id3v2Frame(2, "PIC", "\0JPG\x03\0\xFF\xD8"sv),
                        id3v2TextFrame(2, "CRM", "x")})),
         [](TID3v2& t) { t.SetTitle("New"); },
         id3v2Tag(3, concat({id3v2TextFrame(3, "TIT2", "New"), id3v2Frame(3, "APIC", "\0image/jpeg\0\x03\0\xFF\xD8"sv)}))},
        {"2.2 frames of iTunes and links have 2.3 counterparts",
         id3v2Tag(2, concat({id3v2TextFrame(2, "TT2", "Old"), id3v2TextFrame(2, "GP1", "Group"),
                        id3v2TextFrame(2, "MVN", "Largo"), id3v2TextFrame(2, "MVI", "2/4"),
                        id3v2Frame(2, "LNK", "TT2http://x\0more"sv), id3v2Frame(2, "LNK", "XYZhttp://y\0"sv)})),
         [](TID3v2& t) { t.SetTitle("New"); },
         id3v2Tag(3, concat({id3v2TextFrame(3, "TIT2", "New"), id3v2TextFrame(3, "GRP1", "Group"),
                        id3v2TextFrame(3, "MVNM", "Largo"), id3v2TextFrame(3, "MVIN", "2/4"),
                        id3v2Frame(3, "LINK", "TIT2http://x\0more"sv)}))},
        {"a 2.3 extended header and unsynchronisation are dropped",
         id3v2Tag(3, unsynchronised(concat({bigEndian32(6), Bytes(6, 0), apic})), 0, 0xC0),
         [](TID3v2& t) { t.SetTitle("T"); }, id3v2Tag(3, concat({apic, id3v2TextFrame(3, "TIT2", "T")}))},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.createFile("a.mp3", concat({c.before, body}));
        TID3v2 id3 = loaded(path);
        c.edit(id3);
        ASSERT_TRUE(id3.Save(path));
        EXPECT_EQ(readFile(path), concat({savedTag(c.after, c.before.size(), body.size()), body}));
    }
}

// Bytes that a tag's size covers but that are neither frames nor zero padding
// (audio, under a damaged size) are kept by a save and a strip.
TEST(ID3v2Revisions, BytesPastTheFramesAndPaddingAreKept) {
    const Bytes frames = id3v2TextFrame(3, "TIT2", "Old");
    const Bytes body = audioBytes(600);
    const Bytes covered(body.begin(), body.begin() + 300);
    const Bytes damaged = concat({id3v2Tag(3, frames, 20, 0), body});
    // The size says 20 bytes of padding and 300 more.
    Bytes file = damaged;
    const Bytes size = syncsafe(std::uint32_t(frames.size() + 20 + 300));
    std::copy(size.begin(), size.end(), file.begin() + 6);
    TestDir dir;
    const std::string path = dir.createFile("a.mp3", file);
    TID3v2 id3 = loaded(path);
    EXPECT_EQ(id3.Title(), "Old");
    id3.SetTitle("New");
    ASSERT_TRUE(id3.Save(path));
    // The new tag takes the room of the frames and the zero padding, nothing past it.
    EXPECT_EQ(readFile(path), concat({id3v2Tag(3, id3v2TextFrame(3, "TIT2", "New"), 20), body}));
    ASSERT_TRUE(TID3v2().Strip(path));
    EXPECT_EQ(readFile(path), body);
}
