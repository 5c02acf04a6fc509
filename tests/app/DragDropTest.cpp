// Drag and drop of tags and file names in the main window: the tag images dragged onto the other
// pane and onto the file list, and files dropped on the panes, sent as drag and drop events to
// the real widgets (a real drag ends at once on a headless screen), on real files.
#include "app/ErrorGuard.h"
#include "app/Main.h"
#include "shell/FileName.h"
#include "shell/ShellServices.h"
#include "support/FakeDialogs.h"
#include "tests/support/MainWindowDriver.h"
#include "tests/support/TestFiles.h"
#include "ui/DragImage.h"
#include "ui/InspectorGrid.h"
#include "ui/ShellListView.h"
#include "ui/ShellTreeView.h"
#include "ui/StatusPane.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QDropEvent>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace quillon;

static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

using Kind = DialogService::Kind;

constexpr int Patience = 20000; // ms; CI machines are slow, sanitizers slower

// Real services with the keyboard state under the test's control.
class KeyboardShell : public ShellServices {
public:
    KeyboardShell() { setShellServices(this); }
    ~KeyboardShell() override { setShellServices(nullptr); }
    KeyboardShell(const KeyboardShell&) = delete;
    KeyboardShell& operator=(const KeyboardShell&) = delete;

    Qt::KeyboardModifiers modifiers;
    Qt::KeyboardModifiers keyboardModifiers() const override { return modifiers; }
};

// Errors that reach the top-level guard, instead of the error box.
class CapturedErrors {
public:
    CapturedErrors() {
        QuillonApplication::setErrorSink([this](const QString& text) { messages << text; });
    }
    ~CapturedErrors() { QuillonApplication::setErrorSink(nullptr); }
    CapturedErrors(const CapturedErrors&) = delete;
    CapturedErrors& operator=(const CapturedErrors&) = delete;

    QStringList take() {
        QuillonApplication::flushErrors();
        return std::exchange(messages, {});
    }

private:
    QStringList messages;
};

class DragDropTest : public ::testing::Test {
protected:
    KeyboardShell shell;
    FakeDialogs dialogs;
    CapturedErrors errors;
    TestDir dir;
    TfmMain window;
    MainWindowDriver ui{window};

    void SetUp() override { window.show(); }

    QWidget* id3v1Target() const { return ui.grid("iID3v1")->viewport(); }
    QWidget* id3v2Target() const { return ui.grid("iID3v2")->viewport(); }
    // The list's inner view, from which the drag goes up to the list.
    QWidget* listTarget() const {
        return ui.find<ShellListView>("ShellList")->itemView()->viewport();
    }

    QString path(const QString& name) const {
        return QString::fromStdString(dir.path()) + QLatin1Char('/') + name;
    }

    static void setRows(InspectorGrid* grid, const QStringList& texts) {
        for (int i = 0; i < texts.size(); ++i)
            grid->row(i)->setText(texts[i]);
    }
    static QStringList rowTexts(const InspectorGrid* grid) {
        QStringList texts;
        for (const InspectorRow* row : grid->rows())
            texts << row->text();
        return texts;
    }
};

TEST_F(DragDropTest, PressingAndMovingOnAnImageStartsADragNamingIt) {
    QList<QPair<QObject*, QStringList>> drags;
    DragImage::setDragRunner([&](QDrag* drag) {
        drags.append({DragImage::draggedFrom(drag->mimeData()), drag->mimeData()->formats()});
        delete drag;
    });
    for (QLabel* image : {ui.find<QLabel>("imID3v1"), ui.find<QLabel>("imID3v2")}) {
        SCOPED_TRACE(image->objectName().toStdString());
        drags.clear();
        QTest::mouseClick(image, Qt::LeftButton, {}, QPoint(4, 4));
        EXPECT_TRUE(drags.isEmpty()) << "a click alone starts no drag";
        QTest::mousePress(image, Qt::LeftButton, {}, QPoint(4, 4));
        QTest::mouseMove(image, QPoint(4 + QApplication::startDragDistance() + 1, 4));
        QTest::mouseRelease(image, Qt::LeftButton, {}, QPoint(12, 4));
        ASSERT_EQ(drags.size(), 1);
        EXPECT_EQ(drags[0].first, image);
        EXPECT_TRUE(drags[0].second.contains(QString::fromLatin1(DragImage::MimeType)));
    }
    DragImage::setDragRunner(nullptr);
}

