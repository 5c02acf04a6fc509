// Browsing and selection in the main window, end to end: real folders and files, driven through
// the tree, the list, the keys and the commands, with the dialog service answering.
#include "app/ErrorGuard.h"
#include "app/Main.h"
#include "shell/FileName.h"
#include "shell/ShellItem.h"
#include "shell/ShellServices.h"
#include "support/FakeDialogs.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tests/support/MainWindowDriver.h"
#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"
#include "ui/BarCombo.h"
#include "ui/InspectorGrid.h"
#include "ui/ShellListView.h"
#include "ui/ShellTreeView.h"
#include "ui/StatusPane.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;

static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

constexpr int Patience = 20000; // ms; CI machines are slow, sanitizers slower

// A valid MPEG file of two frames and padding, with an ID3v1 tag holding the title.
Bytes mp3(const char* title) {
    return concat({cbrFrames(20000 - 128), id3v1Tag({.title = title})});
}

// mp3(id3v1Title) behind an ID3v2 tag of `frames` one-byte frames and then the title, so that
// only a reader that walks every frame shows it.
Bytes tinyFramesMp3(std::size_t frames, const char* title, const char* id3v1Title) {
    const Bytes tiny = id3v2Frame(3, "TXXX", std::string(1, '\0'));
    Bytes tagFrames;
    tagFrames.reserve(frames * tiny.size());
    for (std::size_t i = 0; i < frames; ++i)
        append(tagFrames, tiny);
    append(tagFrames, id3v2TextFrame(3, "TIT2", title));
    return concat({id3v2Tag(3, tagFrames), mp3(id3v1Title)});
}

// Waits until every read off the GUI thread has ended, then lets its result arrive.
bool backgroundReadsEnded() {
    if (!QThreadPool::globalInstance()->waitForDone(Patience))
        return false;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return true;
}

// Real services, with the keyboard state and the properties window under the test's control.
class TestShell : public ShellServices {
public:
    TestShell() { setShellServices(this); }
    ~TestShell() override { setShellServices(nullptr); }
    TestShell(const TestShell&) = delete;
    TestShell& operator=(const TestShell&) = delete;

    Qt::KeyboardModifiers modifiers;
    QList<QStringList> propertiesShown;

    Qt::KeyboardModifiers keyboardModifiers() const override { return modifiers; }
    PropertiesDialog* showProperties(const QStringList& paths) override {
        propertiesShown << paths;
        return nullptr;
    }
};

QList<QUrl> clipboardUrls() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    return data ? data->urls() : QList<QUrl>{};
}

class BrowseTest : public ::testing::Test {
protected:
    TestShell shell;
    FakeDialogs dialogs;
    TestDir dir;
    // A test may close the window before its end.
    std::optional<TfmMain> openWindow{std::in_place};
    TfmMain& window = *openWindow;
    MainWindowDriver ui{window};

    void SetUp() override {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    QString path(const char* name) const { return QString::fromStdString(dir.file(name)); }
    std::string file(const char* name, const Bytes& content) const {
        return dir.createFile(name, content);
    }
    QString folder(const char* name) const {
        EXPECT_TRUE(QDir().mkpath(path(name))) << name;
        return path(name);
    }

    // Opens a folder in the tree and waits until the list has read it whole.
    void open(const QString& folderPath) {
        ui.find<ShellTreeView>("ShellTree")->openFolder(folderPath);
        waitForListing(folderPath);
    }
    void waitForListing(const QString& folderPath) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return ui.find<ShellListView>("ShellList")->folderPath() == folderPath &&
                       ui.find<ShellListView>("ShellList")->isFilled();
            },
            Patience))
            << folderPath.toStdString();
    }
    void openDir() { open(QString::fromStdString(dir.path())); }

    QAbstractItemView* view() const { return ui.find<ShellListView>("ShellList")->itemView(); }
    QModelIndex item(const QString& name) const {
        const QModelIndex root = view()->rootIndex();
        for (int row = 0; row < view()->model()->rowCount(root); ++row) {
            const QModelIndex index = view()->model()->index(row, 0, root);
            if (index.data().toString() == name)
                return index;
        }
        ADD_FAILURE() << "no item " << name.toStdString();
        return {};
    }
    void click(const QString& name, Qt::KeyboardModifiers modifiers = {}) {
        const QModelIndex index = item(name);
        view()->scrollTo(index);
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, modifiers,
                          view()->visualRect(index).center());
    }
    void clickEmptySpace() {
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {},
                          QPoint(5, view()->viewport()->height() - 5));
    }
    void key(int key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(view(), Qt::Key(key), modifiers);
    }

    QString title() const { return ui.row("iID3v1_Title")->text(); }
    bool panesEmpty() const {
        return title().isEmpty() && ui.row("iMpeg_BitRate")->text().isEmpty() &&
               ui.row("iID3v1_Title")->isReadOnly() &&
               !ui.find<QCheckBox>("chExistsID3v1")->isChecked();
    }
    QString objects() const { return ui.find<StatusPane>("spObjects")->text(); }
    QString selected() const { return ui.find<StatusPane>("spSelected")->text(); }

    void type(InspectorGrid* grid, InspectorRow* row, const char* text) {
        ASSERT_TRUE(grid->beginEdit(row));
        QTest::keyClicks(grid->editor(), text);
        grid->endEdit(true);
    }
};

