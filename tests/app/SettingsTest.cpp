// Start-up, closing and shutdown of the window with its settings file, through the real
// window and the bytes of the file.
#include "app/AppDef.h"
#include "app/Main.h"
#include "shell/FileName.h"
#include "support/FakeDialogs.h"
#include "tests/support/MainWindowDriver.h"
#include "ui/BarCombo.h"
#include "ui/BarManager.h"
#include "ui/FormStorage.h"
#include "ui/InspectorGrid.h"
#include "ui/ShellListView.h"
#include "ui/ShellTreeView.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QWindow>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;

namespace {

using DriveKind = AppDef::DriveKind;
using Window = std::unique_ptr<TfmMain>;

MainWindowDriver ui(const Window& window) {
    return MainWindowDriver(*window);
}

// The lines of one section, from its name to the next section or blank line.
QByteArray sectionOf(const QByteArray& file, const QByteArray& name) {
    const QByteArray head = "[" + name + "]\n";
    qsizetype start = 0;
    if (!file.startsWith(head)) {
        start = file.indexOf("\n" + head);
        if (start < 0)
            return {};
        ++start;
    }
    const qsizetype end = file.indexOf("\n\n", start);
    return file.mid(start, end < 0 ? -1 : end - start + 1);
}

class SettingsTest : public ::testing::Test {
protected:
    FakeDialogs dialogs;
    QTemporaryDir dir;
    QString ini;

    SettingsTest() {
        AppDef::initPaths(dir.filePath("quillon"));
        ini = AppDef::IniFileName;
        useDrive(DriveKind::Ordinary);
    }
    ~SettingsTest() override { AppDef::setDriveProbe({}); }

    void useDrive(DriveKind kind) {
        AppDef::setDriveProbe([kind](const QString&) { return kind; });
    }
    void writeIni(const QByteArray& bytes) {
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray iniBytes() const {
        QFile file(ini);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    Window start() {
        auto window = std::make_unique<TfmMain>();
        window->show();
        if (!window->isMinimized()) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        }
        return window;
    }
    // Closes the window as the close box does, then ends it as the program does.
    void quit(Window& window) {
        window->close();
        window.reset();
    }
    QByteArray screenSuffix() const {
        const QSize size = QGuiApplication::primaryScreen()->geometry().size();
        return "(" + QByteArray::number(size.width()) + "x" + QByteArray::number(size.height()) +
               ")";
    }
    QByteArray ppi() const {
        return QByteArray::number(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch()));
    }
};

TEST_F(SettingsTest, FirstRunStartsWithTheDefaultsAndWritesThem) {
    Window window = start();
    for (QAction* on :
         {ui(window).action("bbConfSaveTag"), ui(window).action("bbConfRemoveTag"),
          ui(window).action("bbConfUndoTag"), ui(window).action("bbConfClearTag"),
          ui(window).action("bbConfRenameFile"), ui(window).action("bbConfFillTagFromFile")})
        EXPECT_TRUE(on->isChecked()) << on->objectName().toStdString();
    EXPECT_FALSE(ui(window).action("bbConfQuit")->isChecked());
    EXPECT_EQ(window->size(), QSize(800, 600));
    EXPECT_EQ(ui(window).find<ShellTreeView>("ShellTree")->selectedFolder().parsingPath(),
              QDir::homePath());
    EXPECT_TRUE(ui(window).find<FormStorage>("FormStorage")->isActive());
    EXPECT_EQ(ui(window).find<FormStorage>("FormStorage")->objectName(), "FormStorage");
    const QRect geometry = window->geometry();
    quit(window);

    const QByteArray file = iniBytes();
    EXPECT_EQ(sectionOf(file, "General"), "[General]\n"
                                          "LastFolder=" +
                                              dir.path().toLocal8Bit() +
                                              "/\n"
                                              "LastDataFile=\n"
                                              "ShellFolder=" +
                                              QDir::homePath().toLocal8Bit() + "\n");
    EXPECT_EQ(sectionOf(file, "Confirmation"), "[Confirmation]\n"
                                               "ConfSaveTag=1\n"
                                               "ConfRemoveTag=1\n"
                                               "ConfUndoTag=1\n"
                                               "ConfClearTag=1\n"
                                               "ConfRenameFile=1\n"
                                               "ConfFillTagFromFile=1\n"
                                               "ConfQuit=0\n");
    const QByteArray norm = QByteArray::number(geometry.left()) + "," +
                            QByteArray::number(geometry.top()) + "," +
                            QByteArray::number(geometry.left() + geometry.width()) + "," +
                            QByteArray::number(geometry.top() + geometry.height());
    EXPECT_EQ(sectionOf(file, "main form"), "[main form]\n"
                                            "FormVersion=0\n"
                                            "Flags=0\n"
                                            "ShowCmd=1\n"
                                            "PixelsPerInch=" +
                                                ppi() +
                                                "\n"
                                                "MinMaxPos=-1,-1,-1,-1\n"
                                                "MinMaxPos" +
                                                screenSuffix() +
                                                "=-1,-1,-1,-1\n"
                                                "NormPos=" +
                                                norm +
                                                "\n"
                                                "NormPos" +
                                                screenSuffix() + "=" + norm +
                                                "\n"
                                                "bcFileMask_Text=*.mp?\n"
                                                "pnTree_Width=208\n"
                                                "pnInspector_Width=240\n"
                                                "ShellList_ViewStyle=vsReport\n"
                                                "ShellList_FileFilter=*.mp?\n"
                                                "ShellList_Filtered=True\n");
    EXPECT_TRUE(sectionOf(file, "fmMain.BarManager.Main").contains("\nBarCount=4\n"))
        << file.data();
    EXPECT_FALSE(sectionOf(file, "fmMain.BarManager.Bar3.ItemLink3").isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"quillon.ini"});
    EXPECT_EQ(dialogs.boxes.size(), 0u);
}

