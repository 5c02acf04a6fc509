#include "shell/ShellServices.h"
#include "ShellTestDir.h"
#include "shell/FileUri.h"
#include "shell/PathInfo.h"
#include "shell/PropertiesDialog.h"
#include "shell/ShellMime.h"
#include "support/FakeDialogs.h"

#include <QClipboard>
#include <QDirIterator>
#include <QGuiApplication>
#include <QMimeData>
#include <QSettings>
#include <memory>
#include <unistd.h>

using namespace quillon;

using Kind = DialogService::Kind;

class ShellServicesTest : public FreshHome {
protected:
    QString trashFiles() const { return home() + "/.local/share/Trash/files"; }
    QString trashInfo() const { return home() + "/.local/share/Trash/info"; }

    FakeDialogs fake;
    ShellServices shell;
};

// --- Namespace -----------------------------------------------------------------

TEST_F(ShellServicesTest, DesktopHoldsHomeOptionalDesktopFolderAndRoot) {
    auto paths = [&] {
        QStringList result;
        for (const ShellItem& item : shell.desktopChildren())
            result << item.parsingPath();
        return result;
    };
    QStringList before = paths();
    ASSERT_GE(before.size(), 2);
    EXPECT_EQ(before[0], home());
    EXPECT_EQ(before[1], "/");
    EXPECT_FALSE(before.contains(home() + "/Desktop"));
    for (const QString& path : before)
        EXPECT_FALSE(path.startsWith("/proc") || path.startsWith("/sys")) << path.toStdString();

    QDir().mkdir(home() + "/Desktop");
    EXPECT_EQ(paths().mid(0, 3), QStringList({home(), home() + "/Desktop", "/"}));
    EXPECT_EQ(shell.desktopChildren()[0].displayName(), "Home");
    EXPECT_EQ(shell.children(shell.desktop()), shell.desktopChildren());
    EXPECT_EQ(shell.parent(shell.resolve("/")), shell.desktop());
    EXPECT_TRUE(shell.parent(shell.desktop()).isNull());
}

TEST_F(ShellServicesTest, ResolvesPathsAndParsingNamesOrFails) {
    const QString song = files.createFile("My Music/song.mp3");
    const struct {
        QString name;
        QString parsingPath; // empty: does not resolve
    } cases[] = {
        {song, song},
        {files.path() + "/My Music/../My Music/song.mp3", song},
        {QUrl::fromLocalFile(song).toString(), song},
        {"~", home()},
        {"  " + files.path() + "  ", files.path()},
        {"shell:Desktop", ShellItem::DesktopParsingName},
        {files.path() + "/missing", {}},
        {"My Music/song.mp3", {}},
        {"C:\\", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const ShellItem item = shell.resolve(c.name);
        EXPECT_EQ(item.isNull(), c.parsingPath.isEmpty());
        EXPECT_EQ(item.parsingPath(), c.parsingPath);
    }
    EXPECT_EQ(shell.resolve(song).displayName(), "song.mp3");
}

TEST_F(ShellServicesTest, AttributesFollowTheFileSystem) {
    using A = ShellItem::Attribute;
    const QString readOnly = files.createFile("read-only.mp3");
    QFile::setPermissions(readOnly, QFile::ReadOwner);
    const QString folder = files.createDir("Album");
    const QString unreadable = files.createFile("secret.mp3");
    QFile::setPermissions(unreadable, QFile::WriteOwner);
    const bool root = ::geteuid() == 0;

    const struct {
        const char* label;
        ShellItem item;
        ShellItem::Attributes expected;
    } cases[] = {
        {"read-only file", ShellItem::fromPath(readOnly),
         A::FileSystem | A::CanCopy | A::HasPropertySheet | (root ? A{} : A::ReadOnly)},
        {"folder", ShellItem::fromPath(folder),
         A::FileSystem | A::Folder | A::CanCopy | A::HasPropertySheet},
        {"unreadable file", ShellItem::fromPath(unreadable),
         A::FileSystem | A::HasPropertySheet | (root ? A::CanCopy : A{})},
        {"Desktop", shell.desktop(), A::Folder},
        {"missing", ShellItem::fromPath(files.file("gone")), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.item.attributes(), c.expected);
    }
    EXPECT_FALSE(ShellItem::fromPath(folder).icon().isNull());
}

// --- Delete ----------------------------------------------------------------------

TEST_F(ShellServicesTest, DeleteMovesToTheTrashWithInfoEvenWithoutLocalShare) {
    ASSERT_FALSE(QFileInfo::exists(home() + "/.local/share"));
    const QString song = files.createFile("song.mp3", "bytes");
    const QString album = files.createFile("Album/01.mp3", "one");

    ASSERT_TRUE(shell.deleteItems({song}, false));
    EXPECT_EQ(fake.texts(Kind::Confirm), QStringList{"Move \"song.mp3\" to the trash?"});
    ASSERT_TRUE(shell.deleteItems({files.file("Album")}, false));

    EXPECT_FALSE(QFileInfo::exists(song));
    EXPECT_FALSE(QFileInfo::exists(files.file("Album")));
    EXPECT_EQ(readAll(trashFiles() + "/song.mp3"), "bytes");
    EXPECT_EQ(readAll(trashFiles() + "/Album/01.mp3"), "one");
    const QSettings info(trashInfo() + "/song.mp3.trashinfo", QSettings::IniFormat);
    EXPECT_TRUE(info.value("Trash Info/Path").toString().endsWith("/song.mp3"));
    EXPECT_TRUE(QFileInfo::exists(trashInfo() + "/Album.trashinfo"));
    EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath("files/song.mp3")));
    EXPECT_EQ(fake.count(Kind::Error), 0);
}

