// The layouts of revisions 2.2, 2.3 and 2.4 (frame headers, flags,
// unsynchronisation, extended headers, footers, several values), and what a
// save keeps of them: every frame but the changed ones, and the revision.
#include "tags/ID3v2.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

using namespace std::string_view_literals;

namespace {

Bytes audio(std::size_t size) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(i < 2 ? 0xFF - 4 * i : i % 251);
    return b;
}

Bytes syncsafe(std::uint32_t v) {
    return {std::uint8_t(v >> 21 & 0x7F), std::uint8_t(v >> 14 & 0x7F), std::uint8_t(v >> 7 & 0x7F),
            std::uint8_t(v & 0x7F)};
}

Bytes bigEndian32(std::uint32_t v) {
    return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}

// A frame of revision `major` around raw `data` (encoding byte included).
Bytes frame(int major, std::string_view id, std::string_view data, std::uint8_t format = 0) {
    const auto n = std::uint32_t(data.size());
    if (major == 2)
        return concat({bytesOf(id),
                       Bytes{std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)},
                       bytesOf(data)});
    return concat(
        {bytesOf(id), major == 4 ? syncsafe(n) : bigEndian32(n), Bytes{0, format}, bytesOf(data)});
}

Bytes text(int major, std::string_view id, std::string_view value) {
    return frame(major, id, std::string(1, '\0') + std::string(value));
}

