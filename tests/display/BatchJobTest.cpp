// The batch engine on real files: plans that say what each file gets and which are left out,
// runs that write each file whole or not at all, Cancel between files, and an undo that puts
// back the bytes of every file the run wrote and leaves alone the ones changed since.
#include "display/BatchJob.h"

#include "shell/FileName.h"
#include "tags/ID3v2.h"

#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace quillon;

namespace {

const Bytes kAudio = cbrFrames(5004);

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string reasons(const std::vector<FileFailure>& failures) {
    std::string text;
    for (const FileFailure& failure : failures)
        text += fileNameOf(failure.path).toStdString() + ": " + failure.reason.toStdString() + "\n";
    return text;
}

Bytes tail(const Bytes& bytes, std::size_t count) {
    return Bytes(bytes.end() - std::ptrdiff_t(count), bytes.end());
}

std::string id3v2Field(const std::string& path, const std::string& key) {
    TID3v2 tag;
    EXPECT_TRUE(tag.Load(path));
    if (key == "track")
        return std::to_string(tag.Track()) +
               (tag.TrackTotal() ? "/" + std::to_string(tag.TrackTotal()) : "");
    return key == "artist" ? tag.Artist() : key == "title" ? tag.Title() : tag.Album();
}

BatchResult runAll(const std::vector<FileEdit>& edits, BatchUndo* undo = nullptr) {
    const std::atomic_bool cancel{false};
    return BatchJob().run(edits, cancel, {}, undo);
}

} // namespace

// The name's fields go into both tags; a name that does not match is left out, a file that is
// no MPEG audio fails, and the others are written all the same.
TEST(BatchJob, TagsFromNamesWriteBothTags) {
    TestDir dir;
    const std::string matching = dir.createFile("Nina - Song.mp3", kAudio);
    const std::string other = dir.createFile("Nina Song.mp3", kAudio);
    const std::string text = dir.createFile("Notes - Text.mp3", bytesOf("not audio at all"));
    const BatchPlan plan = planTagsFromNames({q(matching), q(other), q(text)},
                                             NamePattern("%artist% - %title%"), {true, true});
    ASSERT_EQ(plan.edits.size(), 2u);
    EXPECT_EQ(reasons(plan.skipped), "Nina Song.mp3: the name does not match the pattern\n");

    const BatchResult result = runAll(plan.edits);
    EXPECT_EQ(result.written, 1);
    EXPECT_EQ(reasons(result.failed), "Notes - Text.mp3: not an MPEG audio file\n");
    const Bytes bytes = readFile(matching);
    EXPECT_EQ(tail(bytes, 128), id3v1Tag({.title = "Song", .artist = "Nina"}));
    EXPECT_EQ(id3v2Field(matching, "artist"), "Nina");
    EXPECT_EQ(id3v2Field(matching, "title"), "Song");
    EXPECT_EQ(readFile(other), kAudio);
    EXPECT_EQ(readFile(text), bytesOf("not audio at all"));
}