TEST_F(ShellServicesTest, PermanentDeleteRemovesTreeButNotWhatLinksPointTo) {
    files.createFile("Album/Disc 1/01.mp3");
    files.createFile("Album/.hidden");
    const QString outside = files.createFile("Outside/keep.mp3", "keep");
    ASSERT_TRUE(QFile::link(files.file("Outside"), files.file("Album/link")));

    ASSERT_TRUE(shell.deleteItems({files.file("Album")}, true));
    EXPECT_EQ(fake.texts(Kind::Confirm), QStringList{"Delete \"Album\" for good?"});
    EXPECT_FALSE(QFileInfo::exists(files.file("Album")));
    EXPECT_EQ(readAll(outside), "keep");
    EXPECT_FALSE(QFileInfo::exists(trashFiles()));
}

TEST_F(ShellServicesTest, RefusedDeleteChangesNothing) {
    const QString a = files.createFile("a.mp3", "a");
    const QString b = files.createFile("Folder/b.mp3", "b");
    const struct {
        QStringList paths;
        bool permanent;
        const char* question;
    } cases[] = {
        {{a, files.file("Folder")}, false, "Move these 2 items to the trash?"},
        {{a, files.file("Folder")}, true, "Delete these 2 items for good?"},
        {{a}, true, "Delete \"a.mp3\" for good?"},
    };
    fake.defaultAnswer = false;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.question);
        fake.boxes.clear();
        EXPECT_FALSE(shell.deleteItems(c.paths, c.permanent));
        EXPECT_EQ(fake.texts(Kind::Confirm), QStringList{c.question});
        EXPECT_EQ(readAll(a), "a");
        EXPECT_EQ(readAll(b), "b");
        EXPECT_FALSE(QFileInfo::exists(home() + "/.local/share/Trash"));
    }
}

TEST_F(ShellServicesTest, DeleteOfMissingItemNamesIt) {
    const QString gone = files.file("gone.mp3");
    EXPECT_FALSE(shell.deleteItems({gone}, false));
    ASSERT_EQ(fake.count(Kind::Error), 1);
    EXPECT_TRUE(fake.texts(Kind::Error).front().contains("\"" + gone + "\""));
}

// --- Clipboard -------------------------------------------------------------------

