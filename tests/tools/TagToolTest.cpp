// quillon-tag: the window's edits from the command line. Its saves are the
// tag objects' own, so a file edited by it is byte for byte the file that the
// same edit through the tag object gives.
#include "tools/tag/TagTool.h"

#include "tags/FileAccess.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/Journal.h"

#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

using namespace quillon;

namespace quillon {

// Pictures in failures: their type, MIME type, description and size.
void PrintTo(const TPicture& picture, std::ostream* out) {
    *out << "{" << int(picture.type) << ", " << picture.mime << ", \"" << picture.description
         << "\", " << picture.data.size() << " bytes}";
}

} // namespace quillon

namespace {

std::string fixture(const std::string& name) {
    return std::string(QUILLON_CORE_FIXTURES) + "/" + name;
}

struct Result {
    int status;
    std::string out, err;
};

Result run(std::vector<std::string> args, const std::string& input = {}) {
    std::ostringstream out, err;
    std::istringstream in(input);
    const int status = tagtool::run(args, out, err, in);
    return {status, out.str(), err.str()};
}

std::string textOf(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The starts of a JPEG and of a PNG, enough for their MIME type, then bytes of each picture's own.
std::string jpegBytes(char fill) {
    return std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) + std::string(40, fill);
}
std::string pngBytes(char fill) {
    return std::string("\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR", 16) + std::string(40, fill);
}

// An APIC frame of revision 2.3, text in ISO-8859-1.
Bytes apicFrame(std::string_view mime, std::uint8_t type, std::string_view description,
                const std::string& data) {
    return id3v2Frame(3, "APIC",
                      std::string(1, '\0') + std::string(mime) + '\0' + char(type) +
                          std::string(description) + '\0' + data);
}

TPicture picture(std::uint8_t type, std::string mime, std::string description, std::string data) {
    TPicture p;
    p.type = type;
    p.mime = std::move(mime);
    p.description = std::move(description);
    p.data = std::move(data);
    return p;
}

std::vector<TPicture> picturesOf(const std::string& path) {
    TID3v2 tag;
    EXPECT_TRUE(tag.Load(path));
    return tag.Pictures();
}

} // namespace

TEST(TagTool, EditsAsTheTagObjectsDo) {
    const char* files[] = {"mutagen-v24.mp3", "mutagen-v23-utf16.mp3", "id3v2-v23.mp3",
                           "kid3-v23.mp3"};
    TestDir dir;
    for (const char* name : files) {
        SCOPED_TRACE(name);
        const Bytes original = readFile(fixture(name));
        const std::string byTool = dir.createFile("tool.mp3", original);
        const std::string byObject = dir.createFile("object.mp3", original);

        const Result r = run({"--v2", "title=Νέο", "--v2", "track=5", "--v2", "comment=", "--v1",
                              "artist=Ωmega", "--v1", "genre=Pop", byTool});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "quillon-tag: " + byTool +
                             ": warning: ID3v1 artist will be stored as \"?mega\"\n");

        TID3v2 v2;
        ASSERT_TRUE(v2.Load(byObject));
        v2.SetTitle("Νέο");
        v2.SetTrackText("5");
        v2.SetComment("");
        TID3v1 v1;
        ASSERT_TRUE(v1.Load(byObject));
        v1.SetArtist("Ωmega");
        v1.SetGenreId(13);
        ASSERT_TRUE(v1.Save(byObject));
        ASSERT_TRUE(v2.Save(byObject));
        EXPECT_EQ(readFile(byTool), readFile(byObject));

        TID3v1 shown;
        ASSERT_TRUE(shown.Load(byTool));
        EXPECT_EQ(shown.Artist(), "?mega");
        EXPECT_EQ(shown.Genre(), "Pop");
    }
}

TEST(TagTool, RemovesTags) {
    TestDir dir;
    const std::string path = dir.createFile("a.mp3", readFile(fixture("id3v2-v23.mp3")));
    ASSERT_EQ(run({"--remove-v1", "--remove-v2", path}).status, 0);
    TID3v1 v1;
    TID3v2 v2;
    ASSERT_TRUE(v1.Load(path));
    ASSERT_TRUE(v2.Load(path));
    EXPECT_FALSE(v1.Exists());
    EXPECT_FALSE(v2.Exists());
    // Removing what is not there is no failure.
    EXPECT_EQ(run({"--remove-v2", path}).status, 0);
}

TEST(TagTool, FailuresNameTheFileAndWriteNothing) {
    TestDir dir;
    const Bytes original = readFile(fixture("kid3-v23.mp3"));
    const std::string good = dir.createFile("good.mp3", original);
    const std::string bad = dir.createFile("bad.mp3", original);
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"--v2", "title=x", dir.file("missing.mp3")},
         "quillon-tag: " + dir.file("missing.mp3") + ": no such file\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const Result r = run(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.message);
        EXPECT_EQ(readFile(bad), original);
    }
    // One file failing does not stop the others.
    const Result r = run({"--v2", "title=x", dir.file("missing.mp3"), good});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(readFile(good), original);
}

