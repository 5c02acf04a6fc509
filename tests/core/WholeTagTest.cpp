// The whole tag beyond the text fields: album artist, disc, the track as
// written, pictures, lyrics and the list of every other frame, read from the
// files of other taggers and saved so that mutagen reads back what was set.
#include "tags/ID3v2.h"

#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace quillon;

using namespace std::string_literals;
using namespace std::string_view_literals;

namespace {

std::string fixture(const std::string& name) {
    return std::string(QUILLON_CORE_FIXTURES) + "/" + name;
}

TID3v2 loaded(const std::string& path) {
    TID3v2 id3;
    EXPECT_TRUE(id3.Load(path));
    return id3;
}

// What mutagen makes of the file's ID3v2 tag: one line per frame, sorted by
// its key, each frame's text encoding left out (a conversion may change it)
// and a picture's data as hex; "version 2.x" first. Nothing when mutagen is
// missing.
std::optional<std::string> mutagenSees(const std::string& path) {
    const std::string finder =
        "bash " + std::string(QUILLON_CORE_FIXTURES) + "/../../../tools/mutagen-python.sh";
    std::string python;
    if (FILE* pipe = popen((finder + " 2>/dev/null").c_str(), "r")) {
        std::array<char, 256> line{};
        while (std::fgets(line.data(), int(line.size()), pipe))
            python += line.data();
        if (pclose(pipe) != 0)
            return std::nullopt;
    }
    while (!python.empty() && python.back() == '\n')
        python.pop_back();
    const std::string script = R"PY(
import re, sys
from mutagen.id3 import ID3, ID3NoHeaderError
try:
    tag = ID3(sys.argv[1])
except ID3NoHeaderError:
    print("version none")
    sys.exit(0)
print("version 2.%d" % tag.version[1])
for key in sorted(tag.keys()):
    frame = tag[key]
    if frame.FrameID == "APIC":
        print(key, int(frame.type), frame.mime, frame.desc, frame.data.hex())
    else:
        print(key, re.sub(r"encoding=<Encoding\.\w+: \d>, ", "", repr(frame)))
)PY";
    const std::string command = python + " -c '" + script + "' '" + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return std::nullopt;
    std::string out;
    std::array<char, 4096> chunk{};
    while (std::fgets(chunk.data(), int(chunk.size()), pipe))
        out += chunk.data();
    return pclose(pipe) == 0 ? std::optional<std::string>(out) : std::nullopt;
}

// The lines of what mutagen sees, without those starting with one of `left`.
std::vector<std::string> linesWithout(const std::string& text,
                                      const std::vector<std::string>& left) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        bool dropped = false;
        for (const std::string& prefix : left)
            dropped = dropped || line.starts_with(prefix);
        if (!dropped)
            out.push_back(line);
    }
    return out;
}

std::string asString(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

std::string hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        out += kDigits[static_cast<unsigned char>(c) >> 4];
        out += kDigits[static_cast<unsigned char>(c) & 0xF];
    }
    return out;
}

// A 3x2 PNG header and a JPEG cut after its frame header: enough for their
// sizes, and bytes that no text codec would leave alone (zeros, 0xFF).
const std::string kPng = "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\0\x03\0\0\0\x02\x08\x06\0\0\0"s;
const std::string kJpeg =
    "\xFF\xD8\xFF\xE0\0\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0"
    "\xFF\xC0\0\x11\x08\0\x02\0\x05\x03\x01\x22\0\x02\x11\x01\x03\x11\x01\xFF\xD9"s;

// A picture as the list of other frames shows it.
struct Seen {
    std::string id;
    TOtherFrame::Kind kind;
    std::string description, text;
};

std::vector<Seen> seen(const TID3v2& tag) {
    std::vector<Seen> out;
    for (const TOtherFrame& frame : tag.OtherFrames())
        out.push_back({frame.id, frame.kind, frame.description, frame.text});
    return out;
}

bool operator==(const Seen& a, const Seen& b) {
    return a.id == b.id && a.kind == b.kind && a.description == b.description && a.text == b.text;
}

void PrintTo(const Seen& s, std::ostream* os) {
    *os << s.id << " " << int(s.kind) << " [" << s.description << "] [" << s.text << "]";
}

} // namespace

