// The folder tree, file list and drive combo through their widgets, on temporary folders of
// the real file system.
#include "shell/ShellError.h"
#include "shell/ShellServices.h"
#include "ui/ShellComboBox.h"
#include "ui/ShellListView.h"
#include "ui/ShellTreeModel.h"
#include "ui/ShellTreeView.h"

#include "../support/FakeDialogs.h"

#include "shell/FileName.h"
#include "ui/FolderModel.h"

#include <QAbstractItemModelTester>
#include <QAbstractProxyModel>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTreeView>
#include <QVBoxLayout>
#include <atomic>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;

// Readable failures.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

constexpr int Patience = 20000; // ms; CI machines are slow, sanitizers slower
using TesterMode = QAbstractItemModelTester::FailureReportingMode;

// A temporary folder with helpers to fill it.
class TestDir {
public:
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    QString createFile(const QString& name) const {
        QFile file(filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
        file.write("x");
        return file.fileName();
    }
    QString createDir(const QString& name) const {
        EXPECT_TRUE(QDir(path()).mkpath(name)) << name.toStdString();
        return filePath(name);
    }

private:
    QTemporaryDir m_dir;
};

QStringList sorted(QStringList list) {
    list.sort(Qt::CaseInsensitive);
    return list;
}

// Records the key and drag events that reach the widget it watches, and eats some keys.
class EventRecorder : public QObject {
public:
    QList<QEvent::Type> types;
    QList<QPoint> dragPositions;
    QList<int> eatenKeys;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            types << event->type();
            return eatenKeys.contains(static_cast<QKeyEvent*>(event)->key());
        case QEvent::DragEnter:
        case QEvent::DragMove:
            types << event->type();
            dragPositions << static_cast<QDropEvent*>(event)->position().toPoint();
            return false;
        default:
            return false;
        }
    }
};

class ShellViewsTest : public ::testing::Test {
public:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&m_window);
        m_combo = new ShellComboBox;
        m_tree = new ShellTreeView;
        m_list = new ShellListView;
        // Each folder's model is held to the rules of Qt's item models as the list lists it. (The
        // tree's would be walked ten folders deep from the file system's root on every check.)
        auto* proxy = qobject_cast<QAbstractProxyModel*>(view()->model());
        ASSERT_NE(proxy, nullptr);
        QObject::connect(proxy, &QAbstractProxyModel::sourceModelChanged, &m_window, [proxy] {
            if (auto* files = qobject_cast<FolderModel*>(proxy->sourceModel()))
                new QAbstractItemModelTester(files, TesterMode::Fatal, files);
        });
        layout->addWidget(m_combo);
        layout->addWidget(m_tree);
        layout->addWidget(m_list);
        m_list->setTree(m_tree);
        m_combo->setList(m_list);
        m_list->setFileMask("*.mp?");
        m_list->setMasked(true);
        m_window.resize(500, 700);
        m_window.show();
        m_window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    // Lists a folder through the tree and waits until it has been read whole.
    void list(const QString& path) {
        m_tree->openFolder(path);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return m_list->folderPath() == path && m_list->isFilled(); }, Patience))
            << path.toStdString();
    }
    void refreshList() {
        m_list->refresh();
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_list->isFilled(); }, Patience));
    }

    QAbstractItemView* view() const { return m_list->itemView(); }
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
        view()->scrollTo(item(name));
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, modifiers,
                          view()->visualRect(item(name)).center());
    }
    QStringList names() const { return sorted(m_list->itemNames()); }

    FakeDialogs m_dialogs;
    TestDir m_dir;
    QWidget m_window;
    ShellComboBox* m_combo = nullptr;
    ShellTreeView* m_tree = nullptr;
    ShellListView* m_list = nullptr;
};

TEST_F(ShellViewsTest, TheMaskHidesFilesNotFoldersAndRemasksWhatTheListHolds) {
    for (const char* name : {"song.mp3", "song.MP2", "song.mp", "song.mpeg", "song.mp3.bak",
                             "note.txt", ".hidden.mp3"})
        m_dir.createFile(name);
    m_dir.createDir("album.mpeg");
    m_dir.createDir(".cache");
    list(m_dir.path());
    EXPECT_EQ(names(),
              sorted({".cache", ".hidden.mp3", "album.mpeg", "song.MP2", "song.mp", "song.mp3"}));

    // A new mask applies before the event loop runs again: nothing is read from disk.
    auto* files = m_list->findChild<FolderModel*>();
    ASSERT_NE(files, nullptr);
    QSignalSpy loaded(files, &FolderModel::filled);
    QSignalSpy filled(m_list, &ShellListView::listFilled);
    m_list->setFileMask("*.TXT;*.mpeg");
    EXPECT_EQ(names(), sorted({".cache", "album.mpeg", "note.txt", "song.mpeg"}));
    EXPECT_EQ(m_list->itemCount(), 4);
    EXPECT_EQ(filled.count(), 1);
    m_list->setFileMask("*.TXT;*.mpeg"); // the same mask again: nothing happens
    EXPECT_EQ(filled.count(), 1);
    EXPECT_EQ(loaded.count(), 0);
    EXPECT_EQ(m_list->findChild<FolderModel*>(), files);

    // An empty mask lets everything pass from the next listing on.
    m_list->setFileMask("");
    EXPECT_EQ(m_list->itemCount(), 4);
    refreshList();
    EXPECT_EQ(m_list->itemCount(), 9);

    m_list->setFileMask("*.mp3");
    EXPECT_EQ(m_list->itemCount(), 4);
    m_list->setMasked(false);
    EXPECT_EQ(m_list->itemCount(), 9);
}