TEST(TagTool, UsageErrors) {
    const std::vector<std::string> cases[] = {
        {},
        {"a.mp3"},
        {"--v1", "title=x"},
        {"--v1", "composer=x", "a.mp3"}, // an ID3v2 field
        {"--v2", "titel=x", "a.mp3"},
        {"--v2", "title", "a.mp3"},
        {"--v2"},
        {"--v2", "title=x", "--remove-v2", "a.mp3"},
        {"--frobnicate", "a.mp3"},
        {"--picture"},
        {"--picture", "", "a.mp3"},
        {"--picture", "a.jpg", "--remove-v2", "a.mp3"},
        {"--remove-pictures", "--remove-v2", "a.mp3"},
        {"--lyrics", "-", "--remove-v2", "a.mp3"},
        {"--extract-pictures"},
        {"--lyrics"},
        {"--to-v23", "--to-v24", "a.mp3"},
        {"--to-v24", "--remove-v2", "a.mp3"},
        {"--allow-losses", "a.mp3"},
        {"--picture", "a.jpg"},
        {"--from-name"},
        {"--from-name", "%nosuch% - %title%", "a.mp3"},
        {"--rename", "%artist%%title%", "a.mp3"},
        {"--number=0", "a.mp3"},
        {"--number=x", "a.mp3"},
        {"--total", "--v2", "title=x", "a.mp3"},
        {"--to", "v3", "--number", "a.mp3"},
        {"--dry-run", "a.mp3"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        const Result r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("usage: quillon-tag"), std::string::npos);
    }
    EXPECT_EQ(run({"--help"}).status, 0);
    EXPECT_EQ(run({"--version"}).out, "quillon-tag 1.0\n");
    // Every placeholder is listed.
    const std::string help = run({"--help"}).out;
    for (const char* placeholder : {"%title%", "%artist%", "%album%", "%year%", "%track%",
                                    "%genre%", "%comment%", "%composer%", "%dummy%"})
        EXPECT_NE(help.find(placeholder), std::string::npos) << placeholder;
}

// The steps run in the order of the arguments, each over all files: the rename sees the
// numbers when --number comes first, and finds no track when it comes last.
TEST(TagTool, RunsNameStepsInTheOrderGiven) {
    struct Case {
        std::vector<std::string> steps;
        std::vector<std::string> namesAfter;
        std::string out, err;
        int status;
    };
    const Case cases[] = {
        {{"--from-name", "%artist% - %title%", "--number=3", "--total", "--rename",
          "%track%. %title%"},
         {"03. Song.mp3", "04. Other.mp3"},
         "2 written, 0 failed\n",
         "",
         0},
        {{"--from-name", "%artist% - %title%", "--rename", "%track%. %title%", "--number"},
         {"Nina - Other.mp3", "Nina - Song.mp3"},
         "0 written, 2 failed\n",
         "quillon-tag: DIR/Nina - Song.mp3: the tag has no track\n"
         "quillon-tag: DIR/Nina - Other.mp3: the tag has no track\n",
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.steps));
        TestDir dir;
        std::vector<std::string> args = c.steps;
        args.push_back(dir.createFile("Nina - Song.mp3", cbrFrames(5004)));
        args.push_back(dir.createFile("Nina - Other.mp3", cbrFrames(5004)));
        const Result r = run(args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        std::string err = r.err;
        for (std::size_t at; (at = err.find(dir.path())) != std::string::npos;)
            err.replace(at, dir.path().size(), "DIR");
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(entriesOf(dir.path()), c.namesAfter);
    }
    TestDir dir;
    const std::string path = dir.createFile("Nina - Song.mp3", cbrFrames(5004));
    ASSERT_EQ(
        run({"--from-name", "%artist% - %title%", "--to", "v1,v2", "--number=7", "--total", path})
            .status,
        0);
    TID3v2 v2;
    ASSERT_TRUE(v2.Load(path));
    EXPECT_EQ(v2.Artist(), "Nina");
    EXPECT_EQ(v2.Title(), "Song");
    EXPECT_EQ(v2.Track(), 7u);
    EXPECT_EQ(v2.TrackTotal(), 7u);
    const Bytes bytes = readFile(path);
    EXPECT_EQ(Bytes(bytes.end() - 128, bytes.end()),
              id3v1Tag({.title = "Song", .artist = "Nina", .track = 7}));
}