TEST_F(DragDropTest, TargetsAcceptOnlyTheOtherPanesImage) {
    const struct {
        const char* what;
        QWidget* target;
        const char* image;
        bool accepted;
    } cases[] = {
        {"own image on ID3v1", id3v1Target(), "imID3v1", false},
        {"own image on ID3v2", id3v2Target(), "imID3v2", false},
        {"ID3v2 image on ID3v1", id3v1Target(), "imID3v2", true},
        {"ID3v1 image on ID3v2", id3v2Target(), "imID3v1", true},
        {"ID3v1 image on the list", listTarget(), "imID3v1", true},
        {"ID3v2 image on the list", listTarget(), "imID3v2", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto data = ui.imageDrag(c.image);
        EXPECT_EQ(dragAndDrop(c.target, data.get(), false), c.accepted);
    }
    // A drop that reaches the handler from its own image, or from no image, changes nothing.
    setRows(ui.grid("iID3v2"), {"T2"});
    dropOnly(id3v1Target(), ui.imageDrag("imID3v1").get());
    dropOnly(id3v2Target(), ui.imageDrag("imID3v2").get());
    const QMimeData none;
    dropOnly(id3v2Target(), &none);
    EXPECT_EQ(ui.row("iID3v1_Title")->text(), "");
    EXPECT_EQ(ui.row("iID3v2_Title")->text(), "T2");
    EXPECT_FALSE(window.ID3v1Modified());
    EXPECT_FALSE(window.ID3v2Modified());
}

TEST_F(DragDropTest, CopyOntoID3v2ReplacesTheSharedRowsOnly) {
    // The panes of a fresh window are read-only: the copy fills them all the same.
    ASSERT_TRUE(ui.row("iID3v2_Title")->isReadOnly());
    setRows(ui.grid("iID3v1"), {" Title  ", "Artist", "", "1999", "7", "Comment", "", "", "Rock"});
    setRows(ui.grid("iID3v2"), {"t", "a", "Old album", "y", "1", "c", "", "", "Jazz", "Composer",
                                "Encoder", "Copyright", "Language", "http://x.example"});
    const auto data = ui.imageDrag("imID3v1");
    ASSERT_TRUE(dragAndDrop(id3v2Target(), data.get()));

    EXPECT_EQ(
        rowTexts(ui.grid("iID3v2")),
        (QStringList{" Title  ", "Artist", "", "1999", "7", "Comment", "", "", "Rock", "Composer",
                     "Encoder", "Copyright", "Language", "http://x.example", "", "", "", "", ""}));
    EXPECT_TRUE(window.ID3v2Modified());
    EXPECT_EQ(ui.find<StatusPane>("spID3v2Modified")->text(), "ID3v2 Modified");
    EXPECT_FALSE(window.ID3v1Modified());
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(DragDropTest, CopyOntoID3v1KeepsItsGenreAndTheTextsWhole) {
    const QString longTitle(40, QLatin1Char('x'));
    setRows(ui.grid("iID3v2"),
            {longTitle, "Artist", "Album", "2001", "12", "", "", "", "Rock", "Composer"});
    setRows(ui.grid("iID3v1"), {"t", "a", "b", "y", "1", "Old comment", "", "", "Jazz"});
    const auto data = ui.imageDrag("imID3v2");
    ASSERT_TRUE(dragAndDrop(id3v1Target(), data.get()));

    EXPECT_EQ(rowTexts(ui.grid("iID3v1")),
              (QStringList{longTitle, "Artist", "Album", "2001", "12", "", "", "", "Jazz"}));
    EXPECT_TRUE(window.ID3v1Modified());
    EXPECT_FALSE(window.ID3v2Modified());
}

TEST_F(DragDropTest, CtrlHeldAtTheDropMergesIntoEmptyRowsOnly) {
    shell.modifiers = Qt::ControlModifier;
    setRows(ui.grid("iID3v1"), {"T", "A", "B", "1999", "7", "C", "", "", "Rock"});
    setRows(ui.grid("iID3v2"), {"", "  ", "Kept", "", "3", "", "", "", "", "Composer"});
    auto data = ui.imageDrag("imID3v1");
    ASSERT_TRUE(dragAndDrop(id3v2Target(), data.get()));
    // A row of blanks is not empty.
    EXPECT_EQ(rowTexts(ui.grid("iID3v2")).mid(0, 10),
              (QStringList{"T", "  ", "Kept", "1999", "3", "C", "", "", "Rock", "Composer"}));
    EXPECT_TRUE(window.ID3v2Modified());

    // Onto a full pane the merge changes nothing, yet the pane counts as modified.
    const QStringList full = {"t", "a", "b", "y", "1", "c", "", "", "Jazz"};
    setRows(ui.grid("iID3v1"), full);
    window.SetID3v1Modified(false);
    data = ui.imageDrag("imID3v2");
    ASSERT_TRUE(dragAndDrop(id3v1Target(), data.get()));
    EXPECT_EQ(rowTexts(ui.grid("iID3v1")), full);
    EXPECT_TRUE(window.ID3v1Modified());

    // Released, the same drop copies.
    shell.modifiers = Qt::NoModifier;
    ASSERT_TRUE(dragAndDrop(id3v1Target(), data.get()));
    EXPECT_EQ(ui.row("iID3v1_Artist")->text(), "  ");
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(DragDropTest, DroppedFilesFillArtistAndTitleFromTheCurrentFilesName) {
    const struct {
        const char* name; // CurrentFile inside the test folder
        const char* artist;
        const char* title; // nullptr: nothing filled and nothing asked
    } cases[] = {
        {"A - B.mp3", "A", "B"},      {"A - B - C.mp3", "A", "B - C"},
        {"A - .mp3", "A", ""},        {" - B.mp3", "", "B"},
        {"A  -  B.mp3", "A ", " B"},  {"A - B.live.mp3", "A", "B.live"},
        {"A - B", "A", "B"},          {"A-B.mp3", nullptr, nullptr},
        {"AB.mp3", nullptr, nullptr}, {"X - Y.d/AB.mp3", nullptr, nullptr},
    };
    const struct {
        QWidget* target;
        InspectorGrid* grid;
        bool (TfmMain::*modified)() const;
        void (TfmMain::*setModified)(bool);
    } panes[] = {
        {id3v1Target(), ui.grid("iID3v1"), &TfmMain::ID3v1Modified, &TfmMain::SetID3v1Modified},
        {id3v2Target(), ui.grid("iID3v2"), &TfmMain::ID3v2Modified, &TfmMain::SetID3v2Modified}};
    // The dropped files only trigger the fill.
    const auto data = filesDrag({path("Other - Name.mp3"), path("Third - One.mp3")});
    for (const auto& c : cases) {
        for (const auto& pane : panes) {
            SCOPED_TRACE(std::string(c.name) + " on " + pane.grid->objectName().toStdString());
            window.CurrentFile = path(c.name);
            setRows(pane.grid, {"old title", "old artist", "old album"});
            (window.*pane.setModified)(false);
            dialogs.boxes.clear();
            ASSERT_TRUE(dragAndDrop(pane.target, data.get()));
            if (!c.title) {
                EXPECT_TRUE(dialogs.boxes.empty());
                EXPECT_EQ(rowTexts(pane.grid).mid(0, 3),
                          (QStringList{"old title", "old artist", "old album"}));
                EXPECT_FALSE((window.*pane.modified)());
                continue;
            }
            EXPECT_EQ(dialogs.texts(Kind::Confirm),
                      QStringList{"Fill tag from file \"" + window.CurrentFile + "\"?"});
            EXPECT_EQ(rowTexts(pane.grid).mid(0, 3), (QStringList{c.title, c.artist, "old album"}));
            EXPECT_TRUE((window.*pane.modified)());
        }
    }
}

TEST_F(DragDropTest, FillFromFileFollowsItsConfirmation) {
    window.CurrentFile = path("A - B.mp3");
    const auto data = filesDrag({path("x.mp3")});
    dialogs.answers = {false};
    ASSERT_TRUE(dragAndDrop(id3v1Target(), data.get()));
    EXPECT_EQ(dialogs.count(Kind::Confirm), 1);
    EXPECT_EQ(ui.row("iID3v1_Artist")->text(), "");
    EXPECT_FALSE(window.ID3v1Modified());

    ui.action("bbConfFillTagFromFile")->setChecked(false);
    ASSERT_TRUE(dragAndDrop(id3v1Target(), data.get()));
    EXPECT_EQ(dialogs.count(Kind::Confirm), 1);
    EXPECT_EQ(ui.row("iID3v1_Artist")->text(), "A");
    EXPECT_EQ(ui.row("iID3v1_Title")->text(), "B");
    EXPECT_TRUE(window.ID3v1Modified());
}

TEST_F(DragDropTest, ImageOnTheListRenamesTheCurrentFileAfterThePane) {
    ASSERT_TRUE(QDir().mkpath(path("f.d")));
    const struct {
        const char* file; // CurrentFile
        bool fromID3v2;
        const char* artist;
        const char* title;
        const char* renamed; // nullptr: nothing happens and nothing is asked
    } cases[] = {
        {"x.mp3", false, "A", "B", "A - B.mp3"},
        {"x.mp3", true, "A", "", "A.mp3"},
        {"x.mp3", false, "", "B", "B.mp3"},
        {"x.mp3", true, "", "", nullptr},
        {"x.mp3", false, " A ", "B ", " A  - B .mp3"},
        {"x.y.mp3", true, "A", "B", "A - B.mp3"},
        {"f.d/x", false, "A", "B", "f.d/A - B"},
    };
    const Bytes content = bytesOf("audio bytes");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " -> " + (c.renamed ? c.renamed : "nothing"));
        const QString old = path(c.file);
        dir.createFile(c.file, content);
        window.CurrentFile = old;
        InspectorGrid* pane = c.fromID3v2 ? ui.grid("iID3v2") : ui.grid("iID3v1");
        setRows(pane, {c.title, c.artist});
        window.SetID3v1Modified(true);
        window.SetID3v2Modified(false);
        dialogs.boxes.clear();

        const auto data = ui.imageDrag(c.fromID3v2 ? "imID3v2" : "imID3v1");
        ASSERT_TRUE(dragAndDrop(listTarget(), data.get()));
        if (!c.renamed) {
            EXPECT_TRUE(dialogs.boxes.empty());
            EXPECT_EQ(window.CurrentFile, old);
            EXPECT_EQ(readFile(old.toStdString()), content);
            continue;
        }
        const QString renamed = path(c.renamed);
        EXPECT_EQ(dialogs.texts(Kind::Confirm),
                  QStringList{"Rename file \"" + old + "\" to \"" + renamed + "\"?"});
        EXPECT_EQ(window.CurrentFile, renamed);
        EXPECT_FALSE(fileExists(old.toStdString()));
        EXPECT_EQ(readFile(renamed.toStdString()), content);
        // Only the name changed: the panes and their flags stay.
        EXPECT_EQ(pane->row(1)->text(), c.artist);
        EXPECT_TRUE(window.ID3v1Modified());
        EXPECT_FALSE(window.ID3v2Modified());
        EXPECT_TRUE(errors.take().isEmpty());
        ASSERT_TRUE(QFile::remove(renamed));
    }
}

TEST_F(DragDropTest, RenameNeverReplacesAnExistingFile) {
    const std::string old = dir.createFile("x.mp3", bytesOf("mine"));
    const std::string existing = dir.createFile("A - B.mp3", bytesOf("someone else's"));
    window.CurrentFile = QString::fromStdString(old);
    setRows(ui.grid("iID3v1"), {"B", "A"});

    const auto data = ui.imageDrag("imID3v1");
    EXPECT_TRUE(dragAndDrop(listTarget(), data.get()));
    EXPECT_EQ(errors.take(), QStringList{"Cannto rename file \"" + window.CurrentFile + "\" to \"" +
                                         path("A - B.mp3") + "\"\nFile exists."});
    EXPECT_EQ(window.CurrentFile, QString::fromStdString(old));
    EXPECT_EQ(readFile(old), bytesOf("mine"));
    EXPECT_EQ(readFile(existing), bytesOf("someone else's"));
}

TEST_F(DragDropTest, RenameKeepsTheFileInItsOwnFolder) {
    // Folders the old name-building walked into, and one beside the test's folder.
    ASSERT_TRUE(QDir().mkpath(path("AC")));
    ASSERT_TRUE(QDir().mkpath(path("sub")));
    const struct {
        const char* file; // CurrentFile, in the folder
        const char* artist;
        const char* title;
        const char* renamed; // nullptr: the rename error, nothing moves
    } cases[] = {
        {"x.mp3", "AC/DC", "Back in Black", "AC-DC - Back in Black.mp3"},
        {"x.mp3", "No such folder/A", "B", "No such folder-A - B.mp3"},
        {"x.mp3", "", "../x", "..-x.mp3"},
        {"x.mp3", "", "sub/../../y", "sub-..-..-y.mp3"},
        {"x.mp3", "/", "", "-.mp3"},
        {"x.mp3", "", "..", "...mp3"},
        {"x", "", ".", nullptr},
        {"x", "..", "", nullptr},
        {"x.", "", "..", nullptr},
    };
    const Bytes content = bytesOf("audio bytes");
    const QDir folder(QString::fromStdString(dir.path()));
    const auto names = [&] {
        return folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.artist) + " | " + c.title);
        const QString old = path(c.file);
        dir.createFile(c.file, content);
        const QStringList before = names();
        window.CurrentFile = old;
        setRows(ui.grid("iID3v1"), {c.title, c.artist});
        dialogs.boxes.clear();

        const auto data = ui.imageDrag("imID3v1");
        ASSERT_TRUE(dragAndDrop(listTarget(), data.get()));
        EXPECT_TRUE(QDir(path("AC")).isEmpty());
        EXPECT_TRUE(QDir(path("sub")).isEmpty());
        if (!c.renamed) {
            const QStringList shown = errors.take();
            ASSERT_EQ(shown.size(), 1);
            EXPECT_TRUE(shown.front().startsWith("Cannto rename file \"" + old + "\" to \""))
                << shown.front().toStdString();
            EXPECT_TRUE(shown.front().endsWith("\"\nInvalid argument."))
                << shown.front().toStdString();
            EXPECT_EQ(window.CurrentFile, old);
            EXPECT_EQ(names(), before);
            EXPECT_EQ(readFile(old.toStdString()), content);
            ASSERT_TRUE(QFile::remove(old));
            continue;
        }
        const QString renamed = path(c.renamed);
        EXPECT_EQ(dialogs.texts(Kind::Confirm),
                  QStringList{"Rename file \"" + old + "\" to \"" + renamed + "\"?"});
        EXPECT_TRUE(errors.take().isEmpty());
        EXPECT_EQ(window.CurrentFile, renamed);
        QStringList expected = before;
        expected.removeOne(QString::fromLatin1(c.file));
        expected.append(QString::fromLatin1(c.renamed));
        expected.sort();
        QStringList after = names();
        after.sort();
        EXPECT_EQ(after, expected);
        EXPECT_EQ(readFile(renamed.toStdString()), content);
        ASSERT_TRUE(QFile::remove(renamed));
    }
}

