#include "tags/ID3v1.h"

#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillon;

using namespace std::string_view_literals;

namespace {

void put(Bytes& to, std::size_t at, std::string_view text) {
    std::copy(text.begin(), text.end(), to.begin() + static_cast<std::ptrdiff_t>(at));
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
}

void expectResetFields(const TID3v1& tag) {
    EXPECT_FALSE(tag.Exists());
    EXPECT_EQ(tag.VersionId(), 1);
    EXPECT_EQ(tag.Title(), "");
    EXPECT_EQ(tag.Artist(), "");
    EXPECT_EQ(tag.Album(), "");
    EXPECT_EQ(tag.Year(), "");
    EXPECT_EQ(tag.Comment(), "");
    EXPECT_EQ(tag.Track(), 0);
    EXPECT_EQ(tag.GenreId(), 255);
    EXPECT_EQ(tag.Genre(), "");
}

// Runs `action` in a child process that may not write beyond `limit` bytes of
// any file; gives the child's exit code: 0 when the action returned true.
template <typename Action> int runWithFileSizeLimit(rlim_t limit, Action action) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &rl);
        ::_exit(action() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const std::string Comment28 = "abcdefghijklmnopqrstuvwxyz01";

} // namespace

TEST(ID3v1Load, ReadsEverySlotWithTrailingControlsTrimmed) {
    TestDir dir;
    Bytes block = id3v1Tag({.title = "\xC9t\xE9\xA0 \x01",
                            .artist = "  Lead",
                            .album = "ab\0cd"sv,
                            .year = "1999",
                            .comment = "abcdefghijklmnopqrstuvwxyz0123",
                            .genre = 17});
    const std::string path = dir.createFile("a.mp3", concat({audioBytes(500), block}));

    TID3v1 tag;
    ASSERT_TRUE(tag.Load(path));
    EXPECT_TRUE(tag.Exists());
    EXPECT_EQ(tag.VersionId(), 1);
    EXPECT_EQ(tag.Title(), "Été "); // Windows-1252 bytes read as UTF-8
    EXPECT_EQ(tag.Artist(), "  Lead");
    EXPECT_EQ(tag.Album(), "ab\0cd"sv);
    EXPECT_EQ(tag.Year(), "1999");
    EXPECT_EQ(tag.Comment(), "abcdefghijklmnopqrstuvwxyz0123");
    EXPECT_EQ(tag.Track(), 0);
    EXPECT_EQ(tag.GenreId(), 17);
    EXPECT_EQ(tag.Genre(), "Rock");
}

TEST(ID3v1Load, BytesBeforeGenreDecideTheRevision) {
    struct Case {
        std::uint8_t b125, b126;
        int version;
        int track;
        std::string comment;
    };
    const Case cases[] = {
        {0x00, 0x00, 1, 0, Comment28},      {0x00, 0x05, 2, 5, Comment28},
        {0x00, 0x20, 2, 32, Comment28},     {0x20, '7', 2, '7', Comment28},
        {0x20, 0x00, 2, 0, Comment28},      {0x20, 0x20, 1, 0, Comment28},
        {'x', 'y', 1, 0, Comment28 + "xy"}, {'x', 0x00, 1, 0, Comment28 + "x"},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.b125) << " " << int(c.b126));
        Bytes block = id3v1Tag({.title = "T", .comment = Comment28, .genre = 3});
        block[125] = c.b125;
        block[126] = c.b126;
        TID3v1 tag;
        ASSERT_TRUE(tag.Load(dir.createFile("a.mp3", block)));
        EXPECT_EQ(tag.VersionId(), c.version);
        EXPECT_EQ(tag.Track(), c.track);
        EXPECT_EQ(tag.Comment(), c.comment);
        EXPECT_EQ(tag.GenreId(), 3);
    }
}

TEST(ID3v1Load, WithoutTagSucceedsWithResetFields) {
    Bytes lowerCase = id3v1Tag({.title = "Title"});
    put(lowerCase, 0, "tag");
    const Bytes cases[] = {
        audioBytes(1000), concat({audioBytes(10), lowerCase}),
        concat({id3v1Tag({.title = "Title"}), Bytes{0}}), // the tag is one byte too early
    };
    TestDir dir;
    const std::string tagged =
        dir.createFile("tagged.mp3", id3v1Tag({.title = "Old", .artist = "Old", .genre = 1}));
    for (const Bytes& content : cases) {
        SCOPED_TRACE(content.size());
        const std::string path = dir.createFile("a.mp3", content);
        TID3v1 tag;
        ASSERT_TRUE(tag.Load(tagged));
        ASSERT_TRUE(tag.Exists());
        EXPECT_TRUE(tag.Load(path));
        expectResetFields(tag);
        EXPECT_TRUE(tag.Strip(path));
        EXPECT_EQ(readFile(path), content);
    }
}