// Collisions are found while planning, before any file is renamed: two files to one name and
// a name that exists are both left out, with the reason; the rest is renamed.
TEST(BatchJob, RenameFromTagsFlagsCollisionsFirst) {
    TestDir dir;
    const auto withTag = [&](const char* name, const char* artist, const char* title) {
        return dir.createFile(name, concat({kAudio, id3v1Tag({.title = title, .artist = artist})}));
    };
    const std::string twin1 = withTag("1.mp3", "A", "B");
    const std::string twin2 = withTag("2.mp3", "A", "B");
    const std::string free = withTag("3.mp3", "AC/DC", "T.N.T.");
    const std::string taken = withTag("4.mp3", "E", "F");
    const std::string existing = dir.createFile("E - F.mp3", kAudio);
    const std::string untagged = dir.createFile("5.mp3", kAudio);
    const std::string named = withTag("G - H.mp3", "G", "H");
    const BatchPlan plan =
        planRenameFromTags({q(twin1), q(twin2), q(free), q(taken), q(untagged), q(named)},
                           NamePattern("%artist% - %title%"));
    EXPECT_EQ(reasons(plan.skipped), "5.mp3: the tag has no artist\n"
                                     "1.mp3: another file would also be named \"" +
                                         dir.path() + "/A - B.mp3\"\n" +
                                         "2.mp3: another file would also be named \"" + dir.path() +
                                         "/A - B.mp3\"\n" + "4.mp3: \"" + dir.path() +
                                         "/E - F.mp3\" exists already\n");
    ASSERT_EQ(plan.edits.size(), 1u);
    EXPECT_EQ(plan.edits[0].newPath, q(dir.path() + "/AC-DC - T.N.T..mp3"));
    EXPECT_TRUE(fileExists(twin1) && fileExists(twin2) && fileExists(taken));

    const Bytes before = readFile(free);
    const BatchResult result = runAll(plan.edits);
    EXPECT_EQ(result.written, 1);
    EXPECT_EQ(reasons(result.failed), "");
    EXPECT_FALSE(fileExists(free));
    EXPECT_EQ(readFile(dir.path() + "/AC-DC - T.N.T..mp3"), before);
    EXPECT_EQ(readFile(existing), kAudio);
}