TEST_F(DragDropTest, RenameFollowsItsConfirmation) {
    const std::string old = dir.createFile("x.mp3", bytesOf("mine"));
    window.CurrentFile = QString::fromStdString(old);
    setRows(ui.grid("iID3v2"), {"B", "A"});
    dialogs.answers = {false};
    const auto data = ui.imageDrag("imID3v2");
    ASSERT_TRUE(dragAndDrop(listTarget(), data.get()));
    EXPECT_EQ(dialogs.count(Kind::Confirm), 1);
    EXPECT_TRUE(fileExists(old));
    EXPECT_EQ(window.CurrentFile, QString::fromStdString(old));

    ui.action("bbConfRenameFile")->setChecked(false);
    ASSERT_TRUE(dragAndDrop(listTarget(), data.get()));
    EXPECT_EQ(dialogs.count(Kind::Confirm), 1);
    EXPECT_FALSE(fileExists(old));
    EXPECT_EQ(window.CurrentFile, path("A - B.mp3"));
    EXPECT_EQ(readFile(path("A - B.mp3").toStdString()), bytesOf("mine"));
}

TEST_F(DragDropTest, RenameCancelsAnInPlaceEditFirst) {
    dir.createFile("x.mp3", bytesOf("mine"));
    dir.createFile("y.mp3", bytesOf("other"));
    const QString folder = QString::fromStdString(dir.path());
    ui.find<ShellTreeView>("ShellTree")->openFolder(folder);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return ui.find<ShellListView>("ShellList")->folderPath() == folder &&
                   ui.find<ShellListView>("ShellList")->isFilled();
        },
        Patience));
    QAbstractItemView* view = ui.find<ShellListView>("ShellList")->itemView();
    QModelIndex y;
    for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row) {
        const QModelIndex index = view->model()->index(row, 0, view->rootIndex());
        if (index.data().toString() == "y.mp3")
            y = index;
    }
    ASSERT_TRUE(y.isValid());
    view->selectionModel()->select(y,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ui.find<ShellListView>("ShellList")->renameSelected();
    ASSERT_TRUE(ui.find<ShellListView>("ShellList")->isEditing());

    window.CurrentFile = path("x.mp3");
    setRows(ui.grid("iID3v1"), {"B", "A"});
    const auto data = ui.imageDrag("imID3v1");
    ASSERT_TRUE(dragAndDrop(listTarget(), data.get()));
    EXPECT_FALSE(ui.find<ShellListView>("ShellList")->isEditing());
    EXPECT_EQ(window.CurrentFile, path("A - B.mp3"));
    EXPECT_EQ(readFile(dir.file("y.mp3")), bytesOf("other"));
}

} // namespace