TEST_F(SettingsTest, ValuesAreReadByTheFileRulesAndWrittenBackPlain) {
    const QByteArray longValue(3000, 'd');
    writeIni("; written by hand\n"
             "[Extra]\n"
             "Name=Bj\xF6rk\n"
             "\n"
             "[confirmation]\n"
             "confsavetag=0x0\n"
             "ConfRemoveTag=abc\n"
             "ConfUndoTag=0X1f\n"
             "ConfClearTag=0\n"
             "ConfRenameFile=-3\n"
             "ConfFillTagFromFile=0x\n"
             "ConfQuit=7\n"
             "Unknown=keep me\n"
             "\n"
             "[General]\n"
             "LastFolder=/somewhere/\xE9t\xE9\n"
             "LastDataFile=" +
             longValue +
             "\n"
             "Custom=1\n");
    Window window = start();
    const struct {
        QAction* item;
        bool checked;
    } expected[] = {
        {ui(window).action("bbConfSaveTag"), false},
        {ui(window).action("bbConfRemoveTag"), true},
        {ui(window).action("bbConfUndoTag"), true},
        {ui(window).action("bbConfClearTag"), false},
        {ui(window).action("bbConfRenameFile"), true},
        {ui(window).action("bbConfFillTagFromFile"), true},
        {ui(window).action("bbConfQuit"), true},
    };
    for (const auto& e : expected)
        EXPECT_EQ(e.item->isChecked(), e.checked) << e.item->objectName().toStdString();
    quit(window); // the quit question is answered Yes

    const QByteArray file = iniBytes();
    EXPECT_TRUE(file.startsWith("; written by hand\n")) << file.data();
    EXPECT_EQ(sectionOf(file, "Extra"), "[Extra]\nName=Bj\xF6rk\n");
    EXPECT_EQ(sectionOf(file, "confirmation"), "[confirmation]\n"
                                               "confsavetag=0\n"
                                               "ConfRemoveTag=1\n"
                                               "ConfUndoTag=1\n"
                                               "ConfClearTag=0\n"
                                               "ConfRenameFile=1\n"
                                               "ConfFillTagFromFile=1\n"
                                               "ConfQuit=1\n"
                                               "Unknown=keep me\n");
    EXPECT_EQ(sectionOf(file, "General"), "[General]\n"
                                          "LastFolder=/somewhere/\xE9t\xE9\n"
                                          "LastDataFile=" +
                                              longValue.left(2047) +
                                              "\n"
                                              "Custom=1\n"
                                              "ShellFolder=" +
                                              QDir::homePath().toLocal8Bit() + "\n");
}