TEST_F(ShellServicesTest, CopyThenPasteDuplicatesWithDesktopFormats) {
    TestDir target;
    const QString song = files.createFile("song.mp3", "tune");
    files.createFile("Album/01.mp3", "one");
    shell.copy({song, files.file("Album")});

    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->urls(),
              QList<QUrl>({QUrl::fromLocalFile(song), QUrl::fromLocalFile(files.file("Album"))}));
    EXPECT_EQ(data->data(ShellMime::GnomeFormat),
              "copy\n" + QUrl::fromLocalFile(song).toEncoded() + "\n" +
                  QUrl::fromLocalFile(files.file("Album")).toEncoded());
    EXPECT_FALSE(data->hasFormat(ShellMime::KdeCutFormat));
    EXPECT_EQ(data->text(), song + "\n" + files.file("Album"));
    EXPECT_TRUE(shell.clipboardHasFiles());

    ASSERT_TRUE(shell.paste(target.path()));
    EXPECT_EQ(readAll(target.file("song.mp3")), "tune");
    EXPECT_EQ(readAll(target.file("Album/01.mp3")), "one");
    EXPECT_EQ(readAll(song), "tune");
    // Pasting into the items' own folder makes copies beside them.
    ASSERT_TRUE(shell.paste(files.path()));
    EXPECT_EQ(readAll(files.file("song (copy).mp3")), "tune");
    EXPECT_EQ(readAll(files.file("Album (copy)/01.mp3")), "one");
    EXPECT_TRUE(shell.clipboardHasFiles());
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(ShellServicesTest, CutThenPasteMovesAndEmptiesTheClipboard) {
    TestDir target;
    const QString song = files.createFile("song.mp3", "tune");
    shell.cut({song});

    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->data(ShellMime::GnomeFormat), "cut\n" + QUrl::fromLocalFile(song).toEncoded());
    EXPECT_EQ(data->data(ShellMime::KdeCutFormat), "1");
    EXPECT_EQ(data->data("text/uri-list").trimmed(), QUrl::fromLocalFile(song).toEncoded());

    ASSERT_TRUE(shell.paste(target.path()));
    EXPECT_FALSE(QFileInfo::exists(song));
    EXPECT_EQ(readAll(target.file("song.mp3")), "tune");
    EXPECT_FALSE(shell.clipboardHasFiles());
}

TEST_F(ShellServicesTest, PastesWhatOtherFileManagersPutOnTheClipboard) {
    TestDir target;
    const QString song = files.createFile("song name.mp3", "tune");
    const QByteArray url = QUrl::fromLocalFile(song).toEncoded();
    const struct {
        const char* label;
        const char* format;
        QByteArray bytes;
        bool moves;
    } cases[] = {
        {"GNOME cut", ShellMime::GnomeFormat, "cut\n" + url, true},
        {"URLs with KDE cut mark", "text/uri-list", url + "\r\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        files.createFile("song name.mp3", "tune");
        QFile::remove(target.file("song name.mp3"));
        auto* data = new QMimeData;
        data->setData(c.format, c.bytes);
        if (QByteArray(c.format) == "text/uri-list")
            data->setData(ShellMime::KdeCutFormat, "1");
        QGuiApplication::clipboard()->setMimeData(data);
        ASSERT_TRUE(shell.clipboardHasFiles());
        ASSERT_TRUE(shell.paste(target.path()));
        EXPECT_EQ(readAll(target.file("song name.mp3")), "tune");
        EXPECT_EQ(QFileInfo::exists(song), !c.moves);
    }
    QGuiApplication::clipboard()->setText("just text");
    EXPECT_FALSE(shell.clipboardHasFiles());
    EXPECT_FALSE(shell.paste(target.path()));
}

TEST_F(ShellServicesTest, PasteOverAnExistingNameAsksFirst) {
    const struct {
        bool answer;
        QByteArray kept;
    } cases[] = {{false, "old bytes\x00\xff"}, {true, "new"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer ? "Yes" : "No");
        TestDir target;
        const QByteArray old("old bytes\x00\xff", 11);
        const QString existing = target.createFile("song.mp3", old);
        const QString song = files.createFile("song.mp3", "new");
        fake.boxes.clear();
        fake.answers = {c.answer};
        shell.copy({song});

        EXPECT_EQ(shell.paste(target.path()), c.answer);
        ASSERT_EQ(fake.count(Kind::Confirm), 1);
        EXPECT_TRUE(fake.texts(Kind::Confirm).front().contains("\"song.mp3\""));
        EXPECT_EQ(readAll(existing), c.answer ? QByteArray("new") : old);
        EXPECT_EQ(readAll(song), "new");
        EXPECT_EQ(
            QDir(target.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"song.mp3"});
    }
}

TEST_F(ShellServicesTest, CutFolderOverExistingFolderReplacesItAfterYes) {
    TestDir target;
    target.createFile("Album/old.mp3");
    files.createFile("Album/new.mp3", "new");
    fake.answers = {true};
    shell.cut({files.file("Album")});
    ASSERT_TRUE(shell.paste(target.path()));
    EXPECT_EQ(QDir(target.file("Album")).entryList(QDir::Files), QStringList{"new.mp3"});
    EXPECT_FALSE(QFileInfo::exists(files.file("Album")));
}

// --- Drag and drop ---------------------------------------------------------------

TEST_F(ShellServicesTest, DropCopiesOrMovesWithShiftAndKeepsOnlyLocalFiles) {
    TestDir target;
    const QString a = files.createFile("a.mp3", "a");
    const QString b = files.createFile("b.mp3", "b");

    std::unique_ptr<QMimeData> data(shell.dragData({a}));
    EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(a)});
    EXPECT_EQ(shell.dropOnFolder(data.get(), target.path(), Qt::NoModifier), Qt::CopyAction);
    EXPECT_TRUE(QFileInfo::exists(a));
    EXPECT_EQ(readAll(target.file("a.mp3")), "a");

    QMimeData mixed;
    mixed.setUrls({QUrl("https://example.org/x.mp3"), QUrl::fromLocalFile(b)});
    EXPECT_EQ(shell.droppedPaths(&mixed), QStringList{b});
    EXPECT_EQ(shell.dropOnFolder(&mixed, target.path(), Qt::ShiftModifier), Qt::MoveAction);
    EXPECT_FALSE(QFileInfo::exists(b));
    EXPECT_EQ(readAll(target.file("b.mp3")), "b");

    EXPECT_EQ(shell.dropOnFolder(&mixed, target.file("b.mp3"), Qt::NoModifier), Qt::IgnoreAction);
    QMimeData text;
    text.setText("hello");
    EXPECT_EQ(shell.dropOnFolder(&text, target.path(), Qt::NoModifier), Qt::IgnoreAction);
}

