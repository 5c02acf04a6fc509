#include "app/Main.h"
#include "mpeg/MPEGaudio.h"
#include "support/FakeDialogs.h"
#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"
#include "ui/Band.h"
#include "ui/BandContainer.h"
#include "ui/InspectorGrid.h"
#include "ui/StatusBar.h"
#include "ui/StatusPane.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <cstring>
#include <unistd.h>

namespace {

std::string cbrFile(const TestDir& dir, const char* name, std::int64_t size, Bytes prefix = {},
                    Bytes suffix = {}) {
    Bytes all = concat({prefix, cbrFrames()});
    all.resize(static_cast<std::size_t>(size) - suffix.size(), 0);
    append(all, suffix);
    return dir.createFile(name, all);
}

class MainWindowTest : public ::testing::Test {
protected:
    FakeDialogs dialogs;
    TfmMain window;

    void show(const std::string& path) {
        window.CurrentFile = QString::fromStdString(path);
        ASSERT_TRUE(window.AudioFile->Load(path));
        ASSERT_TRUE(window.AudioFile->Valid());
        window.ShowFileInfo();
    }
    QStringList rowNames(InspectorGrid* grid) {
        QStringList names;
        for (InspectorRow* row : grid->rows())
            names.append(row->name());
        return names;
    }
};

TEST_F(MainWindowTest, MembersExistUnderTheirNames) {
    const char* names[] = {"pnTree",
                           "ShellDriveSpeedBar",
                           "ShellCombo",
                           "ShellTree",
                           "LeftSplitter",
                           "pnList",
                           "ShellList",
                           "RightSplitter",
                           "pnInspector",
                           "smMPEG",
                           "smbID3v1",
                           "smbID3v2",
                           "smbMPEG",
                           "SpeedBar_ID3v1",
                           "SpeedBar_ID3v2",
                           "btID3v1_Save",
                           "btID3v1_Remove",
                           "btID3v1_Undo",
                           "btClearID3v1",
                           "btID3v2_Save",
                           "btID3v2_Remove",
                           "btID3v2_Undo",
                           "btClearID3v2",
                           "laID3v1Ver",
                           "laID3v2Ver",
                           "imID3v1",
                           "imID3v2",
                           "chExistsID3v1",
                           "chExistsID3v2",
                           "iID3v1",
                           "iID3v2",
                           "iMpeg",
                           "StatusBar",
                           "spObjects",
                           "spSelected",
                           "spID3v1Modified",
                           "spID3v2Modified",
                           "ProgressBar",
                           "btGlobCancel",
                           "BarManager",
                           "bbFile",
                           "bbEdit",
                           "bbView",
                           "bbHelp",
                           "bbConfirmations",
                           "bbUpFolder",
                           "bbNewFolder",
                           "bbDelete",
                           "bbProperties",
                           "bbReport",
                           "bbClose",
                           "bbOpenDataFile",
                           "bbCut",
                           "bbCopy",
                           "bbPaste",
                           "bbSelectAll",
                           "bbInvertSelection",
                           "bbConfSaveTag",
                           "bbConfRemoveTag",
                           "bbConfUndoTag",
                           "bbConfClearTag",
                           "bbConfRenameFile",
                           "bbConfFillTagFromFile",
                           "bbConfQuit",
                           "bbIcon",
                           "bbSmallIconView",
                           "bbListView",
                           "bbReportView",
                           "bcFileMask",
                           "bbRefresh",
                           "bbAbout",
                           "tbFile",
                           "tbEdit",
                           "tbView",
                           "dfID3v1",
                           "dfID3v2"};
    for (const char* name : names)
        EXPECT_NE(nullptr, window.findChild<QObject*>(name)) << name;
}

TEST_F(MainWindowTest, WindowAndPaneSizes) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(QSize(800, 600), window.size());
    EXPECT_EQ("Quillon", window.windowTitle().toStdString());
    EXPECT_EQ(208, window.pnTree->width());
    EXPECT_EQ(240, window.pnInspector->width());
    for (Band* band : window.smMPEG->bands())
        EXPECT_FALSE(band->isCollapsed()) << band->caption().toStdString();
    EXPECT_EQ(131, window.smbID3v1->expandedHeight());
    EXPECT_EQ(199, window.smbID3v2->expandedHeight());
    EXPECT_EQ(246, window.smbMPEG->expandedHeight());
    EXPECT_EQ(19, window.StatusBar->height());
    // The speed bars fit the pane, so the drag images at their right ends are in view.
    for (QWidget* image :
         {static_cast<QWidget*>(window.imID3v1), static_cast<QWidget*>(window.imID3v2)}) {
        const QPoint right = image->mapTo(window.pnInspector, QPoint(image->width(), 0));
        EXPECT_LE(right.x(), window.pnInspector->width()) << image->objectName().toStdString();
        EXPECT_FALSE(image->visibleRegion().isEmpty());
    }
    EXPECT_FALSE(window.btGlobCancel->isVisible());
}