// A file whose name is not UTF-8 comes from media written under Windows: its bytes fill the tag
// as Windows-1252 text, and a rename after the tag keeps the folder's bytes; "\xE9" typed in the
// tag stands for the byte again, and text the user typed in UTF-8 stays UTF-8.
TEST_F(DragDropTest, ALatinOneNamedFileFillsTheTagAndIsRenamedAfterIt) {
    const std::string folder = dir.file("D\xefsc");
    ASSERT_EQ(0, ::mkdir(folder.c_str(), 0755));
    const QString shownFolder = QString::fromStdString(dir.path()) + "/D\\xEFsc/";
    const struct {
        const char* title; // typed over the filled one; nullptr keeps it
        const char* renamed;
        const char* question;
    } cases[] = {
        {nullptr, "Caf\xc3\xa9 - Na\xc3\xafve.mp3", "Caf\xc3\xa9 - Na\xc3\xafve.mp3"},
        {"Na\\xEFve (live)", "Caf\xc3\xa9 - Na\xefve (live).mp3",
         "Caf\xc3\xa9 - Na\\xEFve (live).mp3"},
    };
    const Bytes content = bytesOf("audio bytes");
    const auto files = filesDrag({path("x.mp3")});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.renamed);
        const std::string file = folder + "/Caf\xe9 - Na\xefve.mp3";
        dir.createFile("D\xefsc/Caf\xe9 - Na\xefve.mp3", content);
        window.CurrentFile = pathFromNative(file);
        dialogs.boxes.clear();

        ASSERT_TRUE(dragAndDrop(id3v1Target(), files.get()));
        EXPECT_EQ(dialogs.texts(Kind::Confirm), QStringList{"Fill tag from file \"" + shownFolder +
                                                            "Caf\\xE9 - Na\\xEFve.mp3\"?"});
        EXPECT_EQ(ui.row("iID3v1_Artist")->text(), QString::fromUtf8("Café"));
        EXPECT_EQ(ui.row("iID3v1_Title")->text(), QString::fromUtf8("Naïve"));

        if (c.title)
            ui.row("iID3v1_Title")->setText(QString::fromUtf8(c.title));
        dialogs.boxes.clear();
        const auto image = ui.imageDrag("imID3v1");
        ASSERT_TRUE(dragAndDrop(listTarget(), image.get()));
        EXPECT_EQ(dialogs.texts(Kind::Confirm),
                  QStringList{"Rename file \"" + shownFolder + "Caf\\xE9 - Na\\xEFve.mp3\" to \"" +
                              shownFolder + QString::fromUtf8(c.question) + "\"?"});
        EXPECT_TRUE(errors.take().isEmpty());
        EXPECT_EQ(entriesOf(folder), std::vector<std::string>{c.renamed});
        EXPECT_EQ(fileNameBytes(window.CurrentFile).toStdString(), folder + "/" + c.renamed);
        EXPECT_EQ(readFile(folder + "/" + c.renamed), content);
        ::unlink((folder + "/" + c.renamed).c_str());
    }
}