TEST_F(SettingsTest, QuitQuestionKeepsTheWindowAndTheFileOnNo) {
    writeIni("[Confirmation]\nConfQuit=1\n");
    Window window = start();
    window->SetID3v1Modified(true); // pending edits are neither asked about nor saved
    dialogs.answers = {false, false};
    ui(window).action("bbClose")->trigger();
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(dialogs.texts(DialogService::Kind::Confirm),
              QStringList({"Quit the program?", "Quit the program?"}));
    EXPECT_EQ(iniBytes(), "[Confirmation]\nConfQuit=1\n");

    // Yes closes, and the placement is written at once.
    ui(window).action("bbClose")->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(iniBytes().contains("[main form]\n"));
    window.reset();
    EXPECT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_TRUE(iniBytes().contains("[Confirmation]\nConfQuit=1\n"));

    // Switched off, closing asks nothing.
    window = start();
    ui(window).action("bbConfQuit")->setChecked(false);
    quit(window);
    EXPECT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_TRUE(iniBytes().contains("ConfQuit=0\n"));
}

TEST_F(SettingsTest, ARefusedWriteGivesOneBoxAndTheProgramEnds) {
    const struct {
        const char* name;
        DriveKind drive;
        bool closeFirst;
    } cases[] = {
        {"closed, placement written first", DriveKind::Ordinary, true},
        {"ended without closing", DriveKind::Ordinary, false},
        {"on a disc, General written first", DriveKind::Optical, true},
    };
    // A folder that is a file refuses the write, for root too.
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.write("x");
    blocker.close();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.boxes.clear();
        AppDef::initPaths(dir.filePath("blocker/quillon"));
        useDrive(c.drive);
        Window window = start();
        if (c.closeFirst) {
            window->close();
            EXPECT_FALSE(window->isVisible());
        }
        window.reset();
        EXPECT_EQ(dialogs.texts(DialogService::Kind::Error),
                  QStringList{"Unable to write to " + dir.filePath("blocker/quillon.ini") +
                              "\nNot a directory."});
        EXPECT_EQ(dialogs.boxes.size(), 1u);
    }
    if (geteuid() == 0)
        return; // root writes into read-only folders
    SCOPED_TRACE("read-only folder");
    dialogs.boxes.clear();
    AppDef::initPaths(dir.filePath("quillon"));
    writeIni("[General]\nLastFolder=x\n");
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    Window window = start();
    quit(window);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(dialogs.count(DialogService::Kind::Error), 1);
    EXPECT_EQ(iniBytes(), "[General]\nLastFolder=x\n");
}