TEST_F(BrowseTest, AClickShowsAValidFileAndClearsThePanesForAnythingElse) {
    file("a.mp3", mp3("Alpha"));
    file("tagged.mp3", concat({Bytes(3000, 'x'), id3v1Tag({.title = "NoStream"})}));
    file("short.mp3", concat({Cbr128Header, id3v1Tag({.title = "TooShort"})}));
    folder("album.mp3");
    ASSERT_EQ(mkfifo(dir.file("pipe.mp3").c_str(), 0600), 0);
    openDir();
    EXPECT_EQ(objects(), " Objects: 5");
    EXPECT_EQ(selected(), " Selected: 0");

    click("a.mp3");
    EXPECT_EQ(window.CurrentFile, path("a.mp3"));
    EXPECT_EQ(title(), "Alpha");
    EXPECT_EQ(ui.row("iMpeg_BitRate")->text(), "128 kbps  (CBR)");
    EXPECT_FALSE(ui.row("iID3v1_Title")->isReadOnly());
    EXPECT_EQ(selected(), " Selected: 1");

    // Tags without a valid stream, a folder that passes the mask, a pipe that must not block.
    for (const char* name : {"tagged.mp3", "short.mp3", "album.mp3", "pipe.mp3"}) {
        SCOPED_TRACE(name);
        click("a.mp3");
        ASSERT_EQ(title(), "Alpha");
        click(name);
        EXPECT_EQ(window.CurrentFile, path(name));
        EXPECT_TRUE(panesEmpty());
        EXPECT_EQ(selected(), " Selected: 1");
    }

    // Ctrl+click adds a second file: that one is loaded, the first stays selected.
    click("tagged.mp3");
    click("a.mp3", Qt::ControlModifier);
    EXPECT_EQ(title(), "Alpha");
    EXPECT_EQ(selected(), " Selected: 2");

    // Empty space: nothing selected, panes empty, the file under edit stays.
    clickEmptySpace();
    EXPECT_TRUE(panesEmpty());
    EXPECT_EQ(window.CurrentFile, path("a.mp3"));
    EXPECT_EQ(selected(), " Selected: 0");
    EXPECT_TRUE(dialogs.boxes.empty());
}