// Folder levels in a rename pattern make the folders they need.
TEST(BatchJob, RenameIntoFolderLevels) {
    TestDir dir;
    ASSERT_EQ(::mkdir(dir.file("old").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(dir.file("old/folder").c_str(), 0700), 0);
    const std::string file = dir.createFile(
        "old/folder/x.mp3",
        concat(
            {kAudio, id3v1Tag({.title = "Song", .artist = "Nina", .album = "Best", .track = 3})}));
    const BatchPlan plan =
        planRenameFromTags({q(file)}, NamePattern("%artist%/%album%/%track% - %title%"));
    ASSERT_EQ(plan.edits.size(), 1u) << reasons(plan.skipped);
    const std::string target = dir.file("Nina/Best/03 - Song.mp3");
    EXPECT_EQ(plan.edits[0].newPath, q(target));
    const BatchResult result = runAll(plan.edits);
    EXPECT_EQ(reasons(result.failed), "");
    EXPECT_FALSE(fileExists(file));
    EXPECT_TRUE(fileExists(target));
}

// Tracks follow the order given, from the start number, the total being the last number.
TEST(BatchJob, NumbersTracksInTheOrderGiven) {
    TestDir dir;
    const std::string c = dir.createFile("c.mp3", kAudio);
    const std::string a = dir.createFile("a.mp3", kAudio);
    const std::string b = dir.createFile("b.mp3", kAudio);
    const BatchPlan plan = planNumbering({q(c), q(a), q(b)}, 5, true, {true, true});
    ASSERT_EQ(plan.edits.size(), 3u);
    EXPECT_EQ(runAll(plan.edits).written, 3);
    EXPECT_EQ(id3v2Field(c, "track"), "5/7");
    EXPECT_EQ(id3v2Field(a, "track"), "6/7");
    EXPECT_EQ(id3v2Field(b, "track"), "7/7");
    EXPECT_EQ(tail(readFile(b), 128), id3v1Tag({.track = 7}));

    // ID3v1 has room for tracks up to 255 only: such a file is left out before anything runs.
    const BatchPlan high = planNumbering({q(a)}, 300, false, {true, false});
    EXPECT_EQ(high.edits.size(), 0u);
    EXPECT_EQ(reasons(high.skipped),
              "a.mp3: ID3v1 track: \"300\" is not a number from 0 to 255 or n/total\n");
}

// A file is written whole or not at all: when its rename fails after its tags were written,
// the tags are put back to their old bytes.
TEST(BatchJob, AFileIsWrittenWholeOrNotAtAll) {
    TestDir dir;
    const Bytes original =
        concat({id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Old")), kAudio, id3v1Tag({.title = "Old"})});
    const std::string file = dir.createFile("x.mp3", original);
    const std::string existing = dir.createFile("taken.mp3", kAudio);
    FileEdit edit{q(file), PatternValues{{"title", "New"}}, PatternValues{{"title", "New"}},
                  q(existing)};
    const BatchResult result = runAll({edit});
    EXPECT_EQ(result.written, 0);
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_TRUE(result.failed[0].reason.startsWith("cannot rename to")) << reasons(result.failed);
    EXPECT_EQ(readFile(file), original);
    EXPECT_EQ(readFile(existing), kAudio);
}

// Cancel is seen between files: the files in hand are finished, the ones after are untouched.
TEST(BatchJob, CancelStopsBetweenFiles) {
    TestDir dir;
    QStringList paths;
    for (int i = 0; i < BatchJob::kGroupSize + 2; ++i)
        paths.append(q(dir.createFile(std::to_string(i) + ".mp3", kAudio)));
    const BatchPlan plan = planNumbering(paths, 1, false, {false, true});
    std::atomic_bool cancel{false};
    std::vector<int> seen;
    const BatchResult result = BatchJob().run(plan.edits, cancel, [&](int done, int total) {
        seen.push_back(done);
        EXPECT_EQ(total, int(paths.size()));
        cancel = true;
    });
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.written, BatchJob::kGroupSize);
    EXPECT_EQ(int(seen.size()), BatchJob::kGroupSize);
    EXPECT_EQ(id3v2Field(paths[BatchJob::kGroupSize - 1].toStdString(), "track"),
              std::to_string(BatchJob::kGroupSize));
    EXPECT_EQ(readFile(paths.back().toStdString()), kAudio);
}

// The undo puts back every file's bytes and name: tags that grew, tags that were not there,
// an ID3v1 tag that held bytes no field shows. A file changed since the run is left alone.
TEST(BatchJob, UndoRestoresTheBytesOfEveryFileNotChangedSince) {
    TestDir dir;
    Bytes odd = id3v1Tag({.title = "Odd", .comment = "x"});
    odd[40] = 'z'; // after the artist's NUL: a byte a load does not show
    const Bytes grown = concat({id3v2Tag(4, id3v2TextFrame(4, "TIT2", "Old")), kAudio, odd});
    const Bytes bare = kAudio;
    const Bytes later = concat({id3v2Tag(3, id3v2TextFrame(3, "TPE1", "Me"), 64), kAudio});
    const std::string a = dir.createFile("a.mp3", grown);
    const std::string b = dir.createFile("b.mp3", bare);
    const std::string c = dir.createFile("c.mp3", later);
    const std::string longTitle(300, 'T');
    std::vector<FileEdit> edits;
    for (const std::string& path : {a, b, c})
        edits.push_back({q(path), PatternValues{{"artist", "Someone"}},
                         PatternValues{{"title", q(longTitle)}}, std::nullopt});
    edits[1].newPath = q(dir.path() + "/renamed.mp3");
    BatchUndo undo;
    ASSERT_EQ(runAll(edits, &undo).written, 3);
    ASSERT_EQ(undo.files.size(), 3u);
    EXPECT_NE(readFile(a), grown);

    // c changes after the run: another save of its tag.
    TID3v2 tag;
    ASSERT_TRUE(tag.Load(c));
    tag.SetAlbum("Changed since");
    ASSERT_TRUE(tag.Save(c));
    const Bytes changed = readFile(c);

    const std::atomic_bool cancel{false};
    const BatchResult result = BatchJob().undo(undo, cancel);
    EXPECT_EQ(result.written, 2);
    EXPECT_EQ(reasons(result.failed), "c.mp3: the file has changed since; left as it is\n");
    EXPECT_EQ(readFile(a), grown);
    EXPECT_EQ(readFile(b), bare);
    EXPECT_FALSE(fileExists(dir.path() + "/renamed.mp3"));
    EXPECT_EQ(readFile(c), changed);
}