TEST_F(SettingsTest, PlacementIsKeptOnlyWhereTheDriveAllows) {
    // A file made by a run on an ordinary drive: View bar hidden, window moved.
    {
        Window window = start();
        ui(window).find<QToolBar>("tbView")->toggleViewAction()->trigger();
        window->setGeometry(40, 30, 700, 500);
        quit(window);
    }
    const QByteArray made = iniBytes();
    const QByteArray storedForm = sectionOf(made, "main form");
    ASSERT_TRUE(storedForm.contains("NormPos=40,30,740,530\n")) << made.data();

    const struct {
        const char* name;
        DriveKind drive;
        bool kept;
    } cases[] = {
        {"ordinary", DriveKind::Ordinary, true},
        {"optical disc", DriveKind::Optical, false},
        {"cannot be determined", DriveKind::Unknown, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeIni(made);
        useDrive(c.drive);
        Window window = start();
        EXPECT_EQ(ui(window).find<FormStorage>("FormStorage")->isActive(), c.kept);
        EXPECT_EQ(window->geometry() == QRect(40, 30, 700, 500), c.kept);
        EXPECT_EQ(window->size() == QSize(800, 600), !c.kept);
        // The bar layout and the switches come and go on any drive.
        EXPECT_TRUE(ui(window).find<QToolBar>("tbView")->isHidden());
        ui(window).action("bbConfSaveTag")->setChecked(false);
        window->setGeometry(60, 50, 720, 510);
        quit(window);
        const QByteArray file = iniBytes();
        EXPECT_TRUE(sectionOf(file, "Confirmation").contains("\nConfSaveTag=0\n"));
        EXPECT_TRUE(sectionOf(file, "fmMain.BarManager.Bar3").contains("\nVisible=0\n"));
        EXPECT_EQ(sectionOf(file, "main form").contains("\nNormPos=60,50,780,560\n"), c.kept);
        if (!c.kept) {
            EXPECT_EQ(sectionOf(file, "main form"), storedForm);
        }
    }
}

TEST_F(SettingsTest, PlacementIsRememberedPerScreenSize) {
    const QByteArray here = screenSuffix();
    const QByteArray head = "[main form]\nFormVersion=0\nPixelsPerInch=" + ppi() + "\n";
    const QRect centred(QPoint(), QSize(800, 600));
    const struct {
        const char* name;
        QByteArray keys;
        QRect geometry; // null: the built-in 800 x 600
        Qt::WindowStates state;
    } cases[] = {
        {"this screen's key first",
         head + "NormPos=10,20,710,520\nNormPos" + here + "=30,40,750,560\n",
         QRect(30, 40, 720, 520), Qt::WindowNoState},
        {"another screen's key is passed over",
         head + "NormPos(1024x768)=30,40,750,560\nNormPos=10,20,710,520\n", QRect(10, 20, 700, 500),
         Qt::WindowNoState},
        {"other pixels per inch",
         "[main form]\nPixelsPerInch=1\nNormPos=10,20,710,520\n",
         {},
         Qt::WindowNoState},
        {"left not before right", head + "NormPos=710,20,10,520\n", {}, Qt::WindowNoState},
        {"newer form version",
         "[main form]\nFormVersion=-1\nNormPos=10,20,710,520\n",
         {},
         Qt::WindowNoState},
        {"maximised", head + "NormPos=10,20,710,520\nShowCmd=3\n", QRect(), Qt::WindowMaximized},
        {"minimised", head + "NormPos=10,20,710,520\nShowCmd=7\n", QRect(), Qt::WindowMinimized},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeIni(c.keys);
        Window window = start();
        EXPECT_EQ(window->windowState(), c.state);
        if (c.state == Qt::WindowNoState) {
            if (c.geometry.isNull()) {
                EXPECT_EQ(window->size(), centred.size());
            } else
                EXPECT_EQ(window->geometry(), c.geometry);
        }
        window->showNormal();
        window->setGeometry(70, 80, 700, 500);
        quit(window);
        const QByteArray form = sectionOf(iniBytes(), "main form");
        EXPECT_TRUE(form.contains("\nNormPos=70,80,770,580\n")) << form.data();
        EXPECT_TRUE(form.contains("\nNormPos" + here + "=70,80,770,580\n")) << form.data();
        EXPECT_TRUE(form.contains("\nShowCmd=1\n"));
        if (c.keys.contains("(1024x768)")) {
            EXPECT_TRUE(form.contains("\nNormPos(1024x768)=30,40,750,560\n"));
        }
    }
}

// A placement stored on a larger screen, or at a smaller scale, is fitted into the screen's
// available area, frame and all: moved in first, made smaller only where it is larger than the
// area. One that fits is taken as stored.
TEST_F(SettingsTest, AStoredPlacementIsFittedIntoTheScreen) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const int w = area.width(), h = area.height();
    QMargins m;
    {
        const Window window = start();
        m = window->windowHandle()->frameMargins();
    }
    // Smaller than the area, larger than the window can be made.
    const QSize size = area.size() - QSize(40, 40);
    const QSize outer = size.grownBy(m);
    const struct {
        const char* name;
        QRect stored; // the window without its frame, as stored
        QRect frame;  // where the window goes, frame and all
    } cases[] = {
        {"fits", QRect(area.topLeft() + QPoint(20, 20), size),
         QRect(area.topLeft() + QPoint(20, 20), size).marginsAdded(m)},
        {"fills the area exactly", area.marginsRemoved(m), area},
        {"twice as large", QRect(area.topLeft() + QPoint(w / 4, h / 4), 2 * area.size()), area},
        {"wider only", QRect(area.topLeft() + QPoint(10, 20), QSize(w + 300, size.height())),
         QRect(area.left(), area.top() + 20 - m.top(), w, outer.height())},
        {"past the right and bottom edges", QRect(area.topLeft() + QPoint(w / 2, h / 2), size),
         QRect(area.topLeft() + QPoint(w - outer.width(), h - outer.height()), outer)},
        {"before the left and top edges", QRect(area.topLeft() - QPoint(w, h), size),
         QRect(area.topLeft(), outer)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QRect r = c.stored;
        writeIni("[main form]\nFormVersion=0\nPixelsPerInch=" + ppi() +
                 "\nNormPos=" + QByteArray::number(r.left()) + "," + QByteArray::number(r.top()) +
                 "," + QByteArray::number(r.left() + r.width()) + "," +
                 QByteArray::number(r.top() + r.height()) + "\n");
        Window window = start();
        EXPECT_EQ(window->frameGeometry(), c.frame);
        window.reset();
    }
}

TEST_F(SettingsTest, WidgetPropertiesComeBackByName) {
    writeIni("[main form]\n"
             "bcFileMask_Text=  *.mp3  \n"
             "pnTree_Width=150\n"
             "pnInspector_Width=300\n"
             "ShellList_ViewStyle=VSICON\n"
             "ShellList_FileFilter= *.mp3\n"
             "ShellList_Filtered=false\n");
    Window window = start();
    EXPECT_EQ(ui(window).find<BarCombo>("bcFileMask")->editText(), "*.mp3");
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return ui(window).find<QWidget>("pnTree")->width() == 150; }, 5000))
        << ui(window).find<QWidget>("pnTree")->width();
    EXPECT_EQ(ui(window).find<QWidget>("pnInspector")->width(), 300);
    EXPECT_EQ(ui(window).find<ShellListView>("ShellList")->viewStyle(), 0);
    EXPECT_EQ(ui(window).find<ShellListView>("ShellList")->fileMask(), "*.mp3");
    EXPECT_FALSE(ui(window).find<ShellListView>("ShellList")->isMasked());
    quit(window);
    const QByteArray form = sectionOf(iniBytes(), "main form");
    for (const char* line : {"\nbcFileMask_Text=*.mp3\n", "\npnTree_Width=150\n",
                             "\npnInspector_Width=300\n", "\nShellList_ViewStyle=vsIcon\n",
                             "\nShellList_FileFilter=*.mp3\n", "\nShellList_Filtered=False\n"})
        EXPECT_TRUE(form.contains(line)) << line << form.data();

    // Names that match nothing leave the properties as built.
    writeIni(
        "[main form]\nShellList_ViewStyle=vsBogus\nShellList_Filtered=maybe\npnTree_Width=x\n");
    window = start();
    EXPECT_EQ(ui(window).find<ShellListView>("ShellList")->viewStyle(), 3);
    EXPECT_TRUE(ui(window).find<ShellListView>("ShellList")->isMasked());
    EXPECT_EQ(ui(window).find<QWidget>("pnTree")->width(), 208);
    quit(window);
}