// A file the panes cannot show says why in the status bar, until a file is shown or nothing is.
TEST_F(BrowseTest, AFileWithoutAnMpegStreamSaysSoInTheStatusBar) {
    file("a.mp3", mp3("Alpha"));
    // An MPEG-4 file passes the mask "*.mp?": its "ftyp" box, then media data.
    file("clip.mp4", concat({Bytes{0, 0, 0, 24}, bytesOf("ftypisom"), Bytes(12, 0),
                             Bytes{0, 0, 0x10, 0}, bytesOf("mdat"), Bytes(4088, 0x55)}));
    file("tagged.mp3", concat({Bytes(3000, 'x'), id3v1Tag({.title = "NoStream"})}));
    file("empty.mp3", {});
    file("closed.mp3", mp3("Closed"));
    ASSERT_EQ(::chmod(dir.file("closed.mp3").c_str(), 0), 0);
    folder("album.mp3");
    openDir();
    const QString why = "not an MPEG audio file";
    const struct {
        const char* name;
        QString note;
    } cases[] = {
        {"clip.mp4", why}, {"a.mp3", ""},     {"tagged.mp3", why}, {"empty.mp3", why},
        {"a.mp3", ""},     {"clip.mp4", why}, {"album.mp3", ""},
    };
    // Root reads every file.
    if (::geteuid() != 0) {
        click("closed.mp3");
        EXPECT_EQ(ui.find<StatusPane>("spFileNote")->text(), "the file cannot be read");
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        click(c.name);
        EXPECT_EQ(ui.find<StatusPane>("spFileNote")->text(), c.note);
        EXPECT_EQ(c.note.isEmpty() && title() == "Alpha", QString(c.name) == "a.mp3");
    }
    click("tagged.mp3");
    ASSERT_EQ(ui.find<StatusPane>("spFileNote")->text(), why);
    clickEmptySpace();
    EXPECT_EQ(ui.find<StatusPane>("spFileNote")->text(), "");
    click("clip.mp4");
    ASSERT_EQ(ui.find<StatusPane>("spFileNote")->text(), why);
    ui.find<ShellTreeView>("ShellTree")->openFolder(QDir::tempPath());
    EXPECT_EQ(ui.find<StatusPane>("spFileNote")->text(), "");
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(BrowseTest, NavigationKeysLoadTheItemMovedToOtherKeysDoNot) {
    file("a.mp3", mp3("A"));
    file("b.mp3", mp3("B"));
    file("c.mp3", mp3("C"));
    openDir();
    click("a.mp3");
    key(Qt::Key_Down);
    EXPECT_EQ(title(), "B");
    EXPECT_EQ(window.CurrentFile, path("b.mp3"));

    // Changed on disk: only a load shows the new title.
    file("b.mp3", mp3("B2"));
    key(Qt::Key_C); // the list moves to c.mp3 by its first letter, nothing is loaded
    EXPECT_EQ(ui.find<ShellListView>("ShellList")->currentItem().parsingPath(), path("c.mp3"));
    EXPECT_EQ(title(), "B");
    key(Qt::Key_0, Qt::KeypadModifier);
    EXPECT_EQ(title(), "B");
    key(Qt::Key_Tab);
    view()->setFocus();
    EXPECT_EQ(title(), "B");
    key(Qt::Key_1, Qt::KeypadModifier);
    EXPECT_EQ(title(), "C");
    key(Qt::Key_Up);
    EXPECT_EQ(title(), "B2");
    key(Qt::Key_End);
    EXPECT_EQ(title(), "C");
    key(Qt::Key_Home);
    EXPECT_EQ(title(), "A");

    // Not while a name is being edited.
    key(Qt::Key_F2);
    ASSERT_TRUE(ui.find<ShellListView>("ShellList")->isEditing());
    QTest::keyRelease(view(), Qt::Key_Down);
    EXPECT_EQ(title(), "A");
    ui.find<ShellListView>("ShellList")->cancelEdit();
    EXPECT_TRUE(fileExists(dir.file("a.mp3")));
}

TEST_F(BrowseTest, SelectAllAndInvertSelectionLoadNothing) {
    file("*star.mp3", mp3("Star"));
    file("a.mp3", mp3("A"));
    file("b.mp3", mp3("B"));
    openDir();
    click("b.mp3");
    ASSERT_EQ(title(), "B");
    file("b.mp3", mp3("B2"));

    key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(ui.find<ShellListView>("ShellList")->selectedCount(), 3);
    EXPECT_EQ(selected(), " Selected: 3");
    EXPECT_EQ(objects(), " Objects: 3");

    click("b.mp3");
    key(Qt::Key_Asterisk, Qt::KeypadModifier);
    QStringList inverted = ui.find<ShellListView>("ShellList")->selectedPaths();
    inverted.sort();
    EXPECT_EQ(inverted, (QStringList{path("*star.mp3"), path("a.mp3")}));
    EXPECT_EQ(selected(), " Selected: 2");
    // Consumed: the list did not search for "*", which the same key off the keypad does.
    EXPECT_EQ(view()->currentIndex().siblingAtColumn(0), item("b.mp3"));
    key(Qt::Key_Asterisk);
    EXPECT_EQ(view()->currentIndex().siblingAtColumn(0), item("*star.mp3"));

    ui.action("bbInvertSelection")->trigger();
    ui.action("bbSelectAll")->trigger();
    EXPECT_EQ(selected(), " Selected: 3");
    EXPECT_EQ(title(), "B2"); // the click loaded it; the commands did not load anything since
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(BrowseTest, TheFileMaskComboFiltersFilesNotFolders) {
    for (const char* name :
         {"song.mp3", "song.MP2", "song.mpg", "song.mp", "song.mpeg", "song.mp3.bak", "a.WAV"})
        file(name, {'x'});
    folder("album.mpeg");
    openDir();
    struct Case {
        const char* mask;
        QStringList shown;
    };
    const Case cases[] = {
        {"*.mp?", {"album.mpeg", "song.mp3", "song.MP2", "song.mpg", "song.mp"}},
        {"*.MP3;*.wav", {"album.mpeg", "song.mp3", "a.WAV"}},
        {"s?ng.*",
         {"album.mpeg", "song.mp3", "song.MP2", "song.mpg", "song.mp", "song.mpeg",
          "song.mp3.bak"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        ui.find<BarCombo>("bcFileMask")->setEditText(c.mask);
        EXPECT_EQ(ui.find<ShellListView>("ShellList")->fileMask(), c.mask);
        QStringList names = ui.find<ShellListView>("ShellList")->itemNames();
        QStringList expected = c.shown;
        names.sort(Qt::CaseInsensitive);
        expected.sort(Qt::CaseInsensitive);
        EXPECT_EQ(names, expected);
        EXPECT_EQ(objects(), QStringLiteral(" Objects: %1").arg(c.shown.size()));
    }
}

TEST_F(BrowseTest, NewFolderTakesTheNextFreeNameAndOpensItForEditing) {
    folder("New Folder");
    folder("New Folder (2)");
    openDir();
    ui.action("bbNewFolder")->trigger();
    EXPECT_TRUE(QFileInfo(path("New Folder (3)")).isDir());
    EXPECT_TRUE(ui.find<ShellListView>("ShellList")->isEditing());
    EXPECT_EQ(ui.find<ShellListView>("ShellList")->selectedPaths(),
              QStringList{path("New Folder (3)")});
    ui.find<ShellListView>("ShellList")->cancelEdit();
    EXPECT_TRUE(QFileInfo(path("New Folder (3)")).isDir());

    // The Desktop is no folder on disk: the error reaches the top-level guard.
    open(ShellItem::DesktopParsingName);
    QTimer::singleShot(0, ui.action("bbNewFolder"), &QAction::trigger);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return dialogs.count(DialogService::Kind::Error) > 0; }, Patience));
    EXPECT_EQ(dialogs.texts(DialogService::Kind::Error),
              QStringList{"Cannot create folder: Parent folder is read-only."});
}

TEST_F(BrowseTest, DeleteMovesToTheTrashShiftDeletesForGood) {
    const QString trash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files/";
    struct Case {
        const char* name;
        bool command; // the toolbar command, else the Delete key
        bool shift;
    };
    const Case cases[] = {
        {"key.mp3", false, false},
        {"shift-key.mp3", false, true},
        {"command.mp3", true, false},
        {"shift-command.mp3", true, true},
    };
    for (const Case& c : cases)
        file(c.name, mp3(c.name));
    openDir();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes content = readFile(dir.file(c.name));
        click(c.name);
        dialogs.boxes.clear();
        if (c.command) {
            shell.modifiers = c.shift ? Qt::ShiftModifier : Qt::NoModifier;
            ui.action("bbDelete")->trigger();
            shell.modifiers = Qt::NoModifier;
        } else {
            key(Qt::Key_Delete, c.shift ? Qt::ShiftModifier : Qt::NoModifier);
        }
        EXPECT_EQ(dialogs.count(DialogService::Kind::Confirm), 1); // the shell's own question
        EXPECT_FALSE(fileExists(dir.file(c.name)));
        EXPECT_EQ(readFile((trash + c.name).toStdString()), c.shift ? Bytes{} : content);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !ui.find<ShellListView>("ShellList")->itemNames().contains(c.name); },
            Patience));
    }

    // The tree's Delete key takes its selected folder; the list goes to the parent.
    const QString sub = folder("sub");
    open(sub);
    ui.find<ShellTreeView>("ShellTree")->setFocus();
    QTest::keyClick(ui.find<ShellTreeView>("ShellTree"), Qt::Key_Delete);
    EXPECT_FALSE(QFileInfo::exists(sub));
    EXPECT_TRUE(QFileInfo(trash + "sub").isDir());
}

TEST_F(BrowseTest, BackspaceGoesUpEnterOpensAFolder) {
    file("song.mp3", mp3("Song"));
    const QString sub = folder("sub");
    openDir();
    click("sub");
    EXPECT_TRUE(panesEmpty());
    key(Qt::Key_Return);
    waitForListing(sub);
    EXPECT_EQ(ui.find<ShellTreeView>("ShellTree")->selectedFolder().parsingPath(), sub);
    key(Qt::Key_Backspace);
    waitForListing(QString::fromStdString(dir.path()));

    // Enter on a file does nothing.
    click("song.mp3");
    key(Qt::Key_Return);
    EXPECT_EQ(ui.find<ShellListView>("ShellList")->folderPath(),
              QString::fromStdString(dir.path()));
    EXPECT_EQ(title(), "Song");
}

