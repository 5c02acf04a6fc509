#include "app/Main.h"
#include "mpeg/MPEGaudio.h"
#include "support/FakeDialogs.h"
#include "tests/support/MainWindowDriver.h"
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
#include <algorithm>
#include <cstring>
#include <unistd.h>

using namespace quillon;

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
    MainWindowDriver ui{window};

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

// What the window's parts know each other by, and bar layouts and tests know them by: each
// pane's widgets are found under their names and do their part on the file shown.
TEST_F(MainWindowTest, PaneWidgetsFoundByTheirNamesDoTheirParts) {
    TestDir dir;
    const std::string path =
        cbrFile(dir, "tagged.mp3", 200000, id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Second")),
                id3v1Tag({.title = "First", .track = 7}));
    show(path);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (const char* confirmation : {"bbConfSaveTag", "bbConfRemoveTag", "bbConfUndoTag"})
        ui.action(confirmation)->setChecked(false);

    const struct {
        QString tag;
        QString version;
    } panes[] = {{"ID3v1", "v 1.1"}, {"ID3v2", "v 2.3"}};
    for (const auto& pane : panes) {
        SCOPED_TRACE(pane.tag.toStdString());
        QCheckBox* exists = ui.find<QCheckBox>("chExists" + pane.tag);
        StatusPane* modified = ui.find<StatusPane>("sp" + pane.tag + "Modified");
        InspectorGrid* grid = ui.grid("i" + pane.tag);
        InspectorRow* title = ui.row("i" + pane.tag + "_Title");
        EXPECT_TRUE(exists->isChecked());
        EXPECT_EQ(pane.version, ui.find<QLabel>("la" + pane.tag + "Ver")->text());
        const QString shown = title->text();

        ASSERT_TRUE(grid->beginEdit(title));
        QTest::keyClicks(grid->editor(), "Typed");
        EXPECT_EQ(pane.tag + " Modified", modified->text());
        QTest::mouseClick(ui.find<QToolButton>("bt" + pane.tag + "_Undo"), Qt::LeftButton);
        EXPECT_EQ(shown, title->text());
        EXPECT_EQ("", modified->text());

        ASSERT_TRUE(grid->beginEdit(title));
        QTest::keyClicks(grid->editor(), "Saved");
        QTest::mouseClick(ui.find<QToolButton>("bt" + pane.tag + "_Save"), Qt::LeftButton);
        EXPECT_EQ("", modified->text());
        const Bytes saved = readFile(path);
        const std::string text = title->text().toStdString();
        EXPECT_NE(std::search(saved.begin(), saved.end(), text.begin(), text.end()), saved.end())
            << text;

        QTest::mouseClick(ui.find<QToolButton>("bt" + pane.tag + "_Remove"), Qt::LeftButton);
        EXPECT_FALSE(exists->isChecked());
    }
    const Bytes stripped = readFile(path);
    EXPECT_NE(std::string(stripped.begin(), stripped.begin() + 3), "ID3");
    EXPECT_NE(std::string(stripped.end() - 128, stripped.end() - 125), "TAG");
}

TEST_F(MainWindowTest, WindowAndPaneSizes) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(QSize(800, 600), window.size());
    EXPECT_EQ("Quillon", window.windowTitle().toStdString());
    EXPECT_EQ(208, ui.find<QWidget>("pnTree")->width());
    EXPECT_EQ(240, ui.find<QWidget>("pnInspector")->width());
    for (Band* band : ui.find<BandContainer>("smMPEG")->bands())
        EXPECT_FALSE(band->isCollapsed()) << band->caption().toStdString();
    EXPECT_EQ(131, ui.find<Band>("smbID3v1")->expandedHeight());
    // Two lines more than it had with twelve fields: album artist with disc, and lyrics.
    EXPECT_EQ(235, ui.find<Band>("smbID3v2")->expandedHeight());
    EXPECT_EQ(246, ui.find<Band>("smbMPEG")->expandedHeight());
    EXPECT_EQ(19, ui.find<StatusBar>("StatusBar")->height());
    // The speed bars fit the pane, so the drag images at their right ends are in view.
    for (QWidget* image : {static_cast<QWidget*>(ui.find<QLabel>("imID3v1")),
                           static_cast<QWidget*>(ui.find<QLabel>("imID3v2"))}) {
        const QPoint right =
            image->mapTo(ui.find<QWidget>("pnInspector"), QPoint(image->width(), 0));
        EXPECT_LE(right.x(), ui.find<QWidget>("pnInspector")->width())
            << image->objectName().toStdString();
        EXPECT_FALSE(image->visibleRegion().isEmpty());
    }
    EXPECT_FALSE(ui.find<QPushButton>("btGlobCancel")->isVisible());
}