TEST_F(ShellViewsTest, WhatIsNoFolderCannotBeOpened) {
    const QString file = m_dir.createFile("song.mp3");
    struct Case {
        const char* what;
        QString path;
        const char* reason; // the second line, after the folder as given
    };
    const Case cases[] = {
        {"a missing path", m_dir.filePath("missing"), "No such file or directory"},
        {"a file", file, "Not a directory"},
        {"a relative path", "relative/folder", "Not a full path"},
        {"an empty text", "", "Not a full path"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString expected = "Invalid folder.\n\"" + c.path + "\": " + c.reason;
        try {
            m_tree->openFolder(c.path);
            ADD_FAILURE() << "the tree opened it";
        } catch (const ShellError& error) {
            EXPECT_EQ(error.message(), expected);
        }
        try {
            m_list->setFolder(c.path);
            ADD_FAILURE() << "the list opened it";
        } catch (const ShellError& error) {
            EXPECT_EQ(error.message(), expected);
        }
    }
}

TEST_F(ShellViewsTest, TreeListAndComboMoveTogether) {
    const QString a = m_dir.createDir("a");
    const QString b = m_dir.createDir("a/b");
    const QString c = m_dir.createDir("a/b/c");
    QSignalSpy selected(m_tree, &ShellTreeView::folderSelected);

    list(c);
    EXPECT_EQ(m_tree->selectedFolder().parsingPath(), c);
    EXPECT_TRUE(m_tree->isExpanded(m_tree->currentIndex().parent()));
    EXPECT_EQ(m_combo->entryPath(m_combo->currentIndex()), c);
    // The combo's entries end with the chain of folders down to c, each one deeper.
    QStringList chain;
    for (int i = m_combo->currentIndex(); i > 0 && m_combo->entryPath(i).startsWith(m_dir.path());
         --i) {
        chain.prepend(m_combo->entryPath(i));
        EXPECT_EQ(m_combo->entryIndent(i), m_combo->entryIndent(i - 1) + 1);
    }
    EXPECT_EQ(chain, (QStringList{m_dir.path(), a, b, c}));

    m_list->upOneLevel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_list->isFilled(); }, Patience));
    EXPECT_EQ(m_list->folderPath(), b);
    EXPECT_EQ(m_tree->selectedFolder().parsingPath(), b);
    EXPECT_EQ(m_combo->entryPath(m_combo->currentIndex()), b);

    // A double click enters a folder and the tree follows.
    m_list->setFileMask("*");
    QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {},
                       view()->visualRect(item("c")).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_list->isFilled(); }, Patience));
    EXPECT_EQ(m_list->folderPath(), c);
    EXPECT_EQ(m_tree->selectedFolder().parsingPath(), c);

    // Choosing a combo entry lists it.
    const int entryOfA = m_combo->findData(a);
    ASSERT_GE(entryOfA, 0);
    m_combo->setCurrentIndex(entryOfA);
    emit m_combo->activated(entryOfA);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_list->isFilled(); }, Patience));
    EXPECT_EQ(m_list->folderPath(), a);
    EXPECT_EQ(m_tree->selectedFolder().parsingPath(), a);
    EXPECT_GE(selected.count(), 4);

    // The Desktop lists its children; nothing can be made there.
    list(ShellItem::DesktopParsingName);
    EXPECT_TRUE(m_list->itemNames().contains("Home"));
    EXPECT_TRUE(m_list->itemNames().contains("File System"));
    EXPECT_TRUE(m_tree->selectedFolder().isDesktop());
    EXPECT_THROW(m_list->newFolder(), ShellError);
    m_list->upOneLevel(); // nothing above the Desktop
    EXPECT_TRUE(m_list->folder().isDesktop());
}