// --dry-run prints what each file would get, reports the files that would fail, and writes
// nothing, not even a rename.
TEST(TagTool, DryRunPrintsAndWritesNothing) {
    TestDir dir;
    const std::string song = dir.createFile("Nina - Song.mp3", cbrFrames(5004));
    const std::string odd = dir.createFile("odd.mp3", cbrFrames(5004));
    const Result r = run({"--dry-run", "--v2", "album=Best", "--from-name", "%artist% - %title%",
                          "--rename", "%title% (%artist%)", song, odd});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, song + ": ID3v2 album=\"Best\"\n" + odd + ": ID3v2 album=\"Best\"\n" + song +
                         ": ID3v2 artist=\"Nina\", title=\"Song\"\n" + song + " -> " + dir.path() +
                         "/Song (Nina).mp3\n" + "1 to write, 1 failed\n");
    EXPECT_EQ(r.err, "quillon-tag: " + odd + ": the name does not match the pattern\n");
    EXPECT_EQ(readFile(song), cbrFrames(5004));
    EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"Nina - Song.mp3", "odd.mp3"}));
}

// -r walks the folders given, by name at each level, and takes only the MPEG audio files;
// without it a folder is a failure of its own.
TEST(TagTool, RecursiveTakesOnlyMpegAudioFiles) {
    TestDir dir;
    ASSERT_EQ(::mkdir(dir.file("b").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(dir.file("b/deeper").c_str(), 0700), 0);
    const std::string first = dir.createFile("b/a.mp3", cbrFrames(5004));
    const std::string second = dir.createFile("b/deeper/z.mp3", cbrFrames(5004));
    const std::string third = dir.createFile("b/e.mp3", cbrFrames(5004));
    const Bytes notAudio = bytesOf("not audio");
    const std::string fake = dir.createFile("b/fake.mp3", notAudio);
    const std::string notes = dir.createFile("b/notes.txt", notAudio);
    const Result r = run({"-r", "--number", dir.file("b")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "3 written, 0 failed\n");
    const std::pair<std::string, std::uint32_t> tracks[] = {{first, 1}, {second, 2}, {third, 3}};
    for (const auto& [path, track] : tracks) {
        TID3v2 v2;
        ASSERT_TRUE(v2.Load(path));
        EXPECT_EQ(v2.Track(), track) << path;
    }
    EXPECT_EQ(readFile(fake), notAudio);
    EXPECT_EQ(readFile(notes), notAudio);

    const Result plain = run({"--number", dir.file("b")});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.err, "quillon-tag: " + dir.file("b") + ": not an MPEG audio file\n");
}

// Paths are taken as the bytes given: a Latin-1 name (not UTF-8) is edited in place.
TEST(TagTool, EditsAFileByTheBytesOfItsName) {
    TestDir dir;
    const std::string path = dir.createFile("caf\xe9.mp3", readFile(fixture("id3v2-v23.mp3")));
    const Result r = run({"--v2", "title=Caf\xc3\xa9", "--remove-v1", path});
    ASSERT_EQ(r.status, 0) << r.err;
    TID3v2 v2;
    ASSERT_TRUE(v2.Load(path));
    EXPECT_EQ(v2.Title(), "Caf\xc3\xa9");
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"caf\xe9.mp3"});
}