TEST_F(SettingsTest, MovedAndHiddenBarsComeBackAfterARestart) {
    writeIni("[Other]\nA=1\n\n[fmMain.BarManager.Bar9]\nRow=0\nStale=1\n");
    int cut = -1;
    {
        Window window = start();
        window->addToolBar(Qt::BottomToolBarArea, ui(window).find<QToolBar>("tbEdit"));
        ui(window).find<QToolBar>("tbView")->toggleViewAction()->trigger();
        for (int i = 0; i < ui(window)
                                .find<BarManager>("BarManager")
                                ->linkCount(ui(window).find<QToolBar>("tbEdit"));
             ++i) {
            if (ui(window)
                    .find<BarManager>("BarManager")
                    ->link(ui(window).find<QToolBar>("tbEdit"), i)
                    .itemName == "bbCut")
                cut = i;
        }
        ASSERT_GE(cut, 0);
        ui(window)
            .find<BarManager>("BarManager")
            ->setLinkVisible(ui(window).find<QToolBar>("tbEdit"), cut, false);
        quit(window);
    }
    const QByteArray file = iniBytes();
    EXPECT_TRUE(file.startsWith("[Other]\nA=1\n"));
    EXPECT_FALSE(file.contains("fmMain.BarManager.Bar9")) << file.data();

    Window window = start();
    EXPECT_EQ(window->toolBarArea(ui(window).find<QToolBar>("tbEdit")), Qt::BottomToolBarArea);
    EXPECT_TRUE(ui(window).find<QToolBar>("tbView")->isHidden());
    EXPECT_TRUE(ui(window).find<QToolBar>("tbFile")->isVisible());
    EXPECT_FALSE(ui(window)
                     .find<BarManager>("BarManager")
                     ->link(ui(window).find<QToolBar>("tbEdit"), cut)
                     .visible);
    EXPECT_FALSE(ui(window)
                     .find<BarManager>("BarManager")
                     ->linkAction(ui(window).find<QToolBar>("tbEdit"), cut)
                     ->isVisible());
    quit(window);
}