TEST_F(ShellViewsTest, NewFolderTakesTheFirstFreeName) {
    struct Case {
        const char* what;
        QStringList existing;
        const char* created;
    };
    const Case cases[] = {
        {"an empty folder", {}, "New Folder"},
        {"one clash", {"New Folder"}, "New Folder (2)"},
        {"two clashes", {"New Folder", "New Folder (2)"}, "New Folder (3)"},
        {"a clash in other letter case", {"new folder"}, "New Folder (2)"},
        {"a gap in the numbers", {"New Folder", "New Folder (3)"}, "New Folder (2)"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString folder = m_dir.createDir(QString::number(++n));
        for (const QString& name : c.existing)
            m_dir.createDir(QString::number(n) + "/" + name);
        list(folder);
        m_list->newFolder();
        EXPECT_TRUE(QFileInfo(folder + "/" + c.created).isDir());
        EXPECT_EQ(QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(),
                  c.existing.size() + 1);
        EXPECT_TRUE(m_list->isEditing());
        EXPECT_EQ(m_list->selectedPaths(), QStringList{folder + "/" + c.created});
        m_list->cancelEdit();
        EXPECT_FALSE(m_list->isEditing());
    }
}

TEST_F(ShellViewsTest, NewFolderInAReadOnlyFolderIsRefused) {
    const QString folder = m_dir.createDir("locked");
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    if (QFileInfo(folder).isWritable()) {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        GTEST_SKIP() << "running as a user who may write anywhere";
    }
    list(folder);
    try {
        m_list->newFolder();
        ADD_FAILURE() << "a folder was made";
    } catch (const ShellError& error) {
        EXPECT_STREQ(error.what(), "Cannot create folder: Parent folder is read-only");
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(QDir(folder).isEmpty());
}

TEST_F(ShellViewsTest, ViewStylesShowTheSameItemsAndSelection) {
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        m_dir.createFile(name);
    m_dir.createDir("sub");
    list(m_dir.path());
    click("a.mp3");
    click("c.mp3", Qt::ControlModifier);
    const QStringList selection = m_list->selectedPaths();
    ASSERT_EQ(selection.size(), 2);
    struct Case {
        int style;
        bool report;
        QListView::ViewMode mode;
    };
    const Case cases[] = {{ShellListView::Icons, false, QListView::IconMode},
                          {ShellListView::SmallIcons, false, QListView::ListMode},
                          {ShellListView::List, false, QListView::ListMode},
                          {ShellListView::Report, true, QListView::ListMode}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        m_list->setViewStyle(c.style);
        EXPECT_EQ(m_list->viewStyle(), c.style);
        EXPECT_TRUE(view()->isVisible());
        if (c.report) {
            auto* report = qobject_cast<QTreeView*>(view());
            ASSERT_NE(report, nullptr);
            EXPECT_GE(report->model()->columnCount(report->rootIndex()), 4);
        } else {
            auto* icons = qobject_cast<QListView*>(view());
            ASSERT_NE(icons, nullptr);
            EXPECT_EQ(icons->viewMode(), c.mode);
        }
        EXPECT_EQ(m_list->itemCount(), 4);
        EXPECT_EQ(m_list->selectedPaths(), selection);
        EXPECT_TRUE(view()->visualRect(item("b.mp3")).isValid());
    }
}

TEST_F(ShellViewsTest, CountsAndSelectionCommands) {
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "skip.txt"})
        m_dir.createFile(name);
    m_dir.createDir("sub");
    list(m_dir.path());
    EXPECT_EQ(m_list->itemCount(), 5);
    EXPECT_EQ(m_list->selectedCount(), 0);

    m_list->selectAll();
    EXPECT_EQ(m_list->selectedCount(), 5);
    m_list->invertSelection();
    EXPECT_EQ(m_list->selectedCount(), 0);

    click("b.mp3");
    click("d.mp3", Qt::ControlModifier);
    EXPECT_EQ(m_list->selectedPaths(),
              (QStringList{m_dir.filePath("b.mp3"), m_dir.filePath("d.mp3")}));
    m_list->invertSelection();
    EXPECT_EQ(m_list->selectedPaths(), (QStringList{m_dir.filePath("sub"), m_dir.filePath("a.mp3"),
                                                    m_dir.filePath("c.mp3")}));
}

TEST_F(ShellViewsTest, CurrentItemIsTheOneClickedOrMovedTo) {
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        m_dir.createFile(name);
    list(m_dir.path());
    EXPECT_TRUE(m_list->currentItem().isNull());

    // clicked() comes after the selection has changed.
    QStringList selectedAtClick;
    QObject::connect(m_list, &ShellListView::clicked,
                     [&] { selectedAtClick = m_list->selectedPaths(); });
    click("b.mp3");
    EXPECT_EQ(selectedAtClick, QStringList{m_dir.filePath("b.mp3")});
    EXPECT_EQ(m_list->currentItem().parsingPath(), m_dir.filePath("b.mp3"));

    QTest::keyClick(view(), Qt::Key_Down);
    EXPECT_EQ(m_list->currentItem().parsingPath(), m_dir.filePath("c.mp3"));
    EXPECT_EQ(m_list->selectedPaths(), QStringList{m_dir.filePath("c.mp3")});

    // A click on empty space clears the selection and still tells.
    selectedAtClick = {"unchanged"};
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, {},
                      QPoint(5, view()->viewport()->height() - 5));
    EXPECT_TRUE(selectedAtClick.isEmpty());

    refreshList();
    EXPECT_TRUE(m_list->currentItem().isNull());
}