// Names reach the terminal escaped as quillon-probe prints them: no escape sequence gets
// through, a newline does not split the message, and bytes that are not UTF-8 show their value.
TEST(TagTool, MessagesShowNamesEscaped) {
    TestDir dir;
    const struct {
        std::vector<std::string> args;
        std::string shown;
    } cases[] = {
        {{"--v2", "title=x", dir.file("a\x1b]0;owned\x07.mp3")},
         dir.file("a\\x1b]0;owned\\x07.mp3")},
        {{"--v2", "title=x", dir.file("two\nlines.mp3")}, dir.file("two\\x0alines.mp3")},
        {{"--v2", "title=x", dir.file("caf\xe9.mp3")}, dir.file("caf\\udce9.mp3")},
        {{"--v2", "ti\x1btle=x", "a.mp3"}, "unknown field \"ti\\x1btle\""},
        {{"--v2", std::string{'\x9b', '2', 'J'}, "a.mp3"}, "\\udc9b2J"},
        {{"--fr\x1b", "a.mp3"}, "unknown option --fr\\x1b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        const Result r = run(c.args);
        EXPECT_NE(r.status, 0);
        const std::string firstLine = r.err.substr(0, r.err.find('\n'));
        EXPECT_NE(firstLine.find(c.shown), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
    }
}

// Only a file that the window loads as MPEG audio is written: a picture, another audio format
// or a program beside the songs is left byte for byte as it was, whatever is asked.
TEST(TagTool, WritesOnlyMpegAudioFiles) {
    const auto padded = [](std::string_view head) {
        Bytes bytes = bytesOf(head);
        bytes.resize(6000, 0x20);
        return bytes;
    };
    const struct {
        const char* name;
        Bytes content;
    } files[] = {
        {"folder.jpg", padded("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01")},
        {"cover.png", padded("\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR")},
        {"song.flac", padded("fLaC\x00\x00\x00\x22\x10\x00\x10\x00")},
        {"song.wav", padded("RIFF\xF0\x17\x00\x00WAVEfmt \x10\x00\x00\x00")},
        {"song.m4a", padded(std::string_view("\x00\x00\x00\x20"
                                             "ftypM4A \x00\x00\x02\x00",
                                             16))},
        {"program", padded("\x7F"
                           "ELF\x02\x01\x01\x00")},
        // An ID3v2 tag over no audio: tagged, but no MPEG audio.
        {"tag-only.mp3", concat({id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Title")), Bytes(6000, 0)})},
    };
    const std::vector<std::string> commands[] = {
        {"--v2", "album=X"}, {"--v1", "title=X"}, {"--remove-v1"}, {"--remove-v2"}};
    TestDir dir;
    for (const auto& file : files) {
        const std::string path = dir.createFile(file.name, file.content);
        for (std::vector<std::string> args : commands) {
            SCOPED_TRACE(std::string(file.name) + " " + args[0]);
            args.push_back(path);
            const Result r = run(args);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, "quillon-tag: " + path + ": not an MPEG audio file\n");
            EXPECT_EQ(readFile(path), file.content);
        }
    }
}

// A file that cannot be written is named with the reason.
TEST(TagTool, NamesWhyAFileCannotBeWritten) {
    TestDir dir;
    ASSERT_EQ(::mkdir(dir.file("album.mp3").c_str(), 0700), 0);
    dir.createFile("empty.mp3", {});
    dir.createFile("file", cbrFrames(5004));
    const struct {
        std::string name;
        std::string reason;
    } cases[] = {
        {"missing.mp3", "no such file"},
        {"album.mp3", "is a folder"},
        {"empty.mp3", "the file is empty"},
        {"file/inside.mp3", "not a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r = run({"--v2", "album=X", dir.file(c.name)});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "quillon-tag: " + dir.file(c.name) + ": " + c.reason + "\n");
    }
    EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"album.mp3", "empty.mp3", "file"}));
    EXPECT_EQ(readFile(dir.file("empty.mp3")), Bytes{});
    if (::geteuid() != 0) {
        const std::string locked = dir.createFile("locked.mp3", cbrFrames(5004));
        ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
        const Result r = run({"--v2", "album=X", locked});
        EXPECT_EQ(r.err, "quillon-tag: " + locked + ": permission denied\n");
    }
    // MPEG audio as the window loads it is written.
    const std::string song = dir.createFile("song.mp3", cbrFrames(5004));
    const Result r = run({"--v2", "album=X", song});
    EXPECT_EQ(r.status, 0) << r.err;
    TID3v2 v2;
    ASSERT_TRUE(v2.Load(song));
    EXPECT_EQ(v2.Album(), "X");
}

// Text a field does not take stops the command before any file is touched, with the field and
// what it takes named.
TEST(TagTool, RefusesTextAFieldDoesNotTakeAndWritesNothing) {
    TestDir dir;
    const Bytes original = concat(
        {id3v2Tag(3, id3v2TextFrame(3, "TRCK", "3/12")), cbrFrames(5004), id3v1Tag({.track = 3})});
    const std::string first = dir.createFile("1.mp3", original);
    const std::string second = dir.createFile("2.mp3", original);
    const struct {
        std::vector<std::string> edits;
        std::string message;
    } cases[] = {
        {{"--v2", "track=two"}, "ID3v2 track: \"two\" is not a number n or n/total"},
        {{"--v2", "track=5 "}, "ID3v2 track: \"5 \" is not a number n or n/total"},
        {{"--v2", "track=2147483648"}, "ID3v2 track: \"2147483648\" is not a number n or n/total"},
        {{"--v2", "title=ok", "--v2", "track=-1"},
         "ID3v2 track: \"-1\" is not a number n or n/total"},
        {{"--v1", "track=300", "--v2", "title=ok"},
         "ID3v1 track: \"300\" is not a number from 0 to 255 or n/total"},
        {{"--v1", "track=5/x"}, "ID3v1 track: \"5/x\" is not a number from 0 to 255 or n/total"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> args = c.edits;
        args.push_back(first);
        args.push_back(second);
        const Result r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "quillon-tag: " + c.message + "\n");
        EXPECT_EQ(readFile(first), original);
        EXPECT_EQ(readFile(second), original);
    }
}

TEST(TagTool, SetsTrackAndTotal) {
    TestDir dir;
    const Bytes audio = cbrFrames(5004);
    const std::string path =
        dir.createFile("a.mp3", concat({id3v2Tag(3, id3v2TextFrame(3, "TRCK", "3/12")), audio}));
    const struct {
        std::vector<std::string> args;
        std::string frame;
    } cases[] = {
        {{"--v2", "track=4/9"}, "4/9"},
        // The track is set whole, as the window's row takes it: a number alone drops the total.
        {{"--v2", "track=5"}, "5"},
        {{"--v2", "track=5/12"}, "5/12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        std::vector<std::string> args = c.args;
        args.push_back(path);
        const Result r = run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        // Each fits the room of the first tag, and is written there.
        const std::size_t room = id3v2Tag(3, id3v2TextFrame(3, "TRCK", "3/12")).size();
        EXPECT_EQ(readFile(path), concat({savedTag(id3v2Tag(3, id3v2TextFrame(3, "TRCK", c.frame)),
                                                   room, audio.size()),
                                          audio}));
    }
}

// An ID3v1 genre by name in any letter case or by number; a name the table lacks is refused.
TEST(TagTool, SetsTheID3v1GenreByNameOrNumber) {
    TestDir dir;
    const Bytes audio = cbrFrames(5004);
    const Bytes original = concat({audio, id3v1Tag({.genre = 13})});
    const std::string path = dir.createFile("a.mp3", original);
    const struct {
        std::string typed;
        std::uint8_t genre;
    } cases[] = {{"rock", 17}, {"Hard Rock", 79}, {"160", 160}, {"0", 0}, {"", 255}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const Result r = run({"--v1", "genre=" + c.typed, path});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(readFile(path), concat({audio, id3v1Tag({.genre = c.genre})}));
    }
    dir.createFile("a.mp3", original);
    const Result r = run({"--v1", "genre=Rokc", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "quillon-tag: ID3v1 genre: \"Rokc\" is not a genre name or a number from 0 to 255\n");
    EXPECT_EQ(readFile(path), original);
}

// Text that is not UTF-8 would be written raw into frames marked as UTF-8 or read as
// Windows-1252 by chance: it is refused, naming the field, before any file is touched.
TEST(TagTool, RefusesTextThatIsNotUtf8) {
    TestDir dir;
    const Bytes original = concat({cbrFrames(5004), id3v1Tag({.title = "Song"})});
    const std::string path = dir.createFile("a.mp3", original);
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--v2", "artist=\xe9t\xe9"}, "ID3v2 artist: \"\\udce9t\\udce9\" is not UTF-8 text"},
        {{"--v2", "title=ok", "--v2", "comment=\xc3"},
         "ID3v2 comment: \"\\udcc3\" is not UTF-8 text"},
        {{"--v1", "album=\xed\xa0\x80"},
         "ID3v1 album: \"\\udced\\udca0\\udc80\" is not UTF-8 text"},
        {{"--v1", "genre=Pop\xff"}, "ID3v1 genre: \"Pop\\udcff\" is not UTF-8 text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> args = c.args;
        args.push_back(path);
        const Result r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "quillon-tag: " + c.message + "\n");
        EXPECT_EQ(readFile(path), original);
    }
}

// ID3v1 stores what it can hold; each field it stores otherwise is named with what it holds
// then, file by file, and the save goes on.
TEST(TagTool, WarnsOfWhatID3v1StoresOtherwise) {
    TestDir dir;
    const Bytes audio = cbrFrames(5004);
    const std::string first = dir.createFile("1.mp3", audio);
    const std::string second = dir.createFile("a\x1b.mp3", audio);
    const Result r = run({"--v1", "title=\xD0\x9A\xD0\xB0\xD1\x84\xD0\xB5", "--v1",
                          "artist=Caf\xC3\xA9", "--v1", "year=19888", "--v1", "track=5/12", "--v1",
                          "comment=" + std::string(31, 'c') + "\x1b", first, second});
    EXPECT_EQ(r.status, 0) << r.err;
    std::string expected;
    for (const std::string& shown : {first, dir.file("a\\x1b.mp3")}) {
        const std::string prefix = "quillon-tag: " + shown + ": warning: ID3v1 ";
        expected += prefix + "title will be stored as \"????\"\n" + prefix +
                    "year will be stored as \"1988\"\n" + prefix +
                    "track will be stored as \"5\"\n" + prefix + "comment will be stored as \"" +
                    std::string(28, 'c') + "\"\n";
    }
    EXPECT_EQ(r.err, expected);
    const Bytes saved = concat({audio, id3v1Tag({.title = "????",
                                                 .artist = "Caf\xE9",
                                                 .year = "1988",
                                                 .comment = std::string(28, 'c'),
                                                 .track = 5})});
    EXPECT_EQ(readFile(first), saved);
    EXPECT_EQ(readFile(second), saved);
}

// A save killed once its journal was synced: the next run finishes it, or, for a
// file changed since, leaves the file alone and says where the journal was set aside.
TEST(TagTool, FinishesAnInterruptedSaveOrSaysItsJournalWasSetAside) {
    TestDir dir;
    const Bytes audio = cbrFrames(5004);
    const Bytes before = concat({id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Old"), 64), audio});
    for (bool changedSince : {false, true}) {
        SCOPED_TRACE(changedSince ? "changed since" : "as the save left it");
        const std::string path = dir.createFile("a.mp3", before);
        const pid_t pid = ::fork();
        if (pid == 0) {
            setWriteStepObserver([](WriteStep step) {
                if (step == WriteStep::InPlaceWriting)
                    ::raise(SIGKILL);
            });
            TID3v2 tag;
            tag.SetTitle("New");
            ::_exit(tag.Save(path) ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        if (changedSince) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
            ASSERT_EQ(::write(fd, "x", 1), 1);
            ::close(fd);
        }
        const Bytes left = readFile(path);
        const std::string other = dir.createFile("b.mp3", before);
        const Result r = run({"--v2", "artist=Band", other});
        EXPECT_EQ(r.status, 0);
        if (changedSince) {
            EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("set-aside"), std::string::npos) << r.err;
            EXPECT_EQ(readFile(path), left);
        } else {
            EXPECT_EQ(r.err, "");
            TID3v2 tag;
            ASSERT_TRUE(tag.Load(path));
            EXPECT_EQ(tag.Title(), "New");
        }
        for (const std::string& name : entriesOf(stateFolder() + "/set-aside"))
            ::unlink((stateFolder() + "/set-aside/" + name).c_str());
        ::rmdir((stateFolder() + "/set-aside").c_str());
        EXPECT_EQ(entriesOf(stateFolder()), std::vector<std::string>{});
    }
}

// Pictures given are added after those of the file, each in place of one of the same type and
// description; --remove-pictures clears them first. The MIME type is the content's, whatever
// the name.
TEST(TagTool, AddsReplacesAndRemovesPictures) {
    TestDir dir;
    const std::string front = dir.createFile("front.png", bytesOf(pngBytes('f')));
    const std::string back = dir.createFile("back.png", bytesOf(jpegBytes('b'))); // a JPEG
    const std::string named = dir.createFile("a:b.jpg", bytesOf(jpegBytes('n')));
    const Bytes audio = cbrFrames(5004);
    const Bytes original =
        concat({id3v2Tag(3, concat({id3v2TextFrame(3, "TIT2", "Song"),
                                    apicFrame("image/jpeg", 3, "", jpegBytes('o')),
                                    apicFrame("image/png", 4, "x", pngBytes('x'))})),
                audio});
    const TPicture old = picture(3, "image/jpeg", "", jpegBytes('o'));
    const TPicture oldBack = picture(4, "image/png", "x", pngBytes('x'));
    const struct {
        std::vector<std::string> args;
        std::vector<TPicture> pictures;
    } cases[] = {
        {{"--picture", front}, {picture(3, "image/png", "", pngBytes('f')), oldBack}},
        {{"--picture", front + ":front:Cover"},
         {old, oldBack, picture(3, "image/png", "Cover", pngBytes('f'))}},
        {{"--picture", back + ":4:x", "--picture", front + ":band-logo:Λογότυπο"},
         {old, picture(4, "image/jpeg", "x", jpegBytes('b')),
          picture(19, "image/png", "Λογότυπο", pngBytes('f'))}},
        {{"--picture", named + ":back"},
         {old, oldBack, picture(4, "image/jpeg", "", jpegBytes('n'))}},
        {{"--picture", named}, {picture(3, "image/jpeg", "", jpegBytes('n')), oldBack}},
        {{"--picture", front + ":lead-artist:a:b"},
         {old, oldBack, picture(7, "image/png", "a:b", pngBytes('f'))}},
        {{"--remove-pictures"}, {}},
        {{"--remove-pictures", "--picture", back + ":back"},
         {picture(4, "image/jpeg", "", jpegBytes('b'))}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const std::string path = dir.createFile("song.mp3", original);
        std::vector<std::string> args = c.args;
        args.push_back(path);
        const Result r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        TID3v2 tag;
        ASSERT_TRUE(tag.Load(path));
        EXPECT_EQ(tag.Pictures(), c.pictures);
        EXPECT_EQ(tag.Title(), "Song");
        const Bytes saved = readFile(path);
        EXPECT_TRUE(std::equal(audio.rbegin(), audio.rend(), saved.rbegin()));
    }
    // A file without a tag gets one.
    const std::string bare = dir.createFile("bare.mp3", audio);
    ASSERT_EQ(run({"--picture", front, bare}).status, 0);
    EXPECT_EQ(picturesOf(bare), std::vector{picture(3, "image/png", "", pngBytes('f'))});
}

// Pictures, lyrics and the folder to extract into are checked before any file is touched: a
// failure names the file it read and writes nothing.
TEST(TagTool, RefusesPicturesLyricsAndFoldersItCannotUse) {
    TestDir dir;
    const Bytes original =
        concat({id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Song")), cbrFrames(5004)});
    const std::string song = dir.createFile("song.mp3", original);
    const std::string other = dir.createFile("other.mp3", original);
    const std::string gif = dir.createFile("cover.gif", bytesOf("GIF89a\x01\x00\x01\x00"));
    const std::string text = dir.createFile("cover.jpg", bytesOf("not a picture"));
    const std::string latin1 = dir.createFile("lyrics.txt", bytesOf("caf\xe9"));
    const std::string good = dir.createFile("good.png", bytesOf(pngBytes('g')));
    const struct {
        std::vector<std::string> args;
        std::string message;
        std::string input = {};
    } cases[] = {
        {{"--picture", dir.file("missing.jpg")}, dir.file("missing.jpg") + ": no such file"},
        {{"--picture", dir.file("missing.jpg") + ":back:Back"},
         dir.file("missing.jpg") + ": no such file"},
        {{"--picture", gif}, gif + ": not a JPEG or PNG picture"},
        {{"--picture", good, "--picture", text + ":front"}, text + ": not a JPEG or PNG picture"},
        {{"--picture", dir.path()}, dir.path() + ": is a folder"},
        {{"--picture", good + ":front:caf\xe9"}, good + ": the description is not UTF-8 text"},
        {{"--lyrics", dir.file("missing.txt")}, dir.file("missing.txt") + ": no such file"},
        {{"--lyrics", latin1}, "lyrics: " + latin1 + " is not UTF-8 text"},
        {{"--lyrics", "-"}, "lyrics: standard input is not UTF-8 text", "\xff"},
        {{"--extract-pictures", dir.file("missing")}, dir.file("missing") + ": no such folder"},
        {{"--extract-pictures", song, "--v2", "title=x"}, song + ": not a folder"},
        {{"--picture", gif, "--v1", "title=x"}, gif + ": not a JPEG or PNG picture"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> args = c.args;
        args.push_back(song);
        args.push_back(other);
        const Result r = run(args, c.input);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "quillon-tag: " + c.message + "\n");
        EXPECT_EQ(readFile(song), original);
        EXPECT_EQ(readFile(other), original);
    }
    EXPECT_EQ(entriesOf(dir.path()),
              (std::vector<std::string>{"cover.gif", "cover.jpg", "good.png", "lyrics.txt",
                                        "other.mp3", "song.mp3"}));
}

// Each picture goes into the folder under the song's name and its type, never over a file; a
// file whose pictures cannot be written is named, and the others are still done.
TEST(TagTool, ExtractsPicturesWithoutWritingOverFiles) {
    TestDir dir;
    const Bytes audio = cbrFrames(5004);
    const Bytes tagged = concat({id3v2Tag(3, concat({apicFrame("image/jpeg", 3, "", jpegBytes('1')),
                                                     apicFrame("image/png", 4, "", pngBytes('2')),
                                                     apicFrame("image/png", 3, "b", pngBytes('3')),
                                                     apicFrame("image/x-odd", 20, "", "??")})),
                                 audio});
    const std::string song = dir.createFile("song.mp3", tagged);
    const std::string bare = dir.createFile("bare.mp3", audio);
    ASSERT_EQ(::mkdir(dir.file("out").c_str(), 0700), 0);
    dir.createFile("out/song-back.png", bytesOf("mine"));

    const Result r = run({"--extract-pictures", dir.file("out"), song, bare});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string out = dir.file("out") + "/";
    EXPECT_EQ(r.out, out + "song-front.jpg\n" + out + "song-back-2.png\n" + out +
                         "song-front.png\n" + out +
                         "song-publisher-logo.bin\n2 written, 0 failed\n");
    EXPECT_EQ(textOf(readFile(out + "song-front.jpg")), jpegBytes('1'));
    EXPECT_EQ(textOf(readFile(out + "song-back.png")), "mine");
    EXPECT_EQ(textOf(readFile(out + "song-back-2.png")), pngBytes('2'));
    EXPECT_EQ(textOf(readFile(out + "song-front.png")), pngBytes('3'));
    EXPECT_EQ(textOf(readFile(out + "song-publisher-logo.bin")), "??");
    EXPECT_EQ(readFile(song), tagged);
    EXPECT_EQ(readFile(bare), audio);

    // Again: new names beside the first ones.
    const Result again = run({"--extract-pictures", dir.file("out") + "/", song});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, out + "song-front-2.jpg\n" + out + "song-back-3.png\n" + out +
                             "song-front-2.png\n" + out +
                             "song-publisher-logo-2.bin\n1 written, 0 failed\n");
    EXPECT_EQ(textOf(readFile(out + "song-front-2.jpg")), jpegBytes('1'));

    if (::geteuid() != 0) {
        ASSERT_EQ(::mkdir(dir.file("locked").c_str(), 0500), 0);
        const std::string second = dir.createFile("second.mp3", tagged);
        const Result locked = run({"--extract-pictures", dir.file("locked"), song, second});
        EXPECT_EQ(locked.status, 1);
        EXPECT_EQ(locked.err, "quillon-tag: " + song + ": cannot write " + dir.file("locked") +
                                  "/song-front.jpg: permission denied\nquillon-tag: " + second +
                                  ": cannot write " + dir.file("locked") +
                                  "/second-front.jpg: permission denied\n");
    }
}

// Lyrics come from a file or standard input, without the text's last line end; the
// language and description the tag gave them stay, and empty lyrics go.
TEST(TagTool, SetsLyricsFromAFileOrStandardInput) {
    TestDir dir;
    const Bytes audio = cbrFrames(5004);
    const Bytes withLyrics =
        concat({id3v2Tag(3, id3v2Frame(3, "USLT", std::string("\0deuWorte\0Alt", 13))), audio});
    const std::string file = dir.createFile("words.txt", bytesOf("Erste Zeile\nZweite Zeile ☃\n"));
    const std::string empty = dir.createFile("empty.txt", {});
    const struct {
        const char* name;
        Bytes original;
        std::vector<std::string> args;
        std::string input;
        TLyrics lyrics;
    } cases[] = {
        {"from a file",
         withLyrics,
         {"--lyrics", file},
         "",
         {"deu", "Worte", "Erste Zeile\nZweite Zeile ☃"}},
        {"from standard input",
         withLyrics,
         {"--lyrics", "-"},
         "One\r\nTwo\r\n",
         {"deu", "Worte", "One\r\nTwo"}},
        {"into a file without lyrics", audio, {"--lyrics", "-"}, "La", {"eng", "", "La"}},
        {"removed", withLyrics, {"--lyrics", empty}, "", {"eng", "", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.createFile("song.mp3", c.original);
        std::vector<std::string> args = c.args;
        args.push_back(path);
        const Result r = run(args, c.input);
        ASSERT_EQ(r.status, 0) << r.err;
        TID3v2 tag;
        ASSERT_TRUE(tag.Load(path));
        EXPECT_EQ(tag.Lyrics(), c.lyrics);
    }
}

// The fields the ID3v2 tag alone has: the album's artist, the disc, and the track whole.
TEST(TagTool, SetsAlbumArtistDiscAndTrackWhole) {
    TestDir dir;
    const std::string path = dir.createFile(
        "a.mp3", concat({id3v2Tag(4, id3v2TextFrame(4, "TPOS", "2")), cbrFrames(5004)}));
    const Result r = run(
        {"--v2", "albumartist=Various Artists", "--v2", "disc=1/2", "--v2", "track=3/12", path});
    ASSERT_EQ(r.status, 0) << r.err;
    TID3v2 tag;
    ASSERT_TRUE(tag.Load(path));
    EXPECT_EQ(tag.AlbumArtist(), "Various Artists");
    EXPECT_EQ(tag.Disc(), "1/2");
    EXPECT_EQ(tag.TrackText(), "3/12");
    EXPECT_EQ(tag.VersionId(), 4);
}

// --to-v24 and --to-v23 rewrite the tag in that revision with the frames mapped; a tag holding
// what the revision cannot is left alone, with its ID3v1 tag, unless losses are allowed.
TEST(TagTool, ConvertsBetweenRevisionsAndRefusesLosses) {
    TestDir dir;
    const Bytes audio = cbrFrames(5004);
    const Bytes v23 = concat(
        {id3v2Tag(3, concat({id3v2TextFrame(3, "TIT2", "Song"), id3v2TextFrame(3, "TYER", "2021"),
                             id3v2TextFrame(3, "TDAT", "0504")})),
         audio});
    const std::string path = dir.createFile("a.mp3", v23);
    Result r = run({"--to-v24", path});
    ASSERT_EQ(r.status, 0) << r.err;
    TID3v2 tag;
    ASSERT_TRUE(tag.Load(path));
    EXPECT_EQ(tag.VersionId(), 4);
    EXPECT_EQ(tag.Title(), "Song");
    EXPECT_EQ(tag.Year(), "2021-04-05");
    const Bytes asV24 = readFile(path);
    // Already that revision: nothing to do.
    r = run({"--to-v24", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(path), asV24);
    r = run({"--to-v23", path});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(tag.Load(path));
    EXPECT_EQ(tag.VersionId(), 3);
    EXPECT_EQ(tag.Title(), "Song");
    EXPECT_EQ(tag.Year(), "2021");

    // No tag: none is made.
    const std::string bare = dir.createFile("bare.mp3", audio);
    EXPECT_EQ(run({"--to-v23", bare}).status, 0);
    EXPECT_EQ(readFile(bare), audio);

    const Bytes lossy = concat({id3v2Tag(3, concat({id3v2TextFrame(3, "TIT2", "Song"),
                                                    id3v2TextFrame(3, "TSIZ", "12345")})),
                                audio});
    const std::string kept = dir.createFile("lossy.mp3", lossy);
    r = run({"--to-v24", "--v1", "title=x", kept, path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("quillon-tag: " + kept + ": not converted: ID3v2.4 would drop TSIZ (", 0),
              0u)
        << r.err;
    EXPECT_NE(r.err.find("; --allow-losses converts it anyway\n"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(kept), lossy);
    ASSERT_TRUE(tag.Load(path));
    EXPECT_EQ(tag.VersionId(), 4); // the other file is converted

    r = run({"--to-v24", "--allow-losses", kept});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(
        r.err.rfind("quillon-tag: " + kept + ": warning: converted to ID3v2.4, dropping TSIZ (", 0),
        0u)
        << r.err;
    ASSERT_TRUE(tag.Load(kept));
    EXPECT_EQ(tag.VersionId(), 4);
    EXPECT_EQ(tag.Title(), "Song");
}
