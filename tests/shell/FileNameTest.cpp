// Names as bytes: every byte string comes back from its text exactly, and what the user sees
// and types maps back to the same bytes.
#include "shell/FileName.h"
#include "shell/FileUri.h"
#include "shell/FolderEntries.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;

namespace {

TEST(FileName, EveryByteStringComesBackExactly) {
    const QByteArray cases[] = {
        "plain.mp3",
        "caf\xc3\xa9.mp3",       // UTF-8
        "caf\xe9.mp3",           // Latin-1
        "\xff\xfe",              // never UTF-8
        "\xc3",                  // a sequence cut short
        "\xe0\x80\xaf",          // an overlong "/"
        "\xed\xb3\xa9",          // an encoded surrogate (U+DCE9)
        "\xf4\x90\x80\x80",      // past U+10FFFF
        "\xf0\x9f\x8e\xb5 note", // outside the BMP
        "mixed \xe9\xc3\xa9\x80 end",
    };
    for (const QByteArray& bytes : cases) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        const QString text = fileNameFromBytes(bytes);
        EXPECT_EQ(fileNameBytes(text), bytes);
        EXPECT_EQ(hasRawBytes(text), QString::fromUtf8(bytes).toUtf8() != bytes);
    }
    EXPECT_EQ(fileNameFromBytes("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
}

TEST(FileName, RawBytesAreShownAndTypedAsHexEscapes) {
    const QString latin1 = fileNameFromBytes("caf\xe9.mp3");
    EXPECT_EQ(displayFileName(latin1), QStringLiteral("caf\\xE9.mp3"));
    EXPECT_EQ(displayFileName(QStringLiteral("caf\\xE9")), QStringLiteral("caf\\xE9"));

    struct Case {
        const char* typed;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"caf\\xE9.mp3", "caf\xe9.mp3"},         // left as shown
        {"caf\\xE9 (2).mp3", "caf\xe9 (2).mp3"}, // an edit keeps the byte
        {"caf\\xe9.mp2", "caf\xe9.mp2"},         // either case of hex
        {"café.mp3", "caf\xc3\xa9.mp3"},         // typed over: UTF-8
        {"a\\x41.mp3", "a\\x41.mp3"},            // below 80: no byte of a name's own
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(fileNameBytes(fileNameFromDisplay(QString::fromUtf8(c.typed), latin1)), c.bytes);
    }
    // A name that is all UTF-8 takes what is typed as it stands.
    EXPECT_EQ(fileNameFromDisplay(QStringLiteral("a\\xE9"), QStringLiteral("b")),
              QStringLiteral("a\\xE9"));
}

TEST(FileName, PathParts) {
    EXPECT_EQ(fileNameOf("/a/b.mp3"), "b.mp3");
    EXPECT_EQ(folderOf("/a/b.mp3"), "/a");
    EXPECT_EQ(folderOf("/b.mp3"), "/");
    EXPECT_EQ(childPath("/", "b"), "/b");
    EXPECT_EQ(childPath("/a", "b"), "/a/b");
}

TEST(FileName, FileUrisEscapeTheBytesAndComeBackExactly) {
    const struct {
        QByteArray path;
        QByteArray uri;
    } cases[] = {
        {"/music/caf\xe9.mp3", "file:///music/caf%E9.mp3"},
        {"/music/caf\xc3\xa9.mp3", "file:///music/caf%C3%A9.mp3"},
        {"/a b/50%#?.mp3", "file:///a%20b/50%25%23%3F.mp3"},
        {"/it's (live) & more+1,2;x=y:z@w", "file:///it's%20(live)%20&%20more+1,2;x=y:z@w"},
        {"/", "file:///"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uri.toStdString());
        const QString path = fileNameFromBytes(c.path);
        EXPECT_EQ(fileUriOf(path), c.uri);
        EXPECT_EQ(fileNameBytes(pathFromFileUri(c.uri)), c.path);
        // Names Qt can read are written as Qt writes them.
        if (!hasRawBytes(path)) {
            EXPECT_EQ(fileUriOf(path), QUrl::fromLocalFile(path).toEncoded());
        }
    }
    const struct {
        const char* uri;
        QByteArray path; // empty: not a local file
    } read[] = {
        {"FILE://LocalHost/a/caf%e9.mp3", "/a/caf\xe9.mp3"},
        {"file:/a/b", "/a/b"},
        {"file:///a/b#part", "/a/b"},
        {"file://server/a/b", ""},
        {"http:///a/b", ""},
        {"file:a/b", ""},
        {"file://", ""},
    };
    for (const auto& r : read) {
        SCOPED_TRACE(r.uri);
        EXPECT_EQ(fileNameBytes(pathFromFileUri(r.uri)), r.path);
    }
}

// Every entry is seen with its exact bytes and its kind, links followed for the kind.
TEST(FileName, FolderEntriesByTheirBytes) {
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    const auto at = [&root](const char* name) { return QByteArray(root + '/' + name); };
    ASSERT_EQ(::mkdir(at("D\xefsc").constData(), 0755), 0);
    ::close(::open(at("caf\xe9.mp3").constData(), O_CREAT | O_WRONLY, 0644));
    ASSERT_EQ(::symlink("D\xefsc", at("to folder").constData()), 0);
    ASSERT_EQ(::symlink("gone", at("broken").constData()), 0);

    std::map<QByteArray, std::pair<bool, bool>> seen; // name: folder, link
    EXPECT_TRUE(forEachEntry(dir.path(), [&](const DirectoryEntry& entry) {
        seen[fileNameBytes(entry.name)] = {entry.isDir, entry.isSymLink};
        return true;
    }));
    const std::map<QByteArray, std::pair<bool, bool>> expected = {
        {"D\xefsc", {true, false}},
        {"caf\xe9.mp3", {false, false}},
        {"to folder", {true, true}},
        {"broken", {false, true}},
    };
    EXPECT_EQ(seen, expected);
    // Folders only: the broken link, whose kind needs a stat, is left out too.
    std::set<QByteArray> folders;
    EXPECT_TRUE(forEachEntry(
        dir.path(),
        [&](const DirectoryEntry& entry) {
            folders.insert(fileNameBytes(entry.name));
            return true;
        },
        true));
    EXPECT_EQ(folders, (std::set<QByteArray>{"D\xefsc", "to folder"}));
    int visited = 0;
    EXPECT_TRUE(forEachEntry(dir.path(), [&](const DirectoryEntry&) { return ++visited < 2; }));
    EXPECT_EQ(visited, 2);
    EXPECT_FALSE(forEachEntry(dir.path() + "/missing", [](const DirectoryEntry&) { return true; }));
    std::filesystem::remove_all(at("D\xefsc").toStdString());
    ::unlink(at("caf\xe9.mp3").constData());
}

// Whether a folder has subfolders is told without reading a huge folder whole: a folder of more
// entries than are read is taken to have some.
TEST(FileName, SubfoldersAreSeenWithoutReadingAHugeFolderWhole) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto make = [&](const QString& folder, int files) {
        const QString path = dir.path() + "/" + folder;
        EXPECT_TRUE(QDir().mkpath(path));
        for (int i = 0; i < files; ++i)
            QFile(path + QString("/%1.mp3").arg(i)).open(QIODevice::WriteOnly);
        return path;
    };
    const QString withFolder = make("with folder", 30);
    make("with folder/sub", 0);
    const QString withLink = make("with link", 5);
    ASSERT_EQ(::symlink(withFolder.toUtf8().constData(), (withLink + "/to folder").toUtf8()), 0);
    const struct {
        QString folder;
        bool expected;
    } cases[] = {
        {make("empty", 0), false}, {make("few files", 10), false}, {withFolder, true},
        {withLink, true},          {make("many files", 30), true}, {dir.path() + "/missing", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder.toStdString());
        EXPECT_EQ(seemsToHaveSubfolders(c.folder, 20), c.expected);
    }
}

} // namespace