TEST_F(MainWindowTest, GridsDeclareTheirRowsInOrder) {
    EXPECT_EQ(
        QStringList({"iID3v1_Title", "iID3v1_Artist", "iID3v1_Album", "iID3v1_Year", "iID3v1_Track",
                     "iID3v1_Comment", "iID3v1_xYG", "iID3v1_xCT", "iID3v1_Genre"}),
        rowNames(ui.grid("iID3v1")));
    EXPECT_EQ(QStringList({"iID3v2_Title", "iID3v2_Artist", "iID3v2_Album", "iID3v2_Year",
                           "iID3v2_Track", "iID3v2_Comment", "iID3v2_xYG", "iID3v2_xCT",
                           "iID3v2_Genre", "iID3v2_Composer", "iID3v2_Encoder", "iID3v2_Copyright",
                           "iID3v2_Language", "iID3v2_URL", "iID3v2_xCC", "iID3v2_AlbumArtist",
                           "iID3v2_Disc", "iID3v2_xAD", "iID3v2_Lyrics"}),
              rowNames(ui.grid("iID3v2")));
    EXPECT_EQ(
        QStringList({"iMpeg_Size", "iMpeg_Version", "iMpeg_SampleRate", "iMpeg_BitRate",
                     "iMpeg_ChannelMode", "iMpeg_CRC", "iMpeg_Original", "iMpeg_Copyrighted",
                     "iMpeg_Duration", "iMpeg_HeaderOffset", "iMpeg_Modified", "iMpeg_Encoder",
                     "iMpeg_Emphasis", "iMpeg_Frames", "iMpeg_VBR", "iMpeg_irBool"}),
        rowNames(ui.grid("iMpeg")));

    // Shown lines: composites hold their members; the VBR row is not part of the layout.
    const QList<InspectorRow*> mpegLines = ui.grid("iMpeg")->shownRows();
    EXPECT_FALSE(mpegLines.contains(ui.row("iMpeg_VBR")));
    EXPECT_EQ(ui.row("iMpeg_irBool"), mpegLines.back());
    const auto& members = ui.row("iMpeg_irBool")->members();
    ASSERT_EQ(3, members.size());
    EXPECT_EQ(ui.row("iMpeg_Copyrighted"), members[0].row);
    EXPECT_EQ(ui.row("iMpeg_Original"), members[1].row);
    EXPECT_EQ(ui.row("iMpeg_CRC"), members[2].row);
    // Album, Yr. and Genre share their line by their texts; the ID3v1 track keeps its width.
    EXPECT_EQ(0, ui.row("iID3v1_xCT")->members()[0].width);
    EXPECT_EQ(18, ui.row("iID3v1_xCT")->members()[1].width);
    EXPECT_EQ(0, ui.row("iID3v2_xYG")->members()[0].width);
    EXPECT_EQ(0, ui.row("iID3v2_xYG")->members()[1].width);
    EXPECT_EQ(28, ui.row("iID3v2_xCC")->members()[1].width);
    EXPECT_EQ(InspectorRow::Kind::Hyperlink, ui.row("iID3v2_URL")->kind());
    EXPECT_EQ(InspectorRow::Kind::Pick, ui.row("iID3v1_Genre")->kind());
    EXPECT_EQ(148, ui.row("iID3v2_Genre")->pickItems().size());
    EXPECT_EQ(" ( c ) ", ui.row("iID3v2_Copyright")->caption().toStdString());
    EXPECT_EQ(1, ui.grid("iID3v1")->tag());
    EXPECT_EQ(2, ui.grid("iID3v2")->tag());
    EXPECT_EQ(94, ui.grid("iID3v1")->dividerPosition());
}

TEST_F(MainWindowTest, StartsEmptyAndReadOnly) {
    for (InspectorGrid* grid : {ui.grid("iID3v1"), ui.grid("iID3v2"), ui.grid("iMpeg")}) {
        for (InspectorRow* row : grid->rows()) {
            EXPECT_TRUE(row->isReadOnly()) << row->name().toStdString();
            const bool check = row->kind() == InspectorRow::Kind::Check;
            EXPECT_EQ(check ? "False" : "", row->text().toStdString());
        }
    }
    EXPECT_EQ("", ui.find<QLabel>("laID3v1Ver")->text().toStdString());
    EXPECT_EQ("", ui.find<StatusPane>("spID3v1Modified")->text().toStdString());
    EXPECT_FALSE(ui.find<QCheckBox>("chExistsID3v2")->isChecked());
}