// --- Open and properties ----------------------------------------------------------

TEST_F(ShellServicesTest, OpenHandsTheRightUrlToTheOpener) {
    QList<QUrl> opened;
    shell.setUrlOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    const QString song = files.createFile("my song.mp3");
    const struct {
        QString target;
        QString url; // empty: nothing is opened
    } cases[] = {
        {"www.x.org", "http://www.x.org"},
        {"  WWW.x.org/a?b=1 ", "http://www.x.org/a?b=1"},
        {"https://example.org/page", "https://example.org/page"},
        {"me@x.org", "mailto:me@x.org"},
        {"mailto:me@x.org", "mailto:me@x.org"},
        {song, QUrl::fromLocalFile(song).toString()},
        {"~/", QUrl::fromLocalFile(home()).toString()},
        {"", {}},
        {"   ", {}},
        {"just some words", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        opened.clear();
        EXPECT_EQ(shell.open(c.target), !c.url.isEmpty());
        if (c.url.isEmpty()) {
            EXPECT_TRUE(opened.isEmpty());
        } else {
            ASSERT_EQ(opened.size(), 1);
            EXPECT_EQ(opened.front().toString(), c.url);
        }
    }
}

TEST_F(ShellServicesTest, PropertiesWindowShowsTheItems) {
    files.createFile("Album/01.mp3", "12345");
    files.createFile("Album/02.mp3", "678");
    PropertiesDialog* dialog = shell.showProperties({files.file("Album")});
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->rowText("Name:"), "Album");
    EXPECT_EQ(dialog->rowText("Contains:"), "2 files, 0 folders");
    EXPECT_TRUE(dialog->rowText("Size:").contains("(8 bytes)"));
    delete dialog;
    EXPECT_EQ(shell.showProperties({files.file("missing")}), nullptr);
}

// --- Names that are not UTF-8 ----------------------------------------------------

namespace {

const QByteArray LatinOneSongs[] = {"caf\xe9.mp3", "na\xefve.mp3", "caf\xc3\xa9.mp3"};

} // namespace

TEST_F(ShellServicesTest, NamespaceListsAndResolvesLatinOneNamesByTheirBytes) {
    createByBytes(files.path(), "D\xefsc/");
    for (const QByteArray& name : LatinOneSongs)
        createByBytes(files.path(), name);
    const ShellItem folder = shell.resolve(files.path());

    QStringList shown;
    QList<QByteArray> paths;
    for (const ShellItem& item : shell.children(folder)) {
        shown << item.displayName();
        paths << fileNameBytes(item.parsingPath());
    }
    const QByteArray base = fileNameBytes(files.path()) + '/';
    EXPECT_EQ(shown, QStringList({"D\\xEFsc", QString::fromUtf8("caf\xc3\xa9.mp3"), "caf\\xE9.mp3",
                                  "na\\xEFve.mp3"}));
    EXPECT_EQ(paths, QList<QByteArray>({base + "D\xefsc", base + "caf\xc3\xa9.mp3",
                                        base + "caf\xe9.mp3", base + "na\xefve.mp3"}));
    ASSERT_EQ(shell.children(folder, true).size(), 1);
    const ShellItem disc = shell.children(folder, true).front();
    EXPECT_TRUE(disc.isFolder());
    EXPECT_EQ(shell.parent(disc), folder);

    // A file URI with the bytes %-escaped, and the path itself, name the same item.
    const ShellItem byUri = shell.resolve(QString::fromLatin1(fileUriOf(disc.parsingPath())));
    EXPECT_EQ(byUri, disc);
    EXPECT_EQ(shell.resolve(disc.parsingPath()), disc);
    EXPECT_EQ(fileUriOf(disc.parsingPath()), "file://" + base.toPercentEncoding("/") + "D%EFsc");
}