TEST_F(MainWindowTest, GridsDeclareTheirRowsInOrder) {
    EXPECT_EQ(
        QStringList({"iID3v1_Title", "iID3v1_Artist", "iID3v1_Album", "iID3v1_Year", "iID3v1_Track",
                     "iID3v1_Comment", "iID3v1_xYG", "iID3v1_xCT", "iID3v1_Genre"}),
        rowNames(window.iID3v1));
    EXPECT_EQ(QStringList({"iID3v2_Title", "iID3v2_Artist", "iID3v2_Album", "iID3v2_Year",
                           "iID3v2_Track", "iID3v2_Comment", "iID3v2_xYG", "iID3v2_xCT",
                           "iID3v2_Genre", "iID3v2_Composer", "iID3v2_Encoder", "iID3v2_Copyright",
                           "iID3v2_Language", "iID3v2_URL", "iID3v2_xCC"}),
              rowNames(window.iID3v2));
    EXPECT_EQ(
        QStringList({"iMpeg_Size", "iMpeg_Version", "iMpeg_SampleRate", "iMpeg_BitRate",
                     "iMpeg_ChannelMode", "iMpeg_CRC", "iMpeg_Original", "iMpeg_Copyrighted",
                     "iMpeg_Duration", "iMpeg_HeaderOffset", "iMpeg_Modified", "iMpeg_Encoder",
                     "iMpeg_Emphasis", "iMpeg_Frames", "iMpeg_VBR", "iMpeg_irBool"}),
        rowNames(window.iMpeg));

    // Shown lines: composites hold their members; the VBR row is not part of the layout.
    const QList<InspectorRow*> mpegLines = window.iMpeg->shownRows();
    EXPECT_FALSE(mpegLines.contains(window.iMpeg_VBR));
    EXPECT_EQ(window.iMpeg_irBool, mpegLines.back());
    const auto& members = window.iMpeg_irBool->members();
    ASSERT_EQ(3, members.size());
    EXPECT_EQ(window.iMpeg_Copyrighted, members[0].row);
    EXPECT_EQ(window.iMpeg_Original, members[1].row);
    EXPECT_EQ(window.iMpeg_CRC, members[2].row);
    EXPECT_EQ(72, window.iID3v1_xCT->members()[0].width);
    EXPECT_EQ(18, window.iID3v1_xCT->members()[1].width);
    EXPECT_EQ(30, window.iID3v2_xYG->members()[0].width);
    EXPECT_EQ(28, window.iID3v2_xCC->members()[1].width);
    EXPECT_EQ(InspectorRow::Kind::Hyperlink, window.iID3v2_URL->kind());
    EXPECT_EQ(InspectorRow::Kind::Pick, window.iID3v1_Genre->kind());
    EXPECT_EQ(148, window.iID3v2_Genre->pickItems().size());
    EXPECT_EQ(" ( c ) ", window.iID3v2_Copyright->caption().toStdString());
    EXPECT_EQ(1, window.iID3v1->tag());
    EXPECT_EQ(2, window.iID3v2->tag());
    EXPECT_EQ(94, window.iID3v1->dividerPosition());
}

TEST_F(MainWindowTest, StartsEmptyAndReadOnly) {
    for (InspectorGrid* grid : {window.iID3v1, window.iID3v2, window.iMpeg}) {
        for (InspectorRow* row : grid->rows()) {
            EXPECT_TRUE(row->isReadOnly()) << row->name().toStdString();
            const bool check = row->kind() == InspectorRow::Kind::Check;
            EXPECT_EQ(check ? "False" : "", row->text().toStdString());
        }
    }
    EXPECT_EQ("", window.laID3v1Ver->text().toStdString());
    EXPECT_EQ("", window.spID3v1Modified->text().toStdString());
    EXPECT_FALSE(window.chExistsID3v2->isChecked());
}