TEST_F(BrowseTest, AFolderChosenInTheTreeDropsPendingEditsWithoutAQuestion) {
    const std::string song = file("song.mp3", mp3("Song"));
    const Bytes before = readFile(song);
    const QString sub = folder("sub");
    openDir();
    click("song.mp3");
    type(ui.grid("iID3v1"), ui.row("iID3v1_Title"), "Edited");
    type(ui.grid("iID3v2"), ui.row("iID3v2_Title"), "Edited");
    ASSERT_TRUE(window.ID3v1Modified() && window.ID3v2Modified());

    open(sub);
    EXPECT_TRUE(panesEmpty());
    EXPECT_FALSE(window.ID3v1Modified());
    EXPECT_FALSE(window.ID3v2Modified());
    EXPECT_EQ(ui.find<StatusPane>("spID3v1Modified")->text(), "");
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(readFile(song), before);
}

// After a failed implicit save the newly shown file is unmodified: the next click must not
// write the pane's fields into it.
TEST_F(BrowseTest, AFileShownByAClickIsUnmodifiedEvenAfterAFailedSave) {
    file("a.mp3", mp3("A"));
    const std::string b = file("b.mp3", mp3("B"));
    file("c.mp3", mp3("C"));
    openDir();
    click("a.mp3");
    type(ui.grid("iID3v1"), ui.row("iID3v1_Title"), "Edited");
    ASSERT_TRUE(window.ID3v1Modified());
    ASSERT_TRUE(QFile::remove(path("a.mp3"))); // the save into it fails
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !ui.find<ShellListView>("ShellList")->itemNames().contains("a.mp3"); },
        Patience));

    click("b.mp3");
    EXPECT_EQ(dialogs.texts(DialogService::Kind::Warning).size(), 1);
    EXPECT_EQ(title(), "B");
    EXPECT_FALSE(window.ID3v1Modified());
    EXPECT_FALSE(window.ID3v2Modified());
    EXPECT_EQ(ui.find<StatusPane>("spID3v1Modified")->text(), "");

    const Bytes shownB = readFile(b);
    dialogs.boxes.clear();
    click("c.mp3");
    EXPECT_EQ(title(), "C");
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(readFile(b), shownB);
}

TEST_F(BrowseTest, DecliningTheSaveAndTheUndoKeepsTheEditedFile) {
    const std::string a = file("a.mp3", mp3("A"));
    file("b.mp3", mp3("B"));
    const Bytes before = readFile(a);
    openDir();
    click("a.mp3");
    type(ui.grid("iID3v1"), ui.row("iID3v1_Title"), "Edited");
    dialogs.answers = {false, false};
    click("b.mp3", Qt::ControlModifier);
    EXPECT_EQ(dialogs.count(DialogService::Kind::Confirm), 2);
    EXPECT_EQ(window.CurrentFile, path("a.mp3"));
    EXPECT_EQ(title(), "Edited");
    EXPECT_TRUE(window.ID3v1Modified());
    EXPECT_EQ(selected(), " Selected: 1"); // the counts were not refreshed either
    EXPECT_EQ(readFile(a), before);
}

// The Save a list click runs first decides whether the click goes on: it goes on once the edits
// are written or undone, and stops where they would be lost (a number the tag cannot hold).
TEST_F(BrowseTest, TheSaveBeforeAClickDecidesWhetherItLoads) {
    using Kind = DialogService::Kind;
    const struct {
        const char* what;
        const char* track; // typed into the ID3v1 pane's Track
        std::deque<bool> answers;
        bool loads;
        const char* written; // the title in the first file afterwards
        QStringList errors;
    } cases[] = {
        {"saved", "7", {true}, true, "Edited", {}},
        {"save declined, undo taken", "7", {false, true}, true, "A", {}},
        {"a track the tag cannot hold", "300", {true}, false, "A", {"Range check error."}},
    };
    openDir();
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray first = "a" + QByteArray::number(n) + ".mp3";
        const QByteArray second = "b" + QByteArray::number(n++) + ".mp3";
        const std::string a = file(first.constData(), mp3("A"));
        file(second.constData(), mp3("B"));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return ui.find<ShellListView>("ShellList")
                    ->itemNames()
                    .contains(QString::fromLatin1(second));
            },
            Patience));
        click(QString::fromLatin1(first));
        type(ui.grid("iID3v1"), ui.row("iID3v1_Title"), "Edited");
        type(ui.grid("iID3v1"), ui.row("iID3v1_Track"), c.track);
        dialogs.boxes.clear();
        dialogs.answers = c.answers;

        click(QString::fromLatin1(second));
        QuillonApplication::flushErrors();
        EXPECT_EQ(dialogs.texts(Kind::Error), c.errors);
        EXPECT_EQ(window.CurrentFile, path(c.loads ? second.constData() : first.constData()));
        EXPECT_EQ(window.ID3v1Modified(), !c.loads);
        TID3v1 tag;
        ASSERT_TRUE(tag.Load(a));
        EXPECT_EQ(tag.Title(), c.written);
    }
}