TEST(ID3v1, ShortOrMissingFileFailsAndStaysUnchanged) {
    const Bytes block = id3v1Tag({.title = "Title"});
    const Bytes cases[] = {{}, bytesOf("TAG"), Bytes(block.begin(), block.end() - 1)};
    TestDir dir;
    const std::string tagged = dir.createFile("tagged.mp3", id3v1Tag({.title = "Old"}));
    for (const Bytes& content : cases) {
        SCOPED_TRACE(content.size());
        const std::string path = dir.createFile("short.mp3", content);
        TID3v1 tag;
        ASSERT_TRUE(tag.Load(tagged));
        EXPECT_FALSE(tag.Load(path));
        expectResetFields(tag);
        tag.SetTitle("New");
        EXPECT_FALSE(tag.Save(path));
        EXPECT_FALSE(tag.Strip(path));
        EXPECT_EQ(readFile(path), content);
    }

    const std::string missing = dir.file("missing.mp3");
    TID3v1 tag;
    tag.SetTitle("New");
    EXPECT_FALSE(tag.Load(missing));
    EXPECT_FALSE(tag.Save(missing));
    EXPECT_FALSE(tag.Strip(missing));
    EXPECT_FALSE(fileExists(missing));
}

TEST(ID3v1Strip, CutsTheTagAndKeepsTheMode) {
    TestDir dir;
    const Bytes body = audioBytes(300);
    const std::string path = dir.createFile("a.mp3", concat({body, id3v1Tag({.title = "Title"})}));
    ::chmod(path.c_str(), 0444);
    EXPECT_TRUE(TID3v1().Strip(path));
    EXPECT_EQ(readFile(path), body);
    EXPECT_EQ(modeOf(path), 0444u);

    // Without a tag the file is not touched at all.
    EXPECT_TRUE(TID3v1().Strip(path));
    EXPECT_EQ(readFile(path), body);
    ::chmod(path.c_str(), 0444);
    EXPECT_TRUE(TID3v1().Strip(path));
    EXPECT_EQ(modeOf(path), 0444u);

    const std::string tagOnly = dir.createFile("b.mp3", id3v1Tag({.title = "Title"}));
    EXPECT_TRUE(TID3v1().Strip(tagOnly));
    EXPECT_TRUE(fileExists(tagOnly));
    EXPECT_EQ(readFile(tagOnly), Bytes{});
}

TEST(ID3v1Save, WritesTheLayoutChosenByTrack) {
    struct Case {
        std::string comment;
        std::uint8_t track;
        Bytes block;
        int version;
        std::string loadedComment;
    };
    Bytes v11 = id3v1Tag({.title = "ab\0cd"sv,
                          .artist = "Artist",
                          .album = "Album",
                          .year = "2024",
                          .comment = Comment28,
                          .genre = 200});
    v11[126] = 5;
    const std::string comment30 = Comment28 + "XY";
    const Case cases[] = {
        {Comment28, 0,
         id3v1Tag({.title = "ab\0cd"sv,
                   .artist = "Artist",
                   .album = "Album",
                   .year = "2024",
                   .comment = Comment28,
                   .genre = 200}),
         1, Comment28},
        {comment30, 0,
         id3v1Tag({.title = "ab\0cd"sv,
                   .artist = "Artist",
                   .album = "Album",
                   .year = "2024",
                   .comment = comment30,
                   .genre = 200}),
         1, comment30},
        // Bytes 125 and 126 take the place of the comment's last two characters.
        {comment30, 5, v11, 2, Comment28},
        {Comment28, 5, v11, 2, Comment28},
    };
    TestDir dir;
    const Bytes body = audioBytes(400);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.comment + " " + std::to_string(c.track));
        TID3v1 tag;
        tag.SetTitle("ab\0cd"sv);
        tag.SetArtist("Artist");
        tag.SetAlbum("Album");
        tag.SetYear("2024");
        tag.SetComment(c.comment);
        tag.SetTrack(c.track);
        tag.SetGenreId(200);

        const std::string path = dir.createFile("a.mp3", body);
        ASSERT_TRUE(tag.Save(path));
        EXPECT_EQ(readFile(path), concat({body, c.block}));

        // Over an existing tag: overwritten in place, never appended.
        const std::string tagged = dir.createFile(
            "b.mp3",
            concat({body, id3v1Tag({.title = "Old title", .artist = "Old", .year = "1970"})}));
        const ino_t inode = inodeOf(tagged);
        ASSERT_TRUE(tag.Save(tagged));
        EXPECT_EQ(readFile(tagged), concat({body, c.block}));
        EXPECT_EQ(inodeOf(tagged), inode);

        TID3v1 loaded;
        ASSERT_TRUE(loaded.Load(tagged));
        EXPECT_TRUE(loaded.Exists());
        EXPECT_EQ(loaded.VersionId(), c.version);
        EXPECT_EQ(loaded.Title(), "ab\0cd"sv);
        EXPECT_EQ(loaded.Comment(), c.loadedComment);
        EXPECT_EQ(loaded.Track(), c.track);
        EXPECT_EQ(loaded.GenreId(), 200);
        EXPECT_EQ(loaded.Genre(), "");
    }
}