using Kind = TOtherFrame::Kind;

TEST(WholeTag, ShowsWhatTaggersWrote) {
    struct Picture {
        int type;
        std::string mime, description;
        PictureSize pixels;
    };
    struct Case {
        const char* file;
        std::string albumArtist, disc, track;
        TLyrics lyrics;
        std::vector<Picture> pictures;
        std::vector<Seen> others;
    };
    const Case cases[] = {
        {"mutagen-whole-v24.mp3",
         "Альбомный артист",
         "1/2",
         "03/12",
         {"deu", "", "Erste Zeile\nzweite Zeile"},
         {{4, "image/png", "Rückseite", {1, 1}}, {3, "image/jpeg", "Cover", {3, 2}}},
         {{"TDOR", Kind::Text, "", "1987"},
          {"TSOP", Kind::Text, "", "Artist, The"},
          {"POPM", Kind::Binary, "rater@example.org", ""},
          {"TIPL", Kind::Text, "", "producer/Pat/mixer/Max"},
          {"USLT", Kind::Lyrics, "", "Erste Zeile"},
          {"TXXX", Kind::Text, "REPLAYGAIN_TRACK_GAIN", "-6.20 dB"},
          {"APIC", Kind::Picture, "Rückseite", ""},
          {"APIC", Kind::Picture, "Cover", ""}}},
        // The date as TYER, TDAT and TIME.
        {"mutagen-whole-v23.mp3",
         "Альбомный артист",
         "1/2",
         "03/12",
         {"deu", "", "Erste Zeile\nzweite Zeile"},
         {{4, "image/png", "Rückseite", {1, 1}}, {3, "image/jpeg", "Cover", {3, 2}}},
         {{"TDAT", Kind::Text, "", "3112"},
          {"TIME", Kind::Text, "", "2359"},
          {"TORY", Kind::Text, "", "1987"},
          {"POPM", Kind::Binary, "rater@example.org", ""},
          {"IPLS", Kind::Text, "", "producer"},
          {"USLT", Kind::Lyrics, "", "Erste Zeile"},
          {"TXXX", Kind::Text, "REPLAYGAIN_TRACK_GAIN", "-6.20 dB"},
          {"APIC", Kind::Picture, "Rückseite", ""},
          {"APIC", Kind::Picture, "Cover", ""}}},
        {"eyed3-whole-v23.mp3",
         "Album Artist",
         "02/03",
         "04/10",
         {"eng", "", "First line\nsecond line\n"},
         {{3, "image/jpeg", "Front", {3, 2}}},
         {{"APIC", Kind::Picture, "Front", ""},
          {"POPM", Kind::Binary, "rater@example.org", ""},
          {"TXXX", Kind::Text, "MOOD", "calm"},
          {"USLT", Kind::Lyrics, "", "First line"}}},
        {"eyed3-whole-v24.mp3",
         "Album Artist",
         "02/03",
         "04/10",
         {"eng", "", "First line\nsecond line\n"},
         {{3, "image/jpeg", "Front", {3, 2}}},
         {{"APIC", Kind::Picture, "Front", ""},
          {"POPM", Kind::Binary, "rater@example.org", ""},
          {"TXXX", Kind::Text, "MOOD", "calm"},
          {"USLT", Kind::Lyrics, "", "First line"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const TID3v2 tag = loaded(fixture(c.file));
        EXPECT_EQ(tag.AlbumArtist(), c.albumArtist);
        EXPECT_EQ(tag.Disc(), c.disc);
        EXPECT_EQ(tag.TrackText(), c.track);
        EXPECT_EQ(tag.Lyrics(), c.lyrics);
        ASSERT_EQ(tag.Pictures().size(), c.pictures.size());
        for (std::size_t i = 0; i < c.pictures.size(); ++i) {
            const TPicture& p = tag.Pictures()[i];
            EXPECT_EQ(p.type, c.pictures[i].type);
            EXPECT_EQ(p.mime, c.pictures[i].mime);
            EXPECT_EQ(p.description, c.pictures[i].description);
            EXPECT_EQ(pictureSizeOf(p.data), c.pictures[i].pixels);
        }
        EXPECT_EQ(seen(tag), c.others);
    }
}

TEST(WholeTag, TrackTextIsAsWrittenUntilTrackOrTotalChange) {
    struct Case {
        const char* set; // for SetTrackText; null: unchanged
        std::uint32_t track, total;
        std::string shown;
    };
    const Case cases[] = {
        {nullptr, 3, 12, "03/12"}, {"3/12", 3, 12, "03/12"}, {"4/12", 4, 12, "4/12"},
        {"7", 7, 0, "7"},          {"x/5", 0, 0, ""},        {" 9 / 10", 0, 0, ""},
        {"9/10", 9, 10, "9/10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set ? c.set : "unchanged");
        TID3v2 tag = loaded(fixture("mutagen-whole-v24.mp3"));
        if (c.set)
            tag.SetTrackText(c.set);
        EXPECT_EQ(tag.Track(), c.track);
        EXPECT_EQ(tag.TrackTotal(), c.total);
        EXPECT_EQ(tag.TrackText(), c.shown);
    }
}

TEST(WholeTag, NewFieldsAndLyricsAreSavedAndEveryOtherFrameIsKept) {
    TestDir dir;
    for (const char* file : {"mutagen-whole-v23.mp3", "mutagen-whole-v24.mp3"}) {
        SCOPED_TRACE(file);
        const std::string path = dir.createFile("song.mp3", readFile(fixture(file)));
        const std::optional<std::string> before = mutagenSees(path);
        TID3v2 tag = loaded(path);
        tag.SetAlbumArtist("Новый");
        tag.SetDisc("2/2");
        tag.SetTrackText("5/9");
        tag.SetLyrics({"eng", "", "Neu\nzwei"});
        ASSERT_TRUE(tag.Save(path));

        const TID3v2 after = loaded(path);
        EXPECT_EQ(after.VersionId(), tag.VersionId());
        EXPECT_EQ(after.AlbumArtist(), "Новый");
        EXPECT_EQ(after.Disc(), "2/2");
        EXPECT_EQ(after.TrackText(), "5/9");
        EXPECT_EQ(after.Lyrics(), (TLyrics{"eng", "", "Neu\nzwei"}));
        EXPECT_EQ(after.Pictures(), tag.Pictures());

        if (!before)
            continue; // mutagen is missing
        const std::optional<std::string> now = mutagenSees(path);
        ASSERT_TRUE(now.has_value());
        const std::vector<std::string> edited = {"TPE2 ", "TPOS ", "TRCK ", "USLT:"};
        EXPECT_EQ(linesWithout(*now, edited), linesWithout(*before, edited));
        const std::vector<std::string> lines = linesWithout(*now, {});
        for (const std::string_view expected :
             {"TPE2 TPE2(text=['Новый'])", "TPOS TPOS(text=['2/2'])", "TRCK TRCK(text=['5/9'])",
              "USLT::eng USLT(lang='eng', desc='', text='Neu\\nzwei')"})
            EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
    }
}

TEST(WholeTag, PicturesSetBySaveAreReadByMutagenByteForByte) {
    const std::vector<TPicture> pictures = {
        {3, "image/jpeg", "Ωmega", kJpeg},
        {4, "image/png", "", kPng},
    };
    struct Case {
        const char* name;
        Bytes file;
        int savedAs;
    };
    const Case cases[] = {
        {"no tag", cbrFrames(), 3},
        {"2.2 with a picture",
         concat({id3v2Tag(2, concat({id3v2Frame(2, "TT2", "\0Title"sv),
                                     id3v2Frame(2, "PIC", "\0JPG\x03old\0\xFF\xD8"sv)})),
                 cbrFrames()}),
         3},
        {"mutagen 2.3", readFile(fixture("mutagen-whole-v23.mp3")), 3},
        {"mutagen 2.4", readFile(fixture("mutagen-whole-v24.mp3")), 4},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.createFile("song.mp3", c.file);
        const std::optional<std::string> before = mutagenSees(path);
        TID3v2 tag = loaded(path);
        const std::string title = tag.Title();
        tag.SetPictures(pictures);
        ASSERT_TRUE(tag.Save(path));

        const TID3v2 after = loaded(path);
        EXPECT_EQ(after.VersionId(), c.savedAs);
        EXPECT_EQ(after.Pictures(), pictures);
        EXPECT_EQ(after.Title(), title);

        if (!before)
            continue;
        const std::optional<std::string> now = mutagenSees(path);
        ASSERT_TRUE(now.has_value());
        const std::vector<std::string> left = {"version ", "APIC:"};
        EXPECT_EQ(linesWithout(*now, left), linesWithout(*before, left));
        const std::vector<std::string> lines = linesWithout(*now, {});
        for (const std::string& expected :
             {"APIC: 4 image/png  " + hex(kPng), "APIC:Ωmega 3 image/jpeg Ωmega " + hex(kJpeg)})
            EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
    }
}

TEST(WholeTag, BrokenFramesGiveDefinedAnswers) {
    struct Case {
        const char* name;
        Bytes frames; // of a 2.3 tag
        std::size_t pictures;
        std::vector<Seen> others;
        // After a save that sets one picture: the frames that are no picture
        // Load gave stay.
        std::size_t othersAfterSave;
        TLyrics lyrics = {};
    };
    const Case cases[] = {
        {"a picture cut in its MIME type",
         id3v2Frame(3, "APIC", "\0image/png"sv),
         0,
         {{"APIC", Kind::Binary, "", ""}},
         2},
        {"a picture whose description has no end",
         id3v2Frame(3, "APIC", "\x01image/png\0\x03\xFF\xFEO\0"sv),
         0,
         {{"APIC", Kind::Binary, "", ""}},
         2},
        {"a picture of no bytes",
         id3v2Frame(3, "APIC", "\0image/png\0\x03\0"sv),
         1,
         {{"APIC", Kind::Picture, "", ""}},
         1},
        {"a compressed picture",
         id3v2Frame(3, "APIC", "\0\0\0\x10xyz"sv, 0, 0x80),
         0,
         {{"APIC", Kind::Binary, "", ""}},
         2},
        {"a size past the tag's end",
         concat(
             {id3v2Frame(3, "TXXX", "\0A\0b"sv),
              concat({bytesOf("APIC"), bigEndian32(0x7FFFFFFF), Bytes{0, 0}, bytesOf("\0x"sv)})}),
         0,
         {{"TXXX", Kind::Text, "A", "b"}},
         2},
        {"lyrics without the end of their description",
         id3v2Frame(3, "USLT",
                    "\x01"
                    "eng\xFF\xFEL\0"sv),
         0,
         {{"USLT", Kind::Binary, "", ""}},
         2},
        {"empty frames",
         concat({id3v2Frame(3, "POPM", ""sv), id3v2Frame(3, "TXXX", ""sv),
                 id3v2Frame(3, "WOAR", ""sv), id3v2Frame(3, "XYZ1", ""sv)}),
         0,
         {{"POPM", Kind::Binary, "", ""},
          {"TXXX", Kind::Binary, "", ""},
          {"WOAR", Kind::Link, "", ""},
          {"XYZ1", Kind::Binary, "", ""}},
         5},
        {"lyrics and a rating",
         concat({id3v2Frame(3, "USLT", "\0deuverse\0one\r\ntwo"sv),
                 id3v2Frame(3, "POPM", "me@x\0\xFF\0\0\0\x01"sv)}),
         0,
         {{"USLT", Kind::Lyrics, "verse", "one"}, {"POPM", Kind::Binary, "me@x", ""}},
         3,
         {"deu", "verse", "one\r\ntwo"}},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = concat({id3v2Tag(3, c.frames, 16), cbrFrames()});
        const std::string path = dir.createFile("song.mp3", file);
        TID3v2 tag = loaded(path);
        EXPECT_EQ(tag.Pictures().size(), c.pictures);
        EXPECT_EQ(seen(tag), c.others);
        EXPECT_EQ(tag.Lyrics(), c.lyrics);

        // A new picture replaces the ones read and keeps the others.
        tag.SetPictures({{3, "image/png", "", kPng}});
        ASSERT_TRUE(tag.Save(path));
        const TID3v2 after = loaded(path);
        ASSERT_FALSE(after.Pictures().empty());
        EXPECT_EQ(after.Pictures().back().data, kPng);
        EXPECT_EQ(after.OtherFrames().size(), c.othersAfterSave);
    }
}

TEST(PictureInfo, SizeComesFromTheHeadersOfEachFormat) {
    struct Case {
        const char* name;
        std::string data;
        PictureSize size;
    };
    const Case cases[] = {
        {"PNG", kPng, {3, 2}},
        {"JPEG after an APP0 segment", kJpeg, {5, 2}},
        {"JPEG cut in its frame header", kJpeg.substr(0, 26), {0, 0}},
        {"GIF", "GIF89a\x20\x01\x10\0"s, {288, 16}},
        {"BMP top-down",
         "BM"s + std::string(12, '\0') + "\x28\0\0\0\x07\0\0\0\xFE\xFF\xFF\xFF"s,
         {7, 2}},
        {"WebP lossy", "RIFF\0\0\0\0WEBPVP8 \0\0\0\0\0\0\0\x9D\x01\x2A\x40\x01\xF0\0"s, {320, 240}},
        {"WebP lossless", "RIFF\0\0\0\0WEBPVP8L\0\0\0\0\x2F\x3F\xC0\x03\0\0\0\0\0\0"s, {64, 16}},
        {"WebP extended", "RIFF\0\0\0\0WEBPVP8X\0\0\0\0\0\0\0\0\x63\0\0\x31\0\0"s, {100, 50}},
        {"a PNG of zero width", "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\0\0\0\0\0\x02"s, {0, 0}},
        {"text", "not a picture", {0, 0}},
        {"nothing", "", {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(pictureSizeOf(c.data), c.size);
    }
    EXPECT_EQ(pictureTypeName(3), "Front cover");
    EXPECT_EQ(pictureTypeName(20), "Publisher logotype");
    EXPECT_EQ(pictureTypeName(21), "Other");
    EXPECT_EQ(pictureTypeName(-1), "Other");
    EXPECT_EQ(frameName("TPE2"), "Album artist");
    EXPECT_EQ(frameName("PIC"), "Attached picture");
    EXPECT_EQ(frameName("ZZZZ"), "");
}

TEST(WholeTag, ARevisionRoundTripKeepsWhatMutagenSees) {
    struct Case {
        const char* file;
        int there;
        std::string yearThere;
        std::vector<std::string> idsThere; // the mapped frames among the other frames
    };
    const Case cases[] = {
        {"mutagen-whole-v23.mp3", 4, "1999-12-31T23:59", {"TDOR", "TIPL"}},
        {"mutagen-whole-v24.mp3", 3, "1999", {"TDAT", "TIME", "TORY", "IPLS"}},
        {"eyed3-whole-v23.mp3", 4, "", {}},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = dir.createFile("song.mp3", readFile(fixture(c.file)));
        const std::optional<std::string> before = mutagenSees(path);
        TID3v2 tag = loaded(path);
        const int back = tag.VersionId();
        const std::string year = tag.Year();
        const std::vector<TPicture> pictures = tag.Pictures();
        EXPECT_EQ(tag.ConversionLosses(c.there), std::vector<std::string>{});
        EXPECT_EQ(tag.ConversionLosses(back), std::vector<std::string>{});
        tag.ConvertTo(c.there);
        ASSERT_TRUE(tag.Save(path));

        TID3v2 there = loaded(path);
        EXPECT_EQ(there.VersionId(), c.there);
        EXPECT_EQ(there.Year(), c.yearThere);
        EXPECT_EQ(there.Pictures(), pictures);
        std::vector<std::string> ids;
        for (const TOtherFrame& frame : there.OtherFrames()) {
            if (std::string_view("TDOR TIPL TDAT TIME TORY IPLS TYER TDRC").find(frame.id) !=
                std::string_view::npos)
                ids.push_back(frame.id);
        }
        EXPECT_EQ(ids, c.idsThere);
        const std::optional<std::string> seenThere = mutagenSees(path);
        there.ConvertTo(back);
        ASSERT_TRUE(there.Save(path));

        const TID3v2 again = loaded(path);
        EXPECT_EQ(again.VersionId(), back);
        EXPECT_EQ(again.Year(), year);
        EXPECT_EQ(again.Pictures(), pictures);
        if (!before)
            continue;
        // mutagen gives a 2.3 time seconds of its own.
        EXPECT_EQ(linesWithout(*seenThere, {"version ", "TDRC "}),
                  linesWithout(*before, {"version ", "TDRC "}));
        EXPECT_EQ(mutagenSees(path), before);
    }
}

TEST(WholeTag, ConversionNamesWhatItDrops) {
    struct Case {
        const char* name;
        Bytes tag;
        int to;
        std::vector<std::string> losses;
        std::vector<Seen> others; // after the conversion
        std::string year = {};
        std::string frames = {}; // bytes the converted tag holds
    };
    const Case cases[] = {
        {"2.3 frames 2.4 has not",
         id3v2Tag(3, concat({id3v2TextFrame(3, "TRDA", "4th"), id3v2TextFrame(3, "TSIZ", "99"),
                             id3v2TextFrame(3, "TYER", "2001"), id3v2Frame(3, "TXXX", "\0a\0b"sv),
                             id3v2Frame(3, "PRIV", "\0\0\0\x04xyz"sv, 0, 0x80),
                             id3v2Frame(3, "RVAD", "\0\x10"sv)})),
         4,
         {"TRDA: no counterpart in 2.4, dropped", "TSIZ: no counterpart in 2.4, dropped",
          "PRIV: compressed or encrypted, dropped"},
         {{"TXXX", Kind::Text, "a", "b"}, {"RVAD", Kind::Binary, "", ""}},
         "2001",
         asString(concat({id3v2Frame(4, "TDRC",
                                     "\0"
                                     "2001"sv),
                          id3v2Frame(4, "TXXX", "\0a\0b"sv)}))},
        {"a 2.4 time to the second",
         id3v2Tag(
             4, concat({id3v2TextFrame(4, "TDRC", "2001-02-03T04:05:06"),
                        id3v2Frame(4, "TSOP", "\x03\xC3\x9F"sv), id3v2Frame(4, "TPE1", "\0A\0B"sv),
                        id3v2Frame(4, "TXXX", "\x03\xCE\xA9\0\xCE\xA9"sv)})),
         3,
         {"TDRC: seconds, dropped"},
         {{"TDAT", Kind::Text, "", "0302"},
          {"TIME", Kind::Text, "", "0405"},
          {"TSOP", Kind::Text, "", "\xC3\x9F"},
          {"TXXX", Kind::Text, "\xCE\xA9", "\xCE\xA9"}},
         "2001",
         // UTF-8 becomes UTF-16, or Latin-1 where that holds the text.
         asString(concat({id3v2Frame(3, "TSOP", "\0\xDF"sv), id3v2Frame(3, "TPE1", "\0A/B"sv),
                          id3v2Frame(3, "TXXX", "\x01\xFF\xFE\xA9\x03\0\0\xFF\xFE\xA9\x03"sv)}))},
        {"a 2.2 frame 2.3 has not",
         id3v2Tag(2, concat({id3v2Frame(2, "CRM", "x"sv), id3v2Frame(2, "TYE",
                                                                     "\0"
                                                                     "1990"sv)})),
         4,
         {"CRM: no counterpart in 2.3, dropped"},
         {},
         "1990"},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.createFile("song.mp3", concat({c.tag, cbrFrames()}));
        TID3v2 tag = loaded(path);
        EXPECT_EQ(tag.ConversionLosses(c.to), c.losses);
        tag.ConvertTo(c.to);
        ASSERT_TRUE(tag.Save(path));
        const TID3v2 after = loaded(path);
        EXPECT_EQ(after.VersionId(), c.to);
        EXPECT_EQ(seen(after), c.others);
        EXPECT_EQ(after.Year(), c.year);
        EXPECT_EQ(after.Artist(), tag.Artist()); // several texts of 2.4 joined for 2.3
        EXPECT_NE(asString(readFile(path)).find(c.frames), std::string::npos);
    }
}