// Edits belong to the file they were made on: when the path now names another file, or the file
// changed since it was loaded, a save, a removal or a list click's save asks first, No the
// default; No writes nothing and keeps the edits.
TEST_F(BrowseTest, EditsAreNotWrittenIntoAFileThatChangedOnDiskUnlessTheUserSaysSo) {
    enum class Change { Replaced, RewrittenInPlace };
    enum class Command { Save, Remove, ListClick };
    const struct {
        const char* what;
        Change change;
        Command command;
        bool yes;
    } cases[] = {
        {"replaced, Save, No", Change::Replaced, Command::Save, false},
        {"replaced, Save, Yes", Change::Replaced, Command::Save, true},
        {"replaced, Remove, No", Change::Replaced, Command::Remove, false},
        {"replaced, list click, No", Change::Replaced, Command::ListClick, false},
        {"replaced, list click, Yes", Change::Replaced, Command::ListClick, true},
        {"rewritten in place, Save, No", Change::RewrittenInPlace, Command::Save, false},
        {"rewritten in place, list click, Yes", Change::RewrittenInPlace, Command::ListClick, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestDir here;
        const auto at = [&](const char* name) { return QString::fromStdString(here.file(name)); };
        here.createFile("a.mp3", mp3("A"));
        const std::string b = here.createFile("b.mp3", mp3("B"));
        here.createFile("c.mp3", mp3("C"));
        open(QString::fromStdString(here.path()));
        click("a.mp3");
        type(ui.grid("iID3v1"), ui.row("iID3v1_Title"), "Edited");
        ASSERT_TRUE(window.ID3v1Modified());

        if (c.change == Change::Replaced) {
            // A goes away under another name and B takes its name.
            ASSERT_EQ(std::rename(here.file("a.mp3").c_str(), here.file("a.old").c_str()), 0);
            ASSERT_EQ(std::rename(b.c_str(), here.file("a.mp3").c_str()), 0);
        } else {
            // Another program writes its own title into the same file, at once.
            QFile a(at("a.mp3"));
            ASSERT_TRUE(a.open(QIODevice::ReadWrite));
            ASSERT_TRUE(a.seek(a.size() - 125));
            ASSERT_EQ(a.write("Z"), 1);
            a.close();
        }
        const Bytes before = readFile(here.file("a.mp3"));
        dialogs.boxes.clear();
        dialogs.answers = {c.yes, true};

        switch (c.command) {
        case Command::Save:
            QTest::mouseClick(ui.find<QToolButton>("btID3v1_Save"), Qt::LeftButton);
            break;
        case Command::Remove:
            QTest::mouseClick(ui.find<QToolButton>("btID3v1_Remove"), Qt::LeftButton);
            break;
        case Command::ListClick:
            click("c.mp3");
            break;
        }
        EXPECT_EQ(dialogs.texts(DialogService::Kind::ConfirmDefaultNo),
                  QStringList{"\"" + at("a.mp3") +
                              "\" changed on disk since it was loaded. Write the tag anyway?"});
        const Bytes after = readFile(here.file("a.mp3"));
        if (!c.yes) {
            EXPECT_EQ(after, before);
            EXPECT_EQ(window.CurrentFile, at("a.mp3"));
            EXPECT_EQ(title(), "Edited");
            EXPECT_TRUE(window.ID3v1Modified());
            EXPECT_EQ(dialogs.count(DialogService::Kind::Confirm), 0);
        } else {
            ASSERT_EQ(after.size(), before.size());
            EXPECT_EQ(std::string(after.end() - 125, after.end() - 119), "Edited");
            EXPECT_EQ(title(), c.command == Command::ListClick ? "C" : "Edited");
        }
        ui.find<ShellTreeView>("ShellTree")->openFolder(QString::fromStdString(dir.path()));
        waitForListing(QString::fromStdString(dir.path()));
    }
}

// Our own writes and renames are no change on disk: the next save asks nothing more.
TEST_F(BrowseTest, OwnSavesAndRenamesAreNoChangeOnDisk) {
    const std::string a = file("a.mp3", mp3("A"));
    file("b.mp3", mp3("B"));
    openDir();
    click("a.mp3");
    ui.action("bbConfSaveTag")->setChecked(false);
    type(ui.grid("iID3v1"), ui.row("iID3v1_Title"), "One");
    QTest::mouseClick(ui.find<QToolButton>("btID3v1_Save"), Qt::LeftButton);
    type(ui.grid("iID3v1"), ui.row("iID3v1_Title"), "Two");
    type(ui.grid("iID3v2"), ui.row("iID3v2_Title"), "Two");
    // The list click saves both panes, one after the other.
    click("b.mp3");
    EXPECT_EQ(window.CurrentFile, path("b.mp3"));
    const Bytes saved = readFile(a);
    EXPECT_EQ(std::string(saved.end() - 125, saved.end() - 122), "Two");

    click("a.mp3");
    ui.action("bbConfRenameFile")->setChecked(false);
    type(ui.grid("iID3v1"), ui.row("iID3v1_Artist"), "Art");
    ASSERT_TRUE(dragAndDrop(ui.find<ShellListView>("ShellList")->itemView()->viewport(),
                            ui.imageDrag("imID3v1").get()));
    ASSERT_EQ(window.CurrentFile, path("Art - Two.mp3"));
    type(ui.grid("iID3v1"), ui.row("iID3v1_Title"), "Three");
    QTest::mouseClick(ui.find<QToolButton>("btID3v1_Save"), Qt::LeftButton);
    EXPECT_FALSE(window.ID3v1Modified());
    const Bytes renamed = readFile(path("Art - Two.mp3").toStdString());
    EXPECT_EQ(std::string(renamed.end() - 125, renamed.end() - 120), "Three");
    EXPECT_EQ(dialogs.count(DialogService::Kind::ConfirmDefaultNo), 0);
    EXPECT_EQ(dialogs.count(DialogService::Kind::Warning), 0);
}

// An Undo rereads its pane from the file as it now is; the other pane's edits were still made
// on the file loaded before.
TEST_F(BrowseTest, AnUndoAfterAChangeOnDiskLeavesTheOtherPanesSaveAsking) {
    const std::string a = file("a.mp3", mp3("A"));
    const std::string b = file("b.mp3", mp3("B"));
    openDir();
    click("a.mp3");
    type(ui.grid("iID3v1"), ui.row("iID3v1_Title"), "Edited");
    type(ui.grid("iID3v2"), ui.row("iID3v2_Title"), "Edited");
    ASSERT_EQ(std::rename(a.c_str(), dir.file("a.old").c_str()), 0);
    ASSERT_EQ(std::rename(b.c_str(), a.c_str()), 0);
    const Bytes before = readFile(a);

    dialogs.answers = {true};
    QTest::mouseClick(ui.find<QToolButton>("btID3v1_Undo"), Qt::LeftButton);
    ASSERT_EQ(title(), "B");
    dialogs.answers = {false};
    QTest::mouseClick(ui.find<QToolButton>("btID3v2_Save"), Qt::LeftButton);
    EXPECT_EQ(dialogs.count(DialogService::Kind::ConfirmDefaultNo), 1);
    EXPECT_EQ(readFile(a), before);
    EXPECT_TRUE(window.ID3v2Modified());
}

TEST_F(BrowseTest, RefreshRereadsTheFocusedListOrUndoesTheFocusedTagPane) {
    file("a.mp3", mp3("A"));
    openDir();
    click("a.mp3");
    QSignalSpy filled(ui.find<ShellListView>("ShellList"), &ShellListView::listFilled);

    // The tree has the focus: the list stays as it is.
    ui.find<ShellTreeView>("ShellTree")->setFocus();
    ui.action("bbRefresh")->trigger();
    EXPECT_EQ(filled.count(), 0);
    EXPECT_FALSE(ui.find<ShellListView>("ShellList")->currentItem().isNull());

    view()->setFocus();
    ui.action("bbRefresh")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return filled.count() > 0; }, Patience));
    EXPECT_TRUE(ui.find<ShellListView>("ShellList")->currentItem().isNull());

    // A row being edited holds the focus: no undo.
    ASSERT_TRUE(ui.grid("iID3v1")->beginEdit(ui.row("iID3v1_Title")));
    QTest::keyClicks(ui.grid("iID3v1")->editor(), "Edited");
    ui.action("bbRefresh")->trigger();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_TRUE(window.ID3v1Modified());

    // Editing ended, the grid keeps the focus: undo, after its question.
    ui.grid("iID3v1")->endEdit(true);
    ASSERT_EQ(title(), "Edited");
    ui.grid("iID3v1")->setCurrentRow(ui.row("iID3v1_Title"));
    ui.action("bbRefresh")->trigger();
    EXPECT_EQ(dialogs.texts(DialogService::Kind::Confirm),
              QStringList{"Do you want to undo changes in ID3 tag?"});
    EXPECT_EQ(title(), "A");
    EXPECT_FALSE(window.ID3v1Modified());
}