TEST_F(SettingsTest, AFolderThatIsGoneIsReportedOnceAndStartUpGoesOn) {
    writeIni("[General]\nShellFolder=" + dir.filePath("gone").toLocal8Bit() +
             "\n[Confirmation]\nConfSaveTag=0\n");
    Window window = start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialogs.boxes.empty(); }, 5000));
    EXPECT_EQ(dialogs.texts(DialogService::Kind::Error),
              QStringList{"Invalid folder.\n\"" + dir.filePath("gone") +
                          "\": No such file or directory."});
    EXPECT_FALSE(ui(window).action("bbConfSaveTag")->isChecked());
    EXPECT_EQ(ui(window).row("iID3v1_Genre")->pickItems().size(), 148);
    EXPECT_EQ(ui(window).row("iID3v2_Genre")->pickItems().size(), 148);
    EXPECT_TRUE(ui(window).row("iID3v1_Title")->isReadOnly());
    EXPECT_TRUE(ui(window).find<ShellTreeView>("ShellTree")->selectedFolder().isNull());
    quit(window);
    EXPECT_EQ(dialogs.boxes.size(), 1u);
    // With no folder selected the stored one stays.
    EXPECT_TRUE(sectionOf(iniBytes(), "General")
                    .contains("\nShellFolder=" + dir.filePath("gone").toLocal8Bit() + "\n"));
}