// The clipboard and drops carry the paths %-escaped from their bytes, and what comes back in
// a uri-list is taken back to the same bytes; other hosts and schemes are left out.
TEST_F(ShellServicesTest, LatinOneNamesGoThroughTheClipboardAndDropsByTheirBytes) {
    enum class Way { Copy, Cut, Drop, DropWithShift };
    const struct {
        const char* what;
        Way way;
        bool moves;
    } cases[] = {
        {"copy and paste", Way::Copy, false},
        {"cut and paste", Way::Cut, true},
        {"drop", Way::Drop, false},
        {"drop with Shift", Way::DropWithShift, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestDir from;
        TestDir target;
        QStringList songs;
        QByteArray uris;
        for (const QByteArray& name : LatinOneSongs) {
            songs << createByBytes(from.path(), name, name);
            uris += "file://" + fileNameBytes(from.path()).toPercentEncoding("/") + '/' +
                    name.toPercentEncoding() + "\r\n";
        }
        const auto before = bytesTree(from.path());

        bool done = false;
        if (c.way == Way::Copy || c.way == Way::Cut) {
            c.way == Way::Cut ? shell.cut(songs) : shell.copy(songs);
            const QMimeData* data = QGuiApplication::clipboard()->mimeData();
            ASSERT_TRUE(data);
            EXPECT_EQ(data->data("text/uri-list"), uris);
            EXPECT_EQ(data->data(ShellMime::GnomeFormat), (c.way == Way::Cut ? "cut\n" : "copy\n") +
                                                              uris.trimmed().replace("\r\n", "\n"));
            EXPECT_EQ(shell.droppedPaths(data), songs);
            done = shell.paste(target.path());
        } else {
            // As another program drops them: a comment, "localhost", and what is not ours.
            QMimeData data;
            QByteArray list = "# dropped\r\n" + uris;
            list.replace("file:///", "file://localhost/");
            list += "https://example.org/caf%E9.mp3\r\nfile://elsewhere/tmp/x.mp3\r\n";
            data.setData("text/uri-list", list);
            EXPECT_EQ(shell.droppedPaths(&data), songs);
            const auto modifiers = c.way == Way::DropWithShift ? Qt::ShiftModifier : Qt::NoModifier;
            done = shell.dropOnFolder(&data, target.path(), modifiers) != Qt::IgnoreAction;
        }
        EXPECT_TRUE(done);
        EXPECT_EQ(bytesTree(target.path()), before);
        EXPECT_EQ(bytesTree(from.path()).empty(), c.moves);
        EXPECT_TRUE(fake.boxes.empty());
    }
}

TEST_F(ShellServicesTest, LatinOneFoldersAreDeletedWholeAndNamedAsShown) {
    const struct {
        bool permanent;
        const char* question;
    } cases[] = {
        {false, "Move \"D\\xEFsc\" to the trash?"},
        {true, "Delete \"D\\xEFsc\" for good?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.question);
        fake.boxes.clear();
        for (const QByteArray& name : LatinOneSongs)
            createByBytes(files.path(), "D\xefsc/" + name, name);
        const QString folder = childPath(files.path(), fileNameFromBytes("D\xefsc"));
        const auto before = bytesTree(folder);

        ASSERT_TRUE(shell.deleteItems({folder}, c.permanent));
        EXPECT_EQ(fake.texts(Kind::Confirm), QStringList{c.question});
        EXPECT_FALSE(pathExists(folder));
        EXPECT_EQ(fake.count(Kind::Error), 0);
        if (!c.permanent) {
            EXPECT_EQ(bytesTree(childPath(trashFiles(), fileNameFromBytes("D\xefsc"))), before);
        }
    }
}