TEST_F(ShellViewsTest, OutsideChangesAreFollowedKeepingTheSelection) {
    for (const char* name : {"a.mp3", "c.mp3", "e.mp3"})
        m_dir.createFile(name);
    list(m_dir.path());
    click("c.mp3");
    QSignalSpy changed(m_list, &ShellListView::shellChanged);

    m_dir.createFile("b.mp3"); // lands before the selected item
    ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > 0; }, Patience));
    EXPECT_EQ(names(), (QStringList{"a.mp3", "b.mp3", "c.mp3", "e.mp3"}));
    EXPECT_EQ(m_list->selectedPaths(), QStringList{m_dir.filePath("c.mp3")});

    // The selected item goes: the one now at its place is selected.
    changed.clear();
    ASSERT_TRUE(QFile::remove(m_dir.filePath("c.mp3")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > 0; }, Patience));
    EXPECT_EQ(names(), (QStringList{"a.mp3", "b.mp3", "e.mp3"}));
    EXPECT_EQ(m_list->selectedPaths(), QStringList{m_dir.filePath("e.mp3")});

    // While a name is being edited the list leaves everything alone.
    changed.clear();
    m_list->renameSelected();
    ASSERT_TRUE(m_list->isEditing());
    m_dir.createFile("d.mp3");
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_list->itemCount() == 4; }, Patience));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_list->hasChangeToFollow(); }, Patience));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(m_list->isEditing());
    m_list->cancelEdit();
}

TEST_F(ShellViewsTest, TheTreeRenamesFoldersOnDisk) {
    const QString old = m_dir.createDir("old");
    m_dir.createDir("taken");
    struct Case {
        const char* what;
        const char* typed;
        bool renamed;
    };
    const Case cases[] = {
        {"a name already taken", "taken", false},
        {"a name with a slash", "a/b", false},
        {"a free name", "new", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_dialogs.boxes.clear();
        m_tree->openFolder(old);
        m_tree->renameSelected();
        ASSERT_TRUE(m_tree->isEditing());
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr);
        editor->setText(c.typed);
        QTest::keyClick(editor, Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !m_tree->isEditing(); }, Patience));
        EXPECT_EQ(QFileInfo(m_dir.filePath(c.typed)).isDir() && !QFileInfo::exists(old), c.renamed);
        EXPECT_EQ(m_dialogs.count(FakeDialogs::Kind::Error), c.renamed ? 0 : 1);
        if (c.renamed) {
            EXPECT_EQ(m_tree->selectedFolder().parsingPath(), m_dir.filePath("new"));
        }
    }
}

TEST_F(ShellViewsTest, TheListRenamesFilesOnDiskAndTellsOfARefusal) {
    m_dir.createFile("taken.mp3");
    struct Case {
        const char* what;
        const char* typed;
        bool renamed;
    };
    const Case cases[] = {
        {"a name already taken", "taken.mp3", false},
        {"a name with a slash", "a/b.mp3", false},
        {"a free name", "new.mp3", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_dialogs.boxes.clear();
        m_dir.createFile("old.mp3");
        list(m_dir.path());
        click("old.mp3");
        m_list->renameSelected();
        ASSERT_TRUE(m_list->isEditing());
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr);
        editor->setText(c.typed);
        QTest::keyClick(editor, Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !m_list->isEditing(); }, Patience));
        EXPECT_EQ(QFileInfo::exists(m_dir.filePath("old.mp3")), !c.renamed);
        EXPECT_EQ(m_dialogs.count(FakeDialogs::Kind::Error), c.renamed ? 0 : 1);
        if (!c.renamed) {
            ASSERT_EQ(m_dialogs.boxes.size(), 1u);
            EXPECT_EQ(m_dialogs.boxes.front().text,
                      QStringLiteral("Cannot rename \"old.mp3\" to \"%1\"").arg(c.typed));
        }
    }
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath("new.mp3")));
}

TEST_F(ShellViewsTest, TheTreeRefreshesABranchKeepingItsExpandedFolders) {
    m_dir.createDir("x/y/z");
    m_tree->openFolder(m_dir.filePath("x/y/z"));
    ShellTreeModel* model = m_tree->shellModel();
    const QPersistentModelIndex y = m_tree->currentIndex().parent();
    const QPersistentModelIndex x = y.parent();
    ASSERT_TRUE(m_tree->isExpanded(y));

    m_dir.createDir("x/w");
    ASSERT_TRUE(QDir(m_dir.filePath("x")).rmdir("y/z"));
    m_tree->refreshBranch(x.parent());
    ASSERT_TRUE(x.isValid() && y.isValid());
    EXPECT_TRUE(m_tree->isExpanded(x));
    EXPECT_TRUE(m_tree->isExpanded(y));
    EXPECT_EQ(model->rowCount(y), 0);
    QStringList children;
    for (int row = 0; row < model->rowCount(x); ++row)
        children << model->index(row, 0, x).data().toString();
    EXPECT_EQ(children, (QStringList{"w", "y"}));
}