TEST_F(SettingsTest, HugeCountsInTheFileLoadAtOnce) {
    int cut = -1;
    {
        Window window = start();
        window->addToolBar(Qt::BottomToolBarArea, ui(window).find<QToolBar>("tbEdit"));
        for (int i = 0; i < ui(window)
                                .find<BarManager>("BarManager")
                                ->linkCount(ui(window).find<QToolBar>("tbEdit"));
             ++i) {
            if (ui(window)
                    .find<BarManager>("BarManager")
                    ->link(ui(window).find<QToolBar>("tbEdit"), i)
                    .itemName == "bbCut")
                cut = i;
        }
        ASSERT_GE(cut, 0);
        ui(window)
            .find<BarManager>("BarManager")
            ->setLinkVisible(ui(window).find<QToolBar>("tbEdit"), cut, false);
        quit(window);
    }
    QByteArray file = iniBytes();
    const qsizetype counts = file.count("\nItemLinkCount=") + file.count("\nBarCount=");
    ASSERT_GT(counts, 2);
    const QRegularExpression count(QStringLiteral("^(ItemLinkCount|BarCount)=\\d+$"),
                                   QRegularExpression::MultilineOption);
    file = QString::fromLatin1(file).replace(count, QStringLiteral("\\1=2147483647")).toLatin1();
    ASSERT_EQ(file.count("=2147483647\n"), counts);
    writeIni(file);

    // Before the mend this start-up ran for hours: finishing at all is the check.
    Window window = start();
    EXPECT_EQ(window->toolBarArea(ui(window).find<QToolBar>("tbEdit")), Qt::BottomToolBarArea);
    EXPECT_FALSE(ui(window)
                     .find<BarManager>("BarManager")
                     ->link(ui(window).find<QToolBar>("tbEdit"), cut)
                     .visible);
    EXPECT_TRUE(ui(window).find<QToolBar>("tbFile")->isVisible());
    quit(window);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(SettingsTest, OnlyARegularFileIsReadAsTheSettingsFile) {
    const struct {
        const char* what;
        std::function<bool(const QString&)> make;
        mode_t type; // what stays in the file's place
        const char* reason;
    } cases[] = {
        {"FIFO", [](const QString& path) { return ::mkfifo(QFile::encodeName(path), 0600) == 0; },
         S_IFIFO, "Not a regular file."},
        {"endless device",
         [](const QString& path) { return QFile::link(QStringLiteral("/dev/zero"), path); },
         S_IFLNK, "Not a regular file."},
        {"folder", [](const QString& path) { return QDir().mkdir(path); }, S_IFDIR,
         "Is a directory."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dialogs.boxes.clear();
        QTemporaryDir place;
        AppDef::initPaths(place.filePath("quillon"));
        ASSERT_TRUE(c.make(AppDef::IniFileName));
        Window window = start();
        EXPECT_EQ(ui(window).find<ShellTreeView>("ShellTree")->selectedFolder().parsingPath(),
                  QDir::homePath());
        quit(window);
        ASSERT_EQ(dialogs.texts(DialogService::Kind::Error).size(), 1);
        EXPECT_EQ(dialogs.texts(DialogService::Kind::Error).front(),
                  "Unable to write to " + AppDef::IniFileName + "\n" + c.reason);
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(AppDef::IniFileName), &info), 0);
        EXPECT_EQ(info.st_mode & S_IFMT, c.type);
    }
}

} // namespace

// Installed for everyone, the program's folder is closed to its users: with no settings file
// there, the settings live in the user's configuration folder, without any error box.
TEST_F(SettingsTest, SettingsGoToTheConfigFolderWhenTheProgramsFolderIsClosed) {
    QTemporaryDir config;
    ASSERT_TRUE(QFile::setPermissions(config.path(), QFile::Permissions(0x7777)));
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const QString program = dir.filePath("opt/quillon");
    ASSERT_TRUE(QDir().mkpath(dir.filePath("opt")));
    ASSERT_TRUE(QFile::setPermissions(dir.filePath("opt"), QFile::ReadOwner | QFile::ExeOwner |
                                                               QFile::ReadOther | QFile::ExeOther));
    // Root writes anywhere: look as another user would.
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::seteuid(65534), 0);
    }
    AppDef::initPaths(program);
    if (root) {
        ASSERT_EQ(::seteuid(0), 0);
    }
    qunsetenv("XDG_CONFIG_HOME");
    ini = config.filePath("quillon/quillon.ini");
    EXPECT_EQ(AppDef::IniFileName, ini);
    writeIni("[Confirmation]\nConfQuit=0\n");
    {
        Window window = start();
        EXPECT_FALSE(ui(window).action("bbConfQuit")->isChecked());
        quit(window);
    }
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_TRUE(sectionOf(iniBytes(), "Confirmation").contains("ConfQuit=0\n"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("opt/quillon.ini")));
}