Bytes tag(int major, const Bytes& body, std::uint8_t flags = 0, std::size_t padding = 0) {
    return concat({bytesOf("ID3"), Bytes{std::uint8_t(major), 0, flags},
                   syncsafe(std::uint32_t(body.size() + padding)), body, Bytes(padding, 0)});
}

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
    const Bytes title23 = frame(3, "TIT2", title16);
    const Bytes title24 = frame(4, "TIT2", title16);
    const Bytes big24 = frame(4, "TPE1", "\x03" + std::string(200, 'a')); // size needs two groups
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
         tag(2, concat({text(2, "TT2", "Title"), text(2, "TP1", "Band"), text(2, "TAL", "LP")})),
         "Title", "Band", "LP", 0},
        {"2.2 compressed", tag(2, text(2, "TT2", "Title"), 0x40), "", "", "", 0},
        {"2.3 unsynchronised", tag(3, unsynchronised(title23), 0x80), "T\u00FFt", "", "", 0},
        {"2.3 extended header", tag(3, concat({bigEndian32(6), Bytes(6, 0), title23}), 0x40),
         "T\u00FFt", "", "", 0},
        {"2.3 grouped frame", tag(3, frame(3, "TIT2", "\x07\0Grouped"sv, 0x20)), "Grouped", "", "",
         0},
        {"2.3 compressed frame", tag(3, frame(3, "TIT2", "\0\0\0\x05xyz"sv, 0x80)), "", "", "", 0},
        {"2.4", tag(4, concat({title24, big24})), "T\u00FFt", std::string(200, 'a'), "", 0},
        {"2.4 unsynchronised frame",
         tag(4, concat({bytesOf("TIT2"), syncsafe(11), Bytes{0, 0x02},
                        unsynchronised(bytesOf(title16))})),
         "T\u00FFt", "", "", 0},
        {"2.4 extended header", tag(4, concat({syncsafe(6), Bytes{1, 0}, title24}), 0x40),
         "T\u00FFt", "", "", 0},
        {"2.4 data length indicator", tag(4, dataLength), "", "", "A", 0},
        {"2.4 footer",
         concat({tag(4, title24, 0x10), bytesOf("3DI"), Bytes{4, 0, 0x10},
                 syncsafe(std::uint32_t(title24.size())), audio(30)}),
         "T\u00FFt", "", "", std::int32_t(20 + title24.size())},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = c.size ? c.file : concat({c.file, audio(30)});
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
    EXPECT_EQ(loaded(dir.createFile("a.mp3", concat({tag(4, f, 0x80), audio(30)}))).Title(),
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
        {"2.4 several values", 4, frame(4, "TIT2", "\x03One\0\0Two\0"sv), "One/Two", "", "", ""},
        {"2.4 several UTF-16 values", 4,
         frame(4, "TIT2",
               "\x01\xFF\xFE"
               "A\0\0\0\xFF\xFE"
               "B\0"sv),
         "A/B", "", "", ""},
        {"2.3 first value", 3, text(3, "TIT2", "One\0Two"sv), "One", "", "", ""},
        {"2.4 genres", 4,
         frame(4, "TCON",
               "\x03"
               "13\0Rock"sv),
         "", "", "", "13/Rock"},
        {"2.4 genre number", 4, text(4, "TCON", "17"), "", "", "", "Rock"},
        {"2.3 TYER before TDRC", 3, concat({text(3, "TDRC", "2001"), text(3, "TYER", "1999")}), "",
         "1999", "", ""},
        {"2.3 TDRC alone", 3, text(3, "TDRC", "2001"), "", "2001", "", ""},
        {"2.4 TDRC before TYER", 4, concat({text(4, "TYER", "1999"), text(4, "TDRC", "2001-05")}),
         "", "2001-05", "", ""},
        {"2.2 TYE", 2, text(2, "TYE", "1987"), "", "1987", "", ""},
        {"comment without description first", 3,
         concat({text(3, "COMM", "engiTunNORM\0 000001"sv), text(3, "COMM", "eng\0Mine"sv),
                 text(3, "COMM", "eng\0Later"sv)}),
         "", "", "Mine", ""},
        {"else the last comment", 3,
         concat({text(3, "COMM", "engA\0First"sv), text(3, "COMM", "engB\0Last"sv)}), "", "",
         "Last", ""},
        {"2.2 COM", 2, text(2, "COM", "eng\0Old"sv), "", "", "Old", ""},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TID3v2 id3 =
            loaded(dir.createFile("a.mp3", concat({tag(c.major, c.frames), audio(30)})));
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
    const Bytes apic = frame(3, "APIC", std::string("\0image/png\0\x03\0\x89PNG\xFF\x00\x01"sv));
    const Bytes body = audio(400);
    struct Case {
        std::string name;
        Bytes before;
        void (*edit)(TID3v2&);
        Bytes after;
    };
    const Case cases[] = {
        {"nothing changed keeps a 2.3 tag",
         tag(3, concat({text(3, "TCON", "(17)"), text(3, "TRCK", "3/12"), apic})), [](TID3v2&) {},
         tag(3, concat({text(3, "TCON", "(17)"), text(3, "TRCK", "3/12"), apic}))},
        {"a changed track keeps its total", tag(3, concat({text(3, "TRCK", "3/12"), apic})),
         [](TID3v2& t) { t.SetTrack(5); }, tag(3, concat({text(3, "TRCK", "5/12"), apic}))},
        {"an emptied field removes every frame of its id",
         tag(3, concat({text(3, "TPE1", "A"), apic, text(3, "TPE1", "B")})),
         [](TID3v2& t) { t.SetArtist(""); }, tag(3, apic)},
        {"a new field is added after the others", tag(3, apic), [](TID3v2& t) { t.SetAlbum("LP"); },
         tag(3, concat({apic, text(3, "TALB", "LP")}))},
        {"the comment keeps its language and description; other comments stay",
         tag(3, concat({text(3, "COMM", "engiTunNORM\0 01"sv), text(3, "COMM", "deu\0Alt"sv)})),
         [](TID3v2& t) { t.SetComment("Neu"); },
         tag(3, concat({text(3, "COMM", "engiTunNORM\0 01"sv), text(3, "COMM", "deu\0Neu"sv)}))},
        {"text outside Latin-1 is UTF-16 in 2.3", tag(3, text(3, "TIT2", "Old")),
         [](TID3v2& t) { t.SetTitle("\u0416"); },
         tag(3, frame(3, "TIT2", "\x01\xFF\xFE\x16\x04"sv))},
        {"2.4 stays 2.4 with UTF-8 and TDRC", tag(4, concat({text(4, "TIT2", "Old"), apic})),
         [](TID3v2& t) {
             t.SetTitle("\u0416");
             t.SetYear("2020");
         },
         tag(4, concat({frame(4, "TIT2", "\x03\xD0\x96"sv), apic, text(4, "TDRC", "2020")}))},
        {"2.4 unsynchronised frames are stored resynchronised",
         tag(4,
             concat({bytesOf("PRIV"), syncsafe(4), Bytes{0, 0x02}, Bytes{'a', 0xFF, 0x00, 0xE0}})),
         [](TID3v2& t) { t.SetTitle("T"); },
         tag(4, concat({bytesOf("PRIV"), syncsafe(3), Bytes{0, 0}, Bytes{'a', 0xFF, 0xE0},
                        text(4, "TIT2", "T")}))},
        {"2.2 becomes 2.3",
         tag(2, concat({text(2, "TT2", "Old"), frame(2, "PIC", "\0JPG\x03\0\xFF\xD8"sv),
                        text(2, "CRM", "x")})),
         [](TID3v2& t) { t.SetTitle("New"); },
         tag(3,
             concat({text(3, "TIT2", "New"), frame(3, "APIC", "\0image/jpeg\0\x03\0\xFF\xD8"sv)}))},
        {"a 2.3 extended header and unsynchronisation are dropped",
         tag(3, unsynchronised(concat({bigEndian32(6), Bytes(6, 0), apic})), 0xC0),
         [](TID3v2& t) { t.SetTitle("T"); }, tag(3, concat({apic, text(3, "TIT2", "T")}))},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.createFile("a.mp3", concat({c.before, body}));
        TID3v2 id3 = loaded(path);
        c.edit(id3);
        ASSERT_TRUE(id3.Save(path));
        EXPECT_EQ(readFile(path), concat({c.after, body}));
    }
}

// Bytes that a tag's size covers but that are neither frames nor zero padding
// (audio, under a damaged size) are kept by a save and a strip.
TEST(ID3v2Revisions, BytesPastTheFramesAndPaddingAreKept) {
    const Bytes frames = text(3, "TIT2", "Old");
    const Bytes body = audio(600);
    const Bytes covered(body.begin(), body.begin() + 300);
    const Bytes damaged = concat({tag(3, frames, 0, 20), body});
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
    EXPECT_EQ(readFile(path), concat({tag(3, text(3, "TIT2", "New")), body}));
    ASSERT_TRUE(TID3v2().Strip(path));
    EXPECT_EQ(readFile(path), body);
}