TEST_F(BrowseTest, ViewStylesComeFromTheCommandsTags) {
    file("a.mp3", mp3("A"));
    openDir();
    const std::pair<QAction*, int> cases[] = {
        {ui.action("bbIcon"), ShellListView::Icons},
        {ui.action("bbSmallIconView"), ShellListView::SmallIcons},
        {ui.action("bbListView"), ShellListView::List},
        {ui.action("bbReportView"), ShellListView::Report}};
    for (const auto& [action, style] : cases) {
        SCOPED_TRACE(style);
        action->trigger();
        EXPECT_EQ(ui.find<ShellListView>("ShellList")->viewStyle(), style);
        waitForListing(QString::fromStdString(dir.path()));
        EXPECT_EQ(ui.find<ShellListView>("ShellList")->itemNames(), QStringList{"a.mp3"});
    }
}

TEST_F(BrowseTest, ClipboardCommandsActOnTheFocusedListOrTree) {
    const std::string a = file("a.mp3", mp3("A"));
    const QString sub = folder("sub");
    openDir();
    click("a.mp3");
    QApplication::clipboard()->clear();

    // A tag pane has the focus: nothing happens.
    ui.grid("iID3v1")->setCurrentRow(ui.row("iID3v1_Title"));
    ui.action("bbCopy")->trigger();
    ui.action("bbProperties")->trigger();
    EXPECT_TRUE(clipboardUrls().isEmpty());
    EXPECT_TRUE(shell.propertiesShown.isEmpty());

    view()->setFocus();
    ui.action("bbProperties")->trigger();
    EXPECT_EQ(shell.propertiesShown, QList<QStringList>{QStringList{path("a.mp3")}});
    ui.action("bbCopy")->trigger();
    open(sub);
    view()->setFocus();
    ui.action("bbPaste")->trigger();
    EXPECT_EQ(readFile(dir.file("sub/a.mp3")), readFile(a));
    EXPECT_EQ(ui.find<ShellListView>("ShellList")->selectedCount(), 0);

    // Nothing selected: the list shows no properties (not those of its folder).
    shell.propertiesShown.clear();
    ui.action("bbProperties")->trigger();
    EXPECT_TRUE(shell.propertiesShown.isEmpty());

    // The tree: its selected folder.
    ui.find<ShellTreeView>("ShellTree")->setFocus();
    ui.action("bbProperties")->trigger();
    EXPECT_EQ(shell.propertiesShown, QList<QStringList>{QStringList{sub}});
    ui.action("bbCut")->trigger();
    EXPECT_EQ(clipboardUrls(), QList<QUrl>{QUrl::fromLocalFile(sub)});
}