TEST_F(MainWindowTest, ShowsAFileWithBothTags) {
    TestDir dir;
    show(cbrFile(dir, "tagged.mp3", 200000, id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Second")),
                 id3v1Tag({.title = "First", .track = 7})));
    EXPECT_TRUE(ui.find<QCheckBox>("chExistsID3v1")->isChecked());
    EXPECT_TRUE(ui.find<QCheckBox>("chExistsID3v2")->isChecked());
    EXPECT_EQ("First", ui.row("iID3v1_Title")->text().toStdString());
    EXPECT_EQ("7", ui.row("iID3v1_Track")->text().toStdString());
    EXPECT_EQ("", ui.row("iID3v1_Genre")->text().toStdString());
    EXPECT_EQ("v 1.1", ui.find<QLabel>("laID3v1Ver")->text().toStdString());
    EXPECT_EQ("Second", ui.row("iID3v2_Title")->text().toStdString());
    EXPECT_EQ("v 2.3", ui.find<QLabel>("laID3v2Ver")->text().toStdString());
    EXPECT_EQ("128 kbps  (CBR)", ui.row("iMpeg_BitRate")->text().toStdString());
    EXPECT_FALSE(ui.row("iMpeg_VBR")->isVisible());
    EXPECT_FALSE(ui.row("iID3v1_Title")->isReadOnly());
    EXPECT_TRUE(ui.row("iMpeg_Size")->isReadOnly());
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
    EXPECT_TRUE(ui.row("iMpeg_VBR")->isVisible());
    EXPECT_EQ(ui.row("iMpeg_VBR"), ui.grid("iMpeg")->shownRows().back());
    EXPECT_EQ("Xing : 78", ui.row("iMpeg_VBR")->text().toStdString());

    window.ClearFileInfo(true);
    EXPECT_TRUE(ui.row("iMpeg_VBR")->isVisible());
    EXPECT_EQ("", ui.row("iMpeg_VBR")->text().toStdString());
    EXPECT_EQ("False", ui.row("iMpeg_CRC")->text().toStdString());

    show(cbrFile(dir, "cbr.mp3", 100000));
    EXPECT_FALSE(ui.row("iMpeg_VBR")->isVisible());
}

TEST_F(MainWindowTest, FirstKeystrokeMarksThePaneModified) {
    TestDir dir;
    show(cbrFile(dir, "plain.mp3", 100000));
    EXPECT_FALSE(ui.find<QCheckBox>("chExistsID3v1")->isChecked());
    EXPECT_FALSE(ui.row("iID3v1_Title")->isReadOnly());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(ui.grid("iID3v1")->beginEdit(ui.row("iID3v1_Title")));
    QTest::keyClick(ui.grid("iID3v1")->editor(), Qt::Key_A);
    EXPECT_TRUE(window.ID3v1Modified());
    EXPECT_FALSE(window.ID3v2Modified());
    EXPECT_EQ("ID3v1 Modified", ui.find<StatusPane>("spID3v1Modified")->text().toStdString());
    EXPECT_EQ("", ui.find<StatusPane>("spID3v2Modified")->text().toStdString());

    window.ClearInspector(ui.grid("iID3v1"));
    EXPECT_FALSE(window.ID3v1Modified());
    EXPECT_EQ("", ui.find<StatusPane>("spID3v1Modified")->text().toStdString());
}

TEST_F(MainWindowTest, CommandsCarryTheirCaptionsAndHints) {
    struct Case {
        QAction* action;
        const char* caption;
        const char* hint;
    };
    const Case cases[] = {
        {ui.action("bbUpFolder"), "Up Folder", "Up Folder"},
        {ui.action("bbDelete"), "&Delete", "Delete"},
        {ui.action("bbCut"), "C&ut", "Cut"},
        {ui.action("bbSelectAll"), "Select &All", "Select All"},
        {ui.action("bbConfQuit"), "Quit", "Quit"},
        {ui.action("bbIcon"), "Icon View", "Icon View"},
        {ui.action("bbAbout"), "&About...", "About"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(c.caption, c.action->text().toStdString());
        EXPECT_EQ(0, c.action->toolTip().indexOf(c.hint));
    }
    const QAction* confirmations[] = {
        ui.action("bbConfSaveTag"),    ui.action("bbConfRemoveTag"),
        ui.action("bbConfUndoTag"),    ui.action("bbConfClearTag"),
        ui.action("bbConfRenameFile"), ui.action("bbConfFillTagFromFile")};
    for (const QAction* a : confirmations)
        EXPECT_TRUE(a->isChecked()) << a->objectName().toStdString();
    EXPECT_FALSE(ui.action("bbConfQuit")->isChecked());
    EXPECT_FALSE(ui.action("bbReport")->isVisible());
    EXPECT_FALSE(ui.action("bbOpenDataFile")->isVisible());
}

} // namespace