TEST(ID3v1Save, OnATagOnlyFileKeepsItAt128BytesAndItsMode) {
    TestDir dir;
    const std::string path = dir.createFile("a.mp3", id3v1Tag({.title = "Old"}));
    ::chmod(path.c_str(), 0444);
    TID3v1 tag;
    tag.SetTitle("New");
    ASSERT_TRUE(tag.Save(path));
    EXPECT_EQ(readFile(path), id3v1Tag({.title = "New"}));
    EXPECT_EQ(modeOf(path), 0444u);
}

TEST(ID3v1Save, AFailedWriteKeepsTheOldTag) {
    TestDir dir;
    const Bytes before = concat({audioBytes(4000), id3v1Tag({.title = "Old", .artist = "Band"})});
    const std::string path = dir.createFile("a.mp3", before);
    TID3v1 tag;
    tag.SetTitle("New");
    EXPECT_EQ(runWithFileSizeLimit(1000, [&] { return tag.Save(path); }), 1);
    EXPECT_EQ(readFile(path), before);
}

// A disk that fills in the middle of the 128 bytes: the part written is taken
// back, so the file keeps its old tag, or stays without one, never half new.
TEST(ID3v1Save, AWriteCutShortLeavesTheFileAsItWas) {
    TestDir dir;
    const Bytes audioOnly = audioBytes(4000);
    for (const Bytes& before :
         {concat({audioOnly, id3v1Tag({.title = "Old", .artist = "Band"})}), audioOnly}) {
        for (rlim_t into : {1, 64, 127}) {
            SCOPED_TRACE(testing::Message()
                         << before.size() << " bytes, " << into << " into the tag");
            const std::string path = dir.createFile("a.mp3", before);
            TID3v1 tag;
            tag.SetTitle("New");
            EXPECT_EQ(runWithFileSizeLimit(4000 + into, [&] { return tag.Save(path); }), 1);
            EXPECT_EQ(readFile(path), before);
        }
    }
}

TEST(ID3v1Setters, TrimTrailingControlsThenCutToTheSlot) {
    using Setter = void (TID3v1::*)(std::string_view);
    using Getter = std::string (TID3v1::*)() const;
    struct Case {
        Setter set;
        Getter get;
        std::string text;
        std::string stored;
    };
    const std::string long40 = "0123456789012345678901234567890123456789";
    const std::string cutInSpaces = std::string(28, 'a') + "     b";
    const Case cases[] = {
        {&TID3v1::SetTitle, &TID3v1::Title, "  ab  ", "  ab"},
        {&TID3v1::SetTitle, &TID3v1::Title, long40, long40.substr(0, 30)},
        {&TID3v1::SetTitle, &TID3v1::Title, cutInSpaces, std::string(28, 'a') + "  "},
        {&TID3v1::SetTitle, &TID3v1::Title, std::string("x\0\x01\x1F \n"sv), "x"},
        {&TID3v1::SetTitle, &TID3v1::Title, std::string("\0xé€"sv), std::string("\0xé€"sv)},
        // What Windows-1252 cannot hold is stored as "?", one byte of the 30.
        {&TID3v1::SetTitle, &TID3v1::Title, "Жук " + long40, "??? " + long40.substr(0, 26)},
        {&TID3v1::SetArtist, &TID3v1::Artist, long40 + "   ", long40.substr(0, 30)},
        {&TID3v1::SetAlbum, &TID3v1::Album, " Album ", " Album"},
        {&TID3v1::SetComment, &TID3v1::Comment, long40, long40.substr(0, 30)},
        {&TID3v1::SetYear, &TID3v1::Year, "2024 ", "2024"},
        {&TID3v1::SetYear, &TID3v1::Year, "20245", "2024"},
        {&TID3v1::SetYear, &TID3v1::Year, "  1999", "  19"},
        {&TID3v1::SetYear, &TID3v1::Year, "99", "99"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        TID3v1 tag;
        (tag.*c.set)(c.text);
        EXPECT_EQ((tag.*c.get)(), c.stored);
    }
}

TEST(GenreTable, HoldsTheListWithItsTwoOddSpellings) {
    struct Row {
        int index;
        std::string_view name;
    };
    const Row rows[] = {
        {0, "Blues"},         {12, "Other"},           {13, "Pop"},         {17, "Rock"},
        {20, "Alternative"},  {40, "AlternRock"},      {67, "Psychadelic"}, {79, "Hard Rock"},
        {80, "Folk"},         {92, "Progessive Rock"}, {123, "A capella"},  {127, "Drum & Bass"},
        {144, "Trash Metal"}, {146, "JPop"},           {147, "Synthpop"},
    };
    ASSERT_EQ(GenreCount, 148);
    ASSERT_EQ(GenreNames.size(), 148u);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.index);
        EXPECT_EQ(GenreNames[r.index], r.name);
        TID3v1 tag;
        tag.SetGenreId(static_cast<std::uint8_t>(r.index));
        EXPECT_EQ(tag.Genre(), r.name);
    }
    for (std::string_view name : GenreNames)
        EXPECT_FALSE(name.empty());
    for (int id : {148, 200, 255}) {
        TID3v1 tag;
        tag.SetGenreId(static_cast<std::uint8_t>(id));
        EXPECT_EQ(tag.GenreId(), id);
        EXPECT_EQ(tag.Genre(), "");
    }
}