// Ctrl+C, Ctrl+X and Ctrl+V act on files in the list and the tree, as the Edit menu does, and
// on the text of a cell in a tag pane; Ctrl+S saves the pane with the focus.
TEST_F(BrowseTest, KeysCopyCutAndPasteFilesAndCellText) {
    const std::string a = file("a.mp3", mp3("A"));
    const QString sub = folder("sub");
    const QString other = folder("other");
    openDir();
    click("a.mp3");
    QApplication::clipboard()->clear();
    key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboardUrls(), QList<QUrl>{QUrl::fromLocalFile(path("a.mp3"))});
    open(sub);
    view()->setFocus();
    key(Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(sub + "/a.mp3"); }, Patience));

    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return ui.find<ShellListView>("ShellList")->itemNames().contains("a.mp3"); },
        Patience));
    click("a.mp3");
    key(Qt::Key_X, Qt::ControlModifier);
    open(other);
    view()->setFocus();
    key(Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(other + "/a.mp3"); }, Patience));
    EXPECT_FALSE(QFileInfo::exists(sub + "/a.mp3"));
    EXPECT_EQ(readFile(dir.file("other/a.mp3")), readFile(a));

    ui.find<ShellTreeView>("ShellTree")->setFocus();
    QTest::keyClick(ui.find<ShellTreeView>("ShellTree"), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboardUrls(), QList<QUrl>{QUrl::fromLocalFile(other)});

    // The text of a cell, then Ctrl+S saves that pane.
    openDir();
    click("a.mp3");
    ui.action("bbConfSaveTag")->setChecked(false);
    QWidget* cell = ui.grid("iID3v1")->valueCell(ui.row("iID3v1_Title"));
    ui.grid("iID3v1")->setCurrentRow(ui.row("iID3v1_Title"));
    QTest::keyClick(cell, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "A");
    QApplication::clipboard()->setText("Pasted");
    QTest::keyClick(cell, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(title(), "Pasted");
    EXPECT_TRUE(window.ID3v1Modified());
    QTest::keyClick(cell, Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(window.ID3v1Modified());
    const Bytes saved = readFile(a);
    EXPECT_EQ(std::string(saved.end() - 125, saved.end() - 119), "Pasted");

    // Ctrl+Q quits through the quit question.
    ui.action("bbConfQuit")->setChecked(true);
    dialogs.boxes.clear();
    dialogs.answers = {false};
    QTest::keyClick(view(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(dialogs.texts(DialogService::Kind::Confirm), QStringList{"Quit the program?"});
}

// A file with a huge tag is read off the GUI thread: the click returns with the panes empty and
// read-only, saying so, and nothing acts on the file meanwhile; the bands fill once it is read.
TEST_F(BrowseTest, AHugeTagIsReadWithoutHoldingTheClick) {
    window.BackgroundReadTagSize = 64 * 1024;
    const std::string a = file("a.mp3", mp3("Alpha"));
    const std::string big = file("Big - Huge.mp3", tinyFramesMp3(100000, "Huge", "Big1"));
    const Bytes bigBefore = readFile(big);
    openDir();
    click("a.mp3");
    type(ui.grid("iID3v1"), ui.row("iID3v1_Title"), "Edited");

    click("Big - Huge.mp3");
    // The edits went to the file they were made on first.
    TID3v1 written;
    ASSERT_TRUE(written.Load(a));
    EXPECT_EQ(written.Title(), "Edited");
    EXPECT_EQ(window.CurrentFile, path("Big - Huge.mp3"));
    ASSERT_TRUE(window.readingInBackground());
    EXPECT_EQ(ui.find<StatusPane>("spFileNote")->text(), "reading the tag\u2026");
    EXPECT_TRUE(panesEmpty());
    EXPECT_TRUE(ui.row("iID3v2_Title")->isReadOnly());

    dialogs.boxes.clear();
    const struct {
        const char* what;
        std::function<void()> run;
    } commands[] = {
        {"Save", [&] { ui.find<QToolButton>("btID3v2_Save")->click(); }},
        {"Remove", [&] { ui.find<QToolButton>("btID3v2_Remove")->click(); }},
        {"Remove ID3v1", [&] { ui.find<QToolButton>("btID3v1_Remove")->click(); }},
        {"Undo", [&] { ui.find<QToolButton>("btID3v1_Undo")->click(); }},
        {"Clear", [&] { ui.find<QToolButton>("btClearID3v2")->click(); }},
        // Drops as if the drags had been taken: the handlers themselves refuse them.
        {"copy between the panes",
         [&] { dropOnly(ui.grid("iID3v2")->viewport(), ui.imageDrag("imID3v1").get()); }},
        {"fill from the name",
         [&] { dropOnly(ui.grid("iID3v2")->viewport(), filesDrag({path("a.mp3")}).get()); }},
        {"rename after the tag",
         [&] {
             dropOnly(ui.find<ShellListView>("ShellList")->itemView()->viewport(),
                      ui.imageDrag("imID3v2").get());
         }},
    };
    for (const auto& command : commands) {
        SCOPED_TRACE(command.what);
        command.run();
        EXPECT_TRUE(dialogs.boxes.empty());
        EXPECT_FALSE(window.ID3v1Modified() || window.ID3v2Modified());
        EXPECT_TRUE(panesEmpty());
        EXPECT_TRUE(ui.row("iID3v2_Artist")->text().isEmpty());
    }
    EXPECT_EQ(readFile(big), bigBefore);
    EXPECT_EQ(window.CurrentFile, path("Big - Huge.mp3"));

    ASSERT_TRUE(
        QTest::qWaitFor([&] { return ui.row("iID3v2_Title")->text() == "Huge"; }, Patience));
    EXPECT_FALSE(window.readingInBackground());
    EXPECT_EQ(ui.find<StatusPane>("spFileNote")->text(), "");
    EXPECT_EQ(title(), "Big1");
    EXPECT_EQ(ui.row("iMpeg_BitRate")->text(), "128 kbps  (CBR)");
    EXPECT_FALSE(ui.row("iID3v2_Title")->isReadOnly());
    EXPECT_FALSE(window.ID3v1Modified() || window.ID3v2Modified());

    // What was read is the file under edit: a save goes into it without asking whether it
    // changed on disk.
    type(ui.grid("iID3v2"), ui.row("iID3v2_Artist"), "Artist");
    ui.find<QToolButton>("btID3v2_Save")->click();
    EXPECT_EQ(dialogs.texts(DialogService::Kind::Confirm).size(), 1); // the save's own question
    EXPECT_EQ(dialogs.count(DialogService::Kind::ConfirmDefaultNo), 0);
    TID3v2 saved;
    ASSERT_TRUE(saved.Load(big));
    EXPECT_EQ(saved.Artist(), "Artist");
    EXPECT_EQ(saved.Title(), "Huge");
}

// Whatever the user does while a huge tag is read, the read's late result is dropped.
TEST_F(BrowseTest, AReadUnderWayGivesWayToWhatComesNext) {
    window.BackgroundReadTagSize = 64 * 1024;
    file("a.mp3", mp3("Alpha"));
    file("big.mp3", tinyFramesMp3(100000, "Huge", "Big1"));
    const QString sub = folder("sub");
    openDir();
    const struct {
        const char* what;
        std::function<void()> run;
        const char* shown; // the ID3v1 title afterwards; empty panes for none
        QString current;
    } cases[] = {
        {"another file clicked", [&] { click("a.mp3"); }, "Alpha", path("a.mp3")},
        {"empty space clicked", [&] { clickEmptySpace(); }, nullptr, path("big.mp3")},
        {"another folder chosen", [&] { ui.find<ShellTreeView>("ShellTree")->openFolder(sub); },
         nullptr, path("big.mp3")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        open(QString::fromStdString(dir.path()));
        click("big.mp3");
        ASSERT_TRUE(window.readingInBackground());
        c.run();
        for (const bool late : {false, true}) {
            SCOPED_TRACE(late ? "after the read ended" : "at once");
            if (late) {
                ASSERT_TRUE(backgroundReadsEnded());
            }
            EXPECT_FALSE(window.readingInBackground());
            EXPECT_EQ(ui.find<StatusPane>("spFileNote")->text(), "");
            EXPECT_EQ(window.CurrentFile, c.current);
            if (c.shown)
                EXPECT_EQ(title(), c.shown);
            else
                EXPECT_TRUE(panesEmpty());
            EXPECT_TRUE(ui.row("iID3v2_Title")->text().isEmpty());
        }
    }
    EXPECT_TRUE(dialogs.boxes.empty());
}

// The window may close while a huge tag is read: the read ends on its own, touching nothing of
// the window.
TEST_F(BrowseTest, TheWindowClosesWhileAHugeTagIsRead) {
    window.BackgroundReadTagSize = 64 * 1024;
    const std::string big = file("big.mp3", tinyFramesMp3(100000, "Huge", "Big1"));
    const Bytes before = readFile(big);
    openDir();
    click("big.mp3");
    ASSERT_TRUE(window.readingInBackground());
    openWindow.reset();
    EXPECT_TRUE(backgroundReadsEnded());
    EXPECT_EQ(readFile(big), before);
}

} // namespace

// Files and folders named on the command line: a folder is listed; a file's folder is listed
// with the file selected and loaded; what does not exist is reported.
TEST_F(BrowseTest, OpensWhatTheCommandLineNames) {
    QStringList errors;
    QuillonApplication::setErrorSink([&](const QString& message) { errors << message; });
    file("a.mp3", mp3("Alpha"));
    file("b.mp3", mp3("Beta"));
    const QString sub = folder("sub");

    window.openPaths({sub});
    waitForListing(sub);
    EXPECT_TRUE(panesEmpty());

    window.openPaths({path("missing.mp3"), path("b.mp3")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.CurrentFile == path("b.mp3"); }, Patience));
    EXPECT_EQ(title(), "Beta");
    EXPECT_EQ(selected(), " Selected: 1");
    EXPECT_EQ(ui.find<ShellListView>("ShellList")->folderPath(),
              QString::fromStdString(dir.path()));
    EXPECT_EQ(errors, QStringList{"Cannot find \"" + path("missing.mp3") + "\""});
    QuillonApplication::setErrorSink(nullptr);
}

// Names that are not UTF-8 (Latin-1, as on old FAT media) beside a UTF-8 one: each is listed as
// the user reads it, and a click or the command line loads it by the exact bytes of its name.
TEST_F(BrowseTest, LatinOneNamedFilesAreListedAndLoadedByTheirBytes) {
    const struct {
        const char* name;
        const char* shown;
        const char* title;
    } cases[] = {
        {"caf\xe9.mp3", "caf\\xE9.mp3", "Latin"},
        {"na\xefve.mp3", "na\\xEFve.mp3", "Naive"},
        {"caf\xc3\xa9.mp3", "caf\xc3\xa9.mp3", "Utf8"},
    };
    for (const auto& c : cases)
        file(c.name, mp3(c.title));
    openDir();
    EXPECT_EQ(objects(), " Objects: 3");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        click(QString::fromUtf8(c.shown));
        EXPECT_EQ(fileNameBytes(window.CurrentFile).toStdString(), dir.file(c.name));
        EXPECT_EQ(title(), c.title);
        EXPECT_EQ(ui.row("iMpeg_BitRate")->text(), "128 kbps  (CBR)");
    }
    window.openPaths({pathFromNative(dir.file("caf\xe9.mp3"))});
    ASSERT_TRUE(QTest::qWaitFor([&] { return title() == "Latin"; }, Patience));
    EXPECT_EQ(fileNameBytes(window.CurrentFile).toStdString(), dir.file("caf\xe9.mp3"));
    EXPECT_TRUE(dialogs.boxes.empty());
}

// A save killed midway on a file system without unnamed files (FAT) leaves its new content
// hidden in the folder; listing the folder removes it, but not that of a save still running.
TEST_F(BrowseTest, ListingAFolderRemovesWhatDeadSavesLeftThere) {
    file("song.mp3", mp3("Song"));
    const QString sub = folder("sub");
    file(".quillon-2a-dead01.tmp", mp3("Partial"));
    file("sub/.quillon-1f-dead00.tmp", mp3("Partial"));
    LockHolder running(file(".quillon-3b-runnin.tmp", mp3("Partial")), LOCK_EX);
    ASSERT_TRUE(running.holds());
    openDir();
    EXPECT_EQ(entriesOf(dir.path()),
              (std::vector<std::string>{".quillon-3b-runnin.tmp", "song.mp3", "sub"}));
    EXPECT_EQ(entriesOf(dir.file("sub")), std::vector<std::string>{".quillon-1f-dead00.tmp"});
    open(sub);
    EXPECT_EQ(entriesOf(dir.file("sub")), std::vector<std::string>{});
}