// A folder whose name is not UTF-8 shows as the user reads it, opens by its exact bytes, and a
// rename typed over its shown name keeps the byte the name held.
TEST_F(ShellViewsTest, TheTreeShowsOpensAndRenamesLatinOneFoldersByTheirBytes) {
    const QByteArray base = QFile::encodeName(m_dir.path());
    ASSERT_EQ(::mkdir((base + "/D\xefsc").constData(), 0755), 0);
    ASSERT_EQ(::mkdir((base + "/D\xefsc/caf\xe9").constData(), 0755), 0);
    const QString folder = fileNameFromBytes(base + "/D\xefsc");

    m_tree->openFolder(fileNameFromBytes(base + "/D\xefsc/caf\xe9"));
    EXPECT_EQ(fileNameBytes(m_tree->selectedFolder().parsingPath()), base + "/D\xefsc/caf\xe9");
    EXPECT_EQ(m_tree->currentIndex().data().toString(), "caf\\xE9");
    EXPECT_EQ(m_tree->currentIndex().parent().data().toString(), "D\\xEFsc");
    EXPECT_EQ(m_combo->currentText(), "caf\\xE9");

    m_tree->openFolder(folder);
    EXPECT_TRUE(m_tree->shellModel()->hasChildren(m_tree->currentIndex()));
    m_tree->renameSelected();
    ASSERT_TRUE(m_tree->isEditing());
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "D\\xEFsc");
    editor->setText("D\\xEFsc 2");
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_tree->isEditing(); }, Patience));
    EXPECT_EQ(m_dialogs.count(FakeDialogs::Kind::Error), 0);
    struct stat info {};
    EXPECT_EQ(::stat((base + "/D\xefsc 2/caf\xe9").constData(), &info), 0);
    EXPECT_EQ(fileNameBytes(m_tree->selectedFolder().parsingPath()), base + "/D\xefsc 2");
    EXPECT_EQ(m_tree->currentIndex().data().toString(), "D\\xEFsc 2");
    ::rmdir((base + "/D\xefsc 2/caf\xe9").constData());
    ::rmdir((base + "/D\xefsc 2").constData());
}

// Drops are synthetic: a real drag cannot run headless.
void sendDrop(QWidget* target, const QPoint& pos, const QMimeData* data,
              Qt::KeyboardModifiers modifiers) {
    QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &drop);
}

TEST_F(ShellViewsTest, FilesDroppedOnTheListGoIntoTheFolderUnderThem) {
    TestDir source;
    m_dir.createDir("sub");
    m_dir.createFile("here.mp3");
    list(m_dir.path());
    struct Case {
        const char* what;
        const char* onItem; // nullptr: empty space
        Qt::KeyboardModifiers modifiers;
        const char* arrivesIn;
        bool sourceStays;
    };
    const Case cases[] = {
        {"on a folder", "sub", {}, "sub", true},
        {"on a folder with Shift", "sub", Qt::ShiftModifier, "sub", false},
        {"on a file", "here.mp3", {}, "", true},
        {"on empty space", nullptr, {}, "", true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = QStringLiteral("dropped%1.mp3").arg(++n);
        const QString file = source.createFile(name);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        const QPoint pos = c.onItem ? view()->visualRect(item(c.onItem)).center()
                                    : QPoint(5, view()->viewport()->height() - 5);
        sendDrop(view()->viewport(), pos, &data, c.modifiers);
        EXPECT_TRUE(QFileInfo::exists(QDir(m_dir.filePath(c.arrivesIn)).filePath(name)));
        EXPECT_EQ(QFileInfo::exists(file), c.sourceStays);
    }
    // The list's own items dropped where they are: nothing happens.
    QMimeData own;
    own.setUrls({QUrl::fromLocalFile(m_dir.filePath("here.mp3"))});
    sendDrop(view()->viewport(), QPoint(5, view()->viewport()->height() - 5), &own, {});
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).filter("here").size(), 1);
}

