#include "shell/ItemProperties.h"
#include "ShellTestDir.h"
#include "shell/PropertiesDialog.h"

#include <QFileInfo>

using namespace quillon;

TEST(ItemPropertiesTest, FolderSizeIsTheTotalOfItsContentsWithoutFollowingLinks) {
    TestDir dir;
    dir.createFile("Album/01.mp3", QByteArray(1000, 'a'));
    dir.createFile("Album/Disc 2/02.mp3", QByteArray(234, 'b'));
    dir.createFile("Album/.hidden", "12345");
    dir.createFile("elsewhere/huge.bin", QByteArray(100000, 'c'));
    ASSERT_TRUE(QFile::link(dir.file("elsewhere"), dir.file("Album/linked")));

    const ItemProperties p = collectProperties({dir.file("Album")});
    EXPECT_EQ(p.totalSize, 1000 + 234 + 5);
    EXPECT_EQ(p.fileCount, 0);
    EXPECT_EQ(p.folderCount, 1);
    EXPECT_EQ(p.containedFiles, 4); // the link counts as a file
    EXPECT_EQ(p.containedFolders, 1);
    EXPECT_EQ(p.name, "Album");
    EXPECT_EQ(p.location, dir.path());
}

TEST(ItemPropertiesTest, SingleFileShowsItsDetails) {
    TestDir dir;
    const QString path = dir.createFile("song.mp3", "0123456789");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    const QFileInfo info(path);

    const ItemProperties p = collectProperties({path});
    EXPECT_EQ(p.fileCount, 1);
    EXPECT_EQ(p.totalSize, 10);
    EXPECT_EQ(p.name, "song.mp3");
    EXPECT_EQ(p.location, dir.path());
    EXPECT_FALSE(p.type.isEmpty());
    EXPECT_EQ(p.modified, info.lastModified());
    EXPECT_EQ(p.permissions, "rw-r-----");
    EXPECT_EQ(p.owner, info.owner());

    PropertiesDialog dialog(p);
    EXPECT_EQ(dialog.rowText("Name:"), "song.mp3");
    EXPECT_EQ(dialog.rowText("Permissions:"), "rw-r-----");
    EXPECT_TRUE(dialog.rowText("Size:").contains("(10 bytes)"))
        << dialog.rowText("Size:").toStdString();
}

TEST(ItemPropertiesTest, SeveralItemsGiveCountsAndTotalButNoSingleDetails) {
    TestDir dir;
    dir.createFile("a.mp3", "123");
    dir.createFile("b.mp3", "4567");
    dir.createFile("Folder/c.mp3", "89");

    const ItemProperties p = collectProperties(
        {dir.file("a.mp3"), dir.file("b.mp3"), dir.file("Folder"), dir.file("missing.mp3")});
    EXPECT_EQ(p.fileCount, 2);
    EXPECT_EQ(p.folderCount, 1);
    EXPECT_EQ(p.containedFiles, 1);
    EXPECT_EQ(p.totalSize, 9);
    EXPECT_TRUE(p.name.isEmpty());

    PropertiesDialog dialog(p);
    EXPECT_EQ(dialog.rowText("Items:"), "2 files, 1 folder");
    EXPECT_TRUE(dialog.rowText("Name:").isEmpty());
}

TEST(ItemPropertiesTest, PermissionTextCoversEveryBit) {
    using P = QFileDevice;
    const struct {
        QFileDevice::Permissions permissions;
        const char* text;
    } cases[] = {
        {{}, "---------"},
        {P::ReadOwner | P::WriteOwner | P::ExeOwner | P::ReadGroup | P::ExeGroup | P::ReadOther |
             P::ExeOther,
         "rwxr-xr-x"},
        {P::WriteGroup | P::WriteOther | P::ExeOther, "----w--wx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(permissionText(c.permissions), c.text);
    }
}

// Names that are not UTF-8 are counted like any other, and shown as the user sees them.
TEST(ItemPropertiesTest, LatinOneNamesAreCountedAndShown) {
    TestDir dir;
    createByBytes(dir.path(), "Album/caf\xe9.mp3", "12345");
    createByBytes(dir.path(), "Album/D\xefsc/na\xefve.mp3", "123");
    const QString song = createByBytes(dir.path(), "caf\xe9.mp3", "0123456789");

    const ItemProperties folder = collectProperties({dir.file("Album")});
    EXPECT_EQ(folder.containedFiles, 2);
    EXPECT_EQ(folder.containedFolders, 1);
    EXPECT_EQ(folder.totalSize, 8);

    const ItemProperties file = collectProperties({song});
    EXPECT_EQ(file.fileCount, 1);
    EXPECT_EQ(file.totalSize, 10);
    EXPECT_EQ(file.name, "caf\\xE9.mp3");
    EXPECT_EQ(file.location, dir.path());
    EXPECT_FALSE(file.type.isEmpty());
    EXPECT_TRUE(file.modified.isValid());
    EXPECT_EQ(PropertiesDialog(file).rowText("Name:"), "caf\\xE9.mp3");
}