// Bytes that are not UTF-8 are read as Windows-1252, the whole name alike; a UTF-8 name is taken
// as it is.
TEST_F(DragDropTest, FillFromANameThatIsNotUtf8ReadsItsBytesAsWindows1252) {
    const struct {
        const char* name;
        const char* artist; // UTF-8
        const char* title;
    } cases[] = {
        {"Se\xf1or Coconut - Beautiful.mp3", "Señor Coconut", "Beautiful"},
        {"Bj\xf6rk - \x93J\xf3ga\x94 \x96 live.mp3", "Björk", "“Jóga” – live"},
        {"\x80uro \xc3\xa9 - \x9cuvre.mp3", "€uro Ã©", "œuvre"},
        {"Caf\xc3\xa9 - Cr\xc3\xa8me.mp3", "Café", "Crème"},
    };
    const auto files = filesDrag({path("x.mp3")});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.artist);
        window.CurrentFile = pathFromNative(dir.file(c.name));
        ASSERT_TRUE(dragAndDrop(id3v2Target(), files.get()));
        EXPECT_EQ(ui.row("iID3v2_Artist")->text(), QString::fromUtf8(c.artist));
        EXPECT_EQ(ui.row("iID3v2_Title")->text(), QString::fromUtf8(c.title));
    }
}

