#include "shell/FileOperations.h"
#include "ShellTestDir.h"
#include "support/FakeDialogs.h"

#include <QFileInfo>
#include <unistd.h>

using Kind = DialogService::Kind;

class FileOperationsTest : public FreshHome {};

TEST_F(FileOperationsTest, DuplicateNamesKeepTheSuffixAndCountUp) {
    files.createFile("song.mp3");
    files.createFile("song (copy).mp3");
    files.createFile(".hidden");
    const struct {
        const char* name;
        const char* duplicate;
    } cases[] = {
        {"song.mp3", "song (copy 2).mp3"},
        {".hidden", ".hidden (copy)"},
        {"Album", "Album (copy)"},
        {"a.tar.gz", "a.tar (copy).gz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FileOperations::duplicateName(files.path(), c.name), c.duplicate);
    }
}

TEST_F(FileOperationsTest, CopiesFolderTreeWithLinksAsLinksAndKeepsTimesAndModes) {
    FakeDialogs fake;
    TestDir target;
    files.createFile("Album/01.mp3", "one");
    files.createFile("Album/Disc 2/.cover", "cover");
    QFile::setPermissions(files.file("Album/01.mp3"), QFile::ReadOwner | QFile::ReadGroup);
    ASSERT_TRUE(QFile::link("01.mp3", files.file("Album/link.mp3")));
    const QDateTime modified = QFileInfo(files.file("Album/01.mp3")).lastModified();

    ASSERT_TRUE(FileOperations().transfer({files.file("Album")}, target.path(),
                                          FileOperations::Mode::Copy));
    EXPECT_EQ(readAll(target.file("Album/01.mp3")), "one");
    EXPECT_EQ(readAll(target.file("Album/Disc 2/.cover")), "cover");
    const QFileInfo link(target.file("Album/link.mp3"));
    EXPECT_TRUE(link.isSymLink());
    EXPECT_EQ(link.symLinkTarget(), target.file("Album/01.mp3"));
    const QFileInfo copy(target.file("Album/01.mp3"));
    const auto userBits = QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
    EXPECT_EQ(copy.permissions() & ~userBits, QFile::ReadOwner | QFile::ReadGroup);
    EXPECT_EQ(copy.lastModified(), modified);
    EXPECT_EQ(readAll(files.file("Album/01.mp3")), "one"); // the source stays
    EXPECT_TRUE(fake.boxes.empty());
    // Nothing half-built is left behind.
    EXPECT_EQ(QDir(target.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Album"});
}

TEST_F(FileOperationsTest, LargeCopyWithProgressArrivesWhole) {
    FakeDialogs fake;
    TestDir target;
    QByteArray bytes(3 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7);
    files.createFile("big.mp3", bytes);
    FileOperations operations;
    operations.setProgressThreshold(1);
    ASSERT_TRUE(
        operations.transfer({files.file("big.mp3")}, target.path(), FileOperations::Mode::Copy));
    EXPECT_EQ(readAll(target.file("big.mp3")), bytes);
}

TEST_F(FileOperationsTest, FolderIntoItselfFailsWithOneErrorNamingIt) {
    FakeDialogs fake;
    const QString album = files.createDir("Album/Inner");
    for (auto mode : {FileOperations::Mode::Copy, FileOperations::Mode::Move}) {
        fake.boxes.clear();
        EXPECT_FALSE(FileOperations().transfer({files.file("Album")}, album, mode));
        ASSERT_EQ(fake.count(Kind::Error), 1);
        EXPECT_TRUE(fake.texts(Kind::Error).front().contains(files.file("Album")));
        EXPECT_EQ(QDir(album).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }
}

TEST_F(FileOperationsTest, FailedItemsAreNamedInOneBoxWhileOthersGo) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    FakeDialogs fake;
    files.createFile("locked/a.mp3");
    const QString free = files.createFile("b.mp3");
    QFile::setPermissions(files.file("locked"), QFile::ReadOwner | QFile::ExeOwner);

    EXPECT_FALSE(FileOperations().remove({files.file("locked/a.mp3"), free}, true));
    EXPECT_TRUE(QFileInfo::exists(files.file("locked/a.mp3")));
    EXPECT_FALSE(QFileInfo::exists(free));
    ASSERT_EQ(fake.count(Kind::Error), 1);
    const QString text = fake.texts(Kind::Error).front();
    EXPECT_TRUE(text.startsWith("Could not delete:\n")) << text.toStdString();
    EXPECT_TRUE(text.contains(files.file("locked/a.mp3")));
    EXPECT_FALSE(text.contains(free));
    QFile::setPermissions(files.file("locked"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