TEST_F(ShellViewsTest, ADragHoveringOverACollapsedFolderOpensIt) {
    m_dir.createDir("closed/inner");
    m_tree->openFolder(m_dir.path());
    const QModelIndex closed =
        m_tree->shellModel()->childFor(m_tree->currentIndex(), m_dir.filePath("closed"));
    ASSERT_TRUE(closed.isValid());
    m_tree->scrollTo(closed);
    ASSERT_FALSE(m_tree->isExpanded(closed));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(m_dir.filePath("closed/inner"))});
    const QPoint pos = m_tree->visualRect(closed).center();
    QElapsedTimer clock;
    clock.start();
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(m_tree->viewport(), &enter);
    QDragMoveEvent move(pos, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(m_tree->viewport(), &move);
    EXPECT_TRUE(move.isAccepted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_tree->isExpanded(closed); }, Patience));
    EXPECT_GE(clock.elapsed(), ShellTreeView::DragExpandDelay - 50);
    QDragLeaveEvent leave;
    QApplication::sendEvent(m_tree->viewport(), &leave);
}

// The window watches the list itself for keys and drags, whichever inner view shows it.
TEST_F(ShellViewsTest, KeysAndForeignDragsReachTheListsFilters) {
    for (const char* name : {"a.mp3", "b.mp3"})
        m_dir.createFile(name);
    list(m_dir.path());
    EventRecorder recorder;
    recorder.eatenKeys << Qt::Key_Down;
    m_list->installEventFilter(&recorder);
    for (const int style : {int(ShellListView::Report), int(ShellListView::List)}) {
        SCOPED_TRACE(style);
        m_list->setViewStyle(style);
        recorder.types.clear();
        click("a.mp3");
        QTest::keyClick(view(), Qt::Key_F6);
        EXPECT_EQ(recorder.types, (QList<QEvent::Type>{QEvent::KeyPress, QEvent::KeyRelease}));
        QTest::keyClick(view(), Qt::Key_Down); // eaten by the filter: the cursor stays
        EXPECT_EQ(m_list->currentItem().parsingPath(), m_dir.filePath("a.mp3"));
        QTest::keyClick(view(), Qt::Key_End);
        EXPECT_EQ(m_list->currentItem().parsingPath(), m_dir.filePath("b.mp3"));

        // A drag of anything but files goes on to the list; files the view takes itself.
        recorder.types.clear();
        recorder.dragPositions.clear();
        QMimeData text;
        text.setText("not a file");
        const QPoint pos(10, 10);
        QDragEnterEvent enter(pos, Qt::CopyAction, &text, Qt::LeftButton, {});
        QApplication::sendEvent(view()->viewport(), &enter);
        EXPECT_EQ(recorder.types, QList<QEvent::Type>{QEvent::DragEnter});
        EXPECT_EQ(recorder.dragPositions, QList<QPoint>{view()->viewport()->mapTo(m_list, pos)});
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(m_dir.filePath("a.mp3"))});
        QDragEnterEvent fileEnter(pos, Qt::CopyAction, &files, Qt::LeftButton, {});
        QApplication::sendEvent(view()->viewport(), &fileEnter);
        EXPECT_TRUE(fileEnter.isAccepted());
        EXPECT_EQ(recorder.types.size(), 1);
    }
    m_list->removeEventFilter(&recorder);
}

// The list fills in steps while the event loop goes on turning; how long its pauses
// are is measured by bench/window.sh, not here, where the machine's load decides it.
TEST_F(ShellViewsTest, ALargeFolderFillsWithoutBlockingTheEventLoop) {
    constexpr int FileCount = 20000;
    const QString folder = m_dir.createDir("large");
    for (int i = 0; i < FileCount; ++i) {
        QFile file(QStringLiteral("%1/track%2.mp3").arg(folder).arg(i, 5, 10, QLatin1Char('0')));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start();
    m_tree->openFolder(folder);
    const int ticksWhenAsked = ticks;
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_list->isFilled(); }, 6 * Patience));
    ticker.stop();
    EXPECT_EQ(m_list->itemCount(), FileCount);
    EXPECT_GE(ticks - ticksWhenAsked, 2) << "the event loop did not turn while the list filled";
}

} // namespace

namespace {

// Names made and read as bytes, as a file system holds them.
void makeFileNamed(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path.toStdString();
    ::close(fd);
}

std::set<QByteArray> namesOnDisk(const QString& folder) {
    std::set<QByteArray> names;
    DIR* dir = ::opendir(fileNameBytes(folder).constData());
    while (const dirent* entry = dir ? ::readdir(dir) : nullptr) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.insert(QByteArray(entry->d_name));
    }
    if (dir)
        ::closedir(dir);
    return names;
}

} // namespace