TEST_F(MainWindowTest, ShowsAFileWithBothTags) {
    TestDir dir;
    show(cbrFile(dir, "tagged.mp3", 200000, id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Second")),
                 id3v1Tag({.title = "First", .track = 7})));
    EXPECT_TRUE(window.chExistsID3v1->isChecked());
    EXPECT_TRUE(window.chExistsID3v2->isChecked());
    EXPECT_EQ("First", window.iID3v1_Title->text().toStdString());
    EXPECT_EQ("7", window.iID3v1_Track->text().toStdString());
    EXPECT_EQ("", window.iID3v1_Genre->text().toStdString());
    EXPECT_EQ("v 1.1", window.laID3v1Ver->text().toStdString());
    EXPECT_EQ("Second", window.iID3v2_Title->text().toStdString());
    EXPECT_EQ("v 2.3", window.laID3v2Ver->text().toStdString());
    EXPECT_EQ("128 kbps  (CBR)", window.iMpeg_BitRate->text().toStdString());
    EXPECT_FALSE(window.iMpeg_VBR->isVisible());
    EXPECT_FALSE(window.iID3v1_Title->isReadOnly());
    EXPECT_TRUE(window.iMpeg_Size->isReadOnly());
}

TEST_F(MainWindowTest, VbrRowComesAndStaysEmptyAfterAClear) {
    TestDir dir;
    Bytes xing(200, 0);
    std::memcpy(xing.data() + 36, "Xing", 4);
    const std::uint8_t counts[] = {0, 0, 0x03, 0xE8, 0, 0x06, 0x5C, 0xE8}; // 1000, 417000
    std::memcpy(xing.data() + 44, counts, sizeof counts);
    xing[36 + 119] = 78;
    std::string path = cbrFile(dir, "vbr.mp3", 420000);
    Bytes content = readFile(path);
    std::copy(xing.begin() + 4, xing.end(), content.begin() + 4);
    path = dir.createFile("vbr.mp3", content);
    show(path);
    EXPECT_TRUE(window.iMpeg_VBR->isVisible());
    EXPECT_EQ(window.iMpeg_VBR, window.iMpeg->shownRows().back());
    EXPECT_EQ("Xing : 78", window.iMpeg_VBR->text().toStdString());

    window.ClearFileInfo(true);
    EXPECT_TRUE(window.iMpeg_VBR->isVisible());
    EXPECT_EQ("", window.iMpeg_VBR->text().toStdString());
    EXPECT_EQ("False", window.iMpeg_CRC->text().toStdString());

    show(cbrFile(dir, "cbr.mp3", 100000));
    EXPECT_FALSE(window.iMpeg_VBR->isVisible());
}

TEST_F(MainWindowTest, FirstKeystrokeMarksThePaneModified) {
    TestDir dir;
    show(cbrFile(dir, "plain.mp3", 100000));
    EXPECT_FALSE(window.chExistsID3v1->isChecked());
    EXPECT_FALSE(window.iID3v1_Title->isReadOnly());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(window.iID3v1->beginEdit(window.iID3v1_Title));
    QTest::keyClick(window.iID3v1->editor(), Qt::Key_A);
    EXPECT_TRUE(window.ID3v1Modified);
    EXPECT_FALSE(window.ID3v2Modified);
    EXPECT_EQ("ID3v1 Modified", window.spID3v1Modified->text().toStdString());
    EXPECT_EQ("", window.spID3v2Modified->text().toStdString());

    window.ClearInspector(window.iID3v1);
    EXPECT_FALSE(window.ID3v1Modified);
    EXPECT_EQ("", window.spID3v1Modified->text().toStdString());
}

TEST_F(MainWindowTest, CommandsCarryTheirCaptionsAndHints) {
    struct Case {
        QAction* action;
        const char* caption;
        const char* hint;
    };
    const Case cases[] = {
        {window.bbUpFolder, "Up Folder", "Up Folder"},
        {window.bbDelete, "&Delete", "Delete"},
        {window.bbCut, "C&ut", "Cut"},
        {window.bbSelectAll, "Select &All", "Select All"},
        {window.bbConfQuit, "Quit", "Quit"},
        {window.bbIcon, "Icon View", "Icon View"},
        {window.bbAbout, "&About...", "About"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(c.caption, c.action->text().toStdString());
        EXPECT_EQ(0, c.action->toolTip().indexOf(c.hint));
    }
    const QAction* confirmations[] = {window.bbConfSaveTag,    window.bbConfRemoveTag,
                                      window.bbConfUndoTag,    window.bbConfClearTag,
                                      window.bbConfRenameFile, window.bbConfFillTagFromFile};
    for (const QAction* a : confirmations)
        EXPECT_TRUE(a->isChecked()) << a->objectName().toStdString();
    EXPECT_FALSE(window.bbConfQuit->isChecked());
    EXPECT_FALSE(window.bbReport->isVisible());
    EXPECT_FALSE(window.bbOpenDataFile->isVisible());
}

} // namespace