// A shell folder whose name is not UTF-8 (Latin-1) is opened and written back by its exact
// bytes; one that is gone is reported as the user sees its name, and stays in the file.
TEST_F(SettingsTest, ALatinOneShellFolderComesBackByItsBytes) {
    const QByteArray base = QFile::encodeName(dir.path());
    ASSERT_EQ(::mkdir((base + "/D\xefsc").constData(), 0755), 0);
    const struct {
        QByteArray folder;
        bool exists;
    } cases[] = {{base + "/D\xefsc", true}, {base + "/G\xf6ne", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder.toStdString());
        dialogs.boxes.clear();
        writeIni("[General]\nShellFolder=" + c.folder + "\n");
        Window window = start();
        if (c.exists) {
            EXPECT_EQ(
                fileNameBytes(
                    ui(window).find<ShellTreeView>("ShellTree")->selectedFolder().parsingPath()),
                c.folder);
        } else {
            EXPECT_TRUE(QTest::qWaitFor([&] { return !dialogs.boxes.empty(); }, 5000));
            EXPECT_EQ(dialogs.texts(DialogService::Kind::Error),
                      QStringList{"Invalid folder.\n\"" + dir.path() +
                                  "/G\\xF6ne\": No such file or directory."});
        }
        quit(window);
        EXPECT_TRUE(sectionOf(iniBytes(), "General").contains("\nShellFolder=" + c.folder + "\n"))
            << iniBytes().toStdString();
    }
    ::rmdir((base + "/D\xefsc").constData());
}

// The menu bar's layout as a version without the Tags menu stored it, with Help moved before
// View; stored since, with the Tags menu taken off the bar by the user.
TEST_F(SettingsTest, AMenuBarStoredBeforeTheTagsMenuShowsItAfterEdit) {
    const QByteArray main = "[fmMain.BarManager.Main]\nLargeIcons=0\nMenuAnimations=0\n"
                            "ShowHint=1\nShowShortCutInHint=1\nBarCount=4\n\n"
                            "[fmMain.BarManager.Bar0]\nCaption=Main Menu\nDockedDockingStyle=2\n"
                            "DockedLeft=0\nDockedTop=0\nOneOnRow=1\nRow=0\nFloatLeft=0\n"
                            "FloatTop=0\nFloatClientWidth=0\nFloatClientHeight=0\n"
                            "DockingStyle=2\nVisible=1\nItemLinkCount=4\n\n";
    QByteArray links;
    const char* const items[] = {"bbFile", "bbEdit", "bbHelp", "bbView"};
    for (int i = 0; i < 4; ++i)
        links += "[fmMain.BarManager.Bar0.ItemLink" + QByteArray::number(i) +
                 "]\nItemName=" + items[i] + "\nBeginGroup=0\nUserDefine=0\nVisible=1\n\n";
    const struct {
        const char* what;
        QByteArray extra;
        QStringList menus;
    } cases[] = {
        {"stored before", {}, {"&File", "&Edit", "&Tags", "&Help", "&View"}},
        {"taken off since",
         "[fmMain.BarManager.SubItem_bbTags]\nItemLinkCount=0\n\n",
         {"&File", "&Edit", "&Help", "&View"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeIni(main + links + c.extra);
        Window window = start();
        QStringList menus;
        for (const QAction* action : window->menuBar()->actions()) {
            if (action->isVisible())
                menus << action->text();
        }
        EXPECT_EQ(menus, c.menus);
        quit(window);
    }
}