// Each gesture is also a command of the Tags menu: the command does what the drag does, from
// the same rows, flags and CurrentFile.
TEST_F(DragDropTest, TagsMenuCommandsDoWhatTheDragsDo) {
    const struct {
        const char* command;
        const char* image; // the drag of this image...
        bool files;        // ...or files dropped...
        QWidget* target;   // ...onto this target
        bool ctrl;
    } cases[] = {
        {"bbCopyID3v1", "imID3v1", false, id3v2Target(), false},
        {"bbMergeID3v1", "imID3v1", false, id3v2Target(), true},
        {"bbCopyID3v2", "imID3v2", false, id3v1Target(), false},
        {"bbMergeID3v2", "imID3v2", false, id3v1Target(), true},
        {"bbFillFromFileID3v1", nullptr, true, id3v1Target(), false},
        {"bbFillFromFileID3v2", nullptr, true, id3v2Target(), false},
        {"bbRenameFileID3v1", "imID3v1", false, listTarget(), false},
        {"bbRenameFileID3v2", "imID3v2", false, listTarget(), false},
    };
    // Everything a gesture may change.
    struct Outcome {
        QStringList id3v1, id3v2, files, boxes;
        bool modified1, modified2;
        QString currentFile;
        bool operator==(const Outcome&) const = default;
    };
    const auto outcome = [&] {
        QStringList boxes;
        for (const FakeDialogs::Box& box : dialogs.boxes)
            boxes << box.text;
        return Outcome{rowTexts(ui.grid("iID3v1")),
                       rowTexts(ui.grid("iID3v2")),
                       QDir(QString::fromStdString(dir.path())).entryList(QDir::Files),
                       boxes,
                       window.ID3v1Modified(),
                       window.ID3v2Modified(),
                       window.CurrentFile};
    };
    const auto setUp = [&] {
        for (const QString& name : QDir(QString::fromStdString(dir.path())).entryList(QDir::Files))
            ASSERT_TRUE(QFile::remove(path(name)));
        dir.createFile("Art - Name.mp3", bytesOf("audio"));
        window.CurrentFile = path("Art - Name.mp3");
        setRows(ui.grid("iID3v1"), {"T1", "", "B1", "", "1", "", "", "", "Rock"});
        setRows(ui.grid("iID3v2"), {"", "A2", "", "2002", "", "C2", "", "", "Jazz", "Composer"});
        window.SetID3v1Modified(false);
        window.SetID3v2Modified(false);
        dialogs.boxes.clear();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        setUp();
        shell.modifiers = c.ctrl ? Qt::ControlModifier : Qt::NoModifier;
        const auto data = c.files ? filesDrag({path("x.mp3")}) : ui.imageDrag(c.image);
        ASSERT_TRUE(dragAndDrop(c.target, data.get()));
        const Outcome dragged = outcome();
        EXPECT_TRUE(errors.take().isEmpty());

        setUp();
        shell.modifiers = Qt::NoModifier; // a menu command reads no keys
        ui.action(c.command)->trigger();
        EXPECT_EQ(outcome(), dragged);
        EXPECT_TRUE(errors.take().isEmpty());
        // The command changed something, as the drag did.
        EXPECT_TRUE(dragged.modified1 || dragged.modified2 ||
                    dragged.currentFile != path("Art - Name.mp3"));
    }
    shell.modifiers = Qt::NoModifier;
}