// Latin-1 names from old media are listed beside UTF-8 ones, shown with their odd bytes as
// "\xE9", and renamed in place keeping those bytes.
TEST_F(ShellViewsTest, NamesThatAreNotUtf8AreListedAndRenamedByTheirBytes) {
    const QByteArray folder = fileNameBytes(m_dir.path());
    for (const QByteArray& name :
         {QByteArray("caf\xe9.mp3"), QByteArray("na\xefve.mp3"), QByteArray("caf\xc3\xa9.mp3")})
        makeFileNamed(folder + "/" + name);
    list(m_dir.path());
    EXPECT_EQ(names(), sorted({"caf\\xE9.mp3", "na\\xEFve.mp3", QString::fromUtf8("café.mp3")}));

    click("caf\\xE9.mp3");
    ASSERT_EQ(m_list->selectedPaths().size(), 1);
    EXPECT_EQ(fileNameBytes(m_list->selectedPaths().first()), folder + "/caf\xe9.mp3");
    EXPECT_EQ(fileNameBytes(m_list->currentItem().parsingPath()), folder + "/caf\xe9.mp3");

    m_list->renameSelected();
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "caf\\xE9.mp3");
    editor->setText("caf\\xE9 live.mp3");
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_list->isEditing(); }, Patience));
    EXPECT_EQ(namesOnDisk(m_dir.path()),
              (std::set<QByteArray>{"caf\xe9 live.mp3", "na\xefve.mp3", "caf\xc3\xa9.mp3"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return names().contains("caf\\xE9 live.mp3"); }, Patience));
    EXPECT_EQ(m_list->itemCount(), 3);
}

// A folder shows as a folder; a mount point (here /proc under "/") as a drive.
TEST_F(ShellViewsTest, FoldersLookLikeFoldersAndMountPointsLikeDrives) {
    m_dir.createDir("album");
    m_dir.createFile("song.mp3");
    list(m_dir.path());
    const auto type = [&](const QString& name) {
        return item(name).siblingAtColumn(FolderModel::TypeColumn).data().toString();
    };
    const auto iconImage = [](const QVariant& icon) {
        return icon.value<QIcon>().pixmap(16).toImage();
    };
    const QFileIconProvider provider;
    EXPECT_EQ(type("album"), "Folder");
    EXPECT_EQ(iconImage(item("album").data(Qt::DecorationRole)),
              iconImage(provider.icon(QAbstractFileIconProvider::Folder)));
    EXPECT_NE(type("song.mp3"), "Folder");

    struct stat root {
    }, proc{};
    if (::stat("/", &root) != 0 || ::stat("/proc", &proc) != 0 || root.st_dev == proc.st_dev)
        GTEST_SKIP() << "no mount point under /";
    m_list->setMasked(false);
    list("/");
    EXPECT_EQ(type("proc"), "Drive");
    EXPECT_EQ(iconImage(item("proc").data(Qt::DecorationRole)),
              iconImage(provider.icon(QAbstractFileIconProvider::Drive)));
}

// Every header reads in full and a typical name fits; a width the user sets stays from one
// folder to the next.
TEST_F(ShellViewsTest, ColumnsShowTheirHeadersAndTypicalNamesWhole) {
    m_dir.createFile("Harbour Lights - Slow Tide.mp3");
    list(m_dir.path());
    auto* report = qobject_cast<QTreeView*>(view());
    ASSERT_NE(report, nullptr);
    QHeaderView* header = report->header();
    const QFontMetrics metrics(header->font());
    for (int column = 0; column < header->count(); ++column) {
        const QString caption = header->model()->headerData(column, Qt::Horizontal).toString();
        SCOPED_TRACE(caption.toStdString());
        if (!header->isSectionHidden(column)) {
            EXPECT_GE(header->sectionSize(column), metrics.horizontalAdvance(caption) + 8);
        }
    }
    const QModelIndex song = item("Harbour Lights - Slow Tide.mp3");
    EXPECT_GE(header->sectionSize(0), report->sizeHintForIndex(song).width());

    header->resizeSection(1, 123);
    list(m_dir.createDir("other"));
    EXPECT_EQ(header->sectionSize(1), 123);
}

// A click on a column's header sorts by it, folders staying first; the selection stays on the
// same items. A rename puts the item at its new place.
TEST_F(ShellViewsTest, SortingByAColumnKeepsFoldersFirstAndTheSelection) {
    const auto sized = [&](const char* name, int size) {
        QFile file(m_dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, 'x'));
    };
    sized("b.mp3", 300);
    sized("a.mp3", 200);
    sized("c.mp3", 100);
    m_dir.createDir("z folder");
    list(m_dir.path());
    const auto order = [&] {
        QStringList names;
        for (int row = 0; row < view()->model()->rowCount(view()->rootIndex()); ++row)
            names << view()->model()->index(row, 0, view()->rootIndex()).data().toString();
        return names;
    };
    EXPECT_EQ(order(), (QStringList{"z folder", "a.mp3", "b.mp3", "c.mp3"}));
    click("b.mp3");

    auto* report = qobject_cast<QTreeView*>(view());
    ASSERT_NE(report, nullptr);
    report->sortByColumn(FolderModel::SizeColumn, Qt::AscendingOrder);
    EXPECT_EQ(order(), (QStringList{"z folder", "c.mp3", "a.mp3", "b.mp3"}));
    report->sortByColumn(FolderModel::SizeColumn, Qt::DescendingOrder);
    EXPECT_EQ(order(), (QStringList{"z folder", "b.mp3", "a.mp3", "c.mp3"}));
    EXPECT_EQ(m_list->selectedPaths(), QStringList{m_dir.filePath("b.mp3")});
    EXPECT_EQ(m_list->currentItem().parsingPath(), m_dir.filePath("b.mp3"));

    report->sortByColumn(FolderModel::NameColumn, Qt::AscendingOrder);
    m_list->renameSelected();
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->setText("d.mp3");
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_list->isEditing(); }, Patience));
    EXPECT_EQ(order(), (QStringList{"z folder", "a.mp3", "c.mp3", "d.mp3"}));
    EXPECT_EQ(m_list->selectedPaths(), QStringList{m_dir.filePath("d.mp3")});
}

namespace {

// A desktop that holds one folder alone, so that a model check walking the tree from its top
// sees a few folders, not the whole file system.
class OneFolderDesktop : public ShellServices {
public:
    explicit OneFolderDesktop(QString folder) : m_folder(std::move(folder)) {
        setShellServices(this);
    }
    ~OneFolderDesktop() override { setShellServices(nullptr); }
    QList<ShellItem> desktopChildren() const override {
        return {ShellItem::fromPath(m_folder, QStringLiteral("Music"))};
    }

private:
    QString m_folder;
};

} // namespace

TEST(ShellTreeModelTest, KeepsTheItemModelRulesAsFoldersComeGoAndAreRenamed) {
    TestDir dir;
    dir.createDir("Artist/Album");
    dir.createDir("Other");
    OneFolderDesktop desktop(dir.path());
    ShellTreeModel model;
    // Checks the whole tree as it is now, then every change signal against its rules.
    QAbstractItemModelTester tester(&model, TesterMode::Fatal);

    const QModelIndex top = model.childFor(model.desktopIndex(), dir.path());
    ASSERT_TRUE(top.isValid());
    const QModelIndex artist = model.childFor(top, dir.filePath("Artist"));
    ASSERT_TRUE(artist.isValid());
    ASSERT_TRUE(model.childFor(artist, dir.filePath("Artist/Album")).isValid());

    dir.createDir("New");
    ASSERT_TRUE(QDir(dir.path()).rmdir("Other"));
    model.refresh(top);
    EXPECT_TRUE(model.childFor(top, dir.filePath("New")).isValid());
    EXPECT_TRUE(model.loadedNodes(dir.filePath("Other")).isEmpty());

    ASSERT_TRUE(model.setData(model.childFor(top, dir.filePath("Artist")), "Band"));
    EXPECT_TRUE(QFileInfo(dir.filePath("Band/Album")).isDir());
    const QModelIndex band = model.childFor(top, dir.filePath("Band"));
    ASSERT_TRUE(band.isValid());
    EXPECT_TRUE(model.childFor(band, dir.filePath("Band/Album")).isValid());
}

// Columns from inside the files come from the reader the list is given, on the model's worker
// threads, only once one is chosen; choosing one keeps the selection.
TEST_F(ShellViewsTest, FileColumnsAreReadOffTheGuiThreadWhenChosenKeepingTheSelection) {
    m_dir.createFile("a.mp3");
    m_dir.createFile("b.mp3");
    m_dir.createDir("folder");
    std::atomic<int> reads = 0;
    std::atomic<bool> onGuiThread = false;
    const QThread* gui = QThread::currentThread();
    m_list->setFileColumnReader([&](const QString& path, FileColumnSet wanted) {
        ++reads;
        if (QThread::currentThread() == gui)
            onGuiThread = true;
        FileColumnValues values;
        const int track = int(FileColumn::Track);
        if (wanted & columnBit(track)) {
            values.text[size_t(track)] = QFileInfo(path).baseName().toUpper();
            values.number[size_t(track)] = 1;
        }
        return values;
    });
    list(m_dir.path());
    EXPECT_EQ(reads, 0);
    click("b.mp3");

    m_list->setFileColumns(columnBit(int(FileColumn::Track)));
    const int column = FolderModel::FirstFileColumn + int(FileColumn::Track);
    const auto trackOf = [&](const QString& name) {
        return item(name).siblingAtColumn(column).data().toString();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return trackOf("a.mp3") == "A"; }, Patience));
    EXPECT_EQ(trackOf("b.mp3"), "B");
    EXPECT_EQ(trackOf("folder"), "");
    EXPECT_EQ(reads, 2);
    EXPECT_FALSE(onGuiThread);
    auto* report = qobject_cast<QTreeView*>(view());
    ASSERT_NE(report, nullptr);
    EXPECT_FALSE(report->header()->isSectionHidden(column));
    EXPECT_TRUE(report->header()->isSectionHidden(column + 1));
    EXPECT_EQ(m_list->selectedPaths(), QStringList{m_dir.filePath("b.mp3")});
}