// A click on a pane's image opens that pane's part of the Tags menu, which lists the pane's
// commands; the keys of the window's commands are each used once.
TEST_F(DragDropTest, AClickOnAnImageOpensItsPanesPartOfTheTagsMenu) {
    for (const char* pane : {"ID3v1", "ID3v2"}) {
        SCOPED_TRACE(pane);
        QLabel* image = ui.find<QLabel>(QStringLiteral("im%1").arg(pane));
        QTest::mouseClick(image, Qt::LeftButton, {}, QPoint(4, 4));
        QMenu* menu = ui.find<QMenu>(QStringLiteral("bbTags%1").arg(pane));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return QApplication::activePopupWidget() == menu; }, Patience));
        QStringList names;
        for (const QAction* action : menu->actions()) {
            if (!action->isSeparator())
                names << action->objectName();
        }
        EXPECT_EQ(names, (QStringList{QStringLiteral("bbCopy%1").arg(pane),
                                      QStringLiteral("bbMerge%1").arg(pane),
                                      QStringLiteral("bbFillFromFile%1").arg(pane),
                                      QStringLiteral("bbRenameFile%1").arg(pane)}));
        menu->close();
    }
    QMap<QString, QString> owners;
    for (const QAction* action : window.actions()) {
        for (const QKeySequence& key : action->shortcuts()) {
            SCOPED_TRACE(key.toString().toStdString());
            EXPECT_FALSE(owners.contains(key.toString()))
                << owners.value(key.toString()).toStdString() << " and "
                << action->objectName().toStdString();
            owners.insert(key.toString(), action->objectName());
        }
    }
    EXPECT_TRUE(owners.contains("Ctrl+E"));
    for (const QShortcut* shortcut : window.findChildren<QShortcut*>()) {
        // Ctrl+Q is Close's own key again, wherever its bar is.
        if (shortcut->key() != QKeySequence(Qt::CTRL | Qt::Key_Q)) {
            EXPECT_FALSE(owners.contains(shortcut->key().toString()))
                << shortcut->key().toString().toStdString();
        }
    }
}
