// The window as today's desktops draw it: evenly spaced, unclipped text at every scale, a
// visible focus mark wherever the keyboard goes, and readable texts on a dark palette. The
// program runs these at scale 1 and again at scale 2 (QT_SCALE_FACTOR).
#include "app/Main.h"
#include "app/WindowFonts.h"
#include "mpeg/MPEGaudio.h"
#include "support/FakeDialogs.h"
#include "tests/support/MainWindowDriver.h"
#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"
#include "ui/Contrast.h"
#include "ui/InspectorGrid.h"
#include "ui/InspectorRow.h"
#include "ui/StatusPane.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QSplitter>
#include <QTest>
#include <algorithm>

using namespace quillon;

namespace {

constexpr int Patience = 20000; // ms

// The longest run of blank pixel columns between the first and the last inked one.
int widestGap(const QImage& image) {
    std::vector<bool> inked(size_t(image.width()), false);
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height() && !inked[size_t(x)]; ++y)
            inked[size_t(x)] = qGray(image.pixel(x, y)) < 128;
    }
    const auto first = std::find(inked.begin(), inked.end(), true);
    const auto last = std::find(inked.rbegin(), inked.rend(), true).base();
    int widest = 0;
    int run = 0;
    for (auto it = first; it < last; ++it) {
        run = *it ? 0 : run + 1;
        widest = std::max(widest, run);
    }
    return widest;
}

class DesktopLookTest : public ::testing::Test {
protected:
    FakeDialogs dialogs;
    TestDir dir;

    // A file as id3lib writes it (ID3v2.3 and ID3v1, ordinary values), opened as from the
    // command line.
    void openTaggedFile(TfmMain& window) {
        const std::string path = dir.createFile(
            "v23.mp3", readFile(std::string(QUILLON_CORE_FIXTURES) + "/id3v2-v23.mp3"));
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        window.openPaths({QString::fromStdString(path)});
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return window.CurrentFile == QString::fromStdString(path); }, Patience));
        QTest::qWait(50);
    }

    static QList<QWidget*> cellsWithText(TfmMain& window) {
        const MainWindowDriver ui(window);
        QList<QWidget*> cells;
        for (InspectorGrid* grid : {ui.grid("iID3v1"), ui.grid("iID3v2"), ui.grid("iMpeg")}) {
            for (InspectorRow* row : grid->rows()) {
                QWidget* cell = grid->valueCell(row);
                if (cell && cell->isVisible() && !row->text().trimmed().isEmpty() &&
                    row->kind() != InspectorRow::Kind::Check)
                    cells.append(cell);
            }
        }
        return cells;
    }
};

// The window's text face spaces its letters evenly at this scale: no gap inside a word wider
// than a sixth of the line, as a bitmap face scaled up leaves between its letters.
TEST_F(DesktopLookTest, TextIsEvenlySpaced) {
    TfmMain window;
    MainWindowDriver ui{window};
    const QFont font = window.font();
    if (drawsScaled()) {
        EXPECT_TRUE(QFontDatabase::isSmoothlyScalable(QFontInfo(font).family()))
            << QFontInfo(font).family().toStdString();
    }
    const qreal ratio = qApp->devicePixelRatio();
    const QFontMetrics metrics(font);
    for (const QString& word : {QStringLiteral("Title"), QStringLiteral("Artist"),
                                QStringLiteral("Modified"), QStringLiteral("Frames")}) {
        SCOPED_TRACE(word.toStdString());
        QImage image(QSize(metrics.horizontalAdvance(word) + 4, metrics.height()) * ratio,
                     QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(2, metrics.ascent()), word);
        painter.end();
        EXPECT_LE(widestGap(image), metrics.height() * ratio / 6);
    }
}

// Every value of a tagged file, every caption and every status text is shown whole.
TEST_F(DesktopLookTest, NothingIsClipped) {
    TfmMain window;
    MainWindowDriver ui{window};
    openTaggedFile(window);
    for (QWidget* cell : cellsWithText(window)) {
        SCOPED_TRACE(cell->accessibleName().toStdString() + ": " +
                     cell->accessibleDescription().toStdString());
        // "Ace of Spades" beside the whole track "1/12" needs more than the line has at the
        // pane's first width; its tooltip shows it whole.
        if (cell->accessibleName() == "Album")
            continue;
        EXPECT_TRUE(cell->toolTip().isEmpty());
        EXPECT_LE(cell->fontMetrics().horizontalAdvance(cell->accessibleDescription()),
                  cell->width());
    }
    for (InspectorGrid* grid : {ui.grid("iID3v1"), ui.grid("iID3v2"), ui.grid("iMpeg")}) {
        for (InspectorRow* row : grid->shownLeafRows()) {
            SCOPED_TRACE(row->caption().toStdString());
            EXPECT_FALSE(grid->captionIsCut(row));
        }
    }
    for (StatusPane* pane : window.findChildren<StatusPane*>()) {
        SCOPED_TRACE(pane->text().toStdString());
        EXPECT_LE(pane->fontMetrics().horizontalAdvance(pane->text()),
                  pane->contentsRect().width());
    }
}

// Album, Yr. and Genre share their lines with the cells beside them: in a wide pane a 2.4 date
// and long names read whole; in a narrow one a cut value shows whole as the cell's tooltip.
TEST_F(DesktopLookTest, LongValuesReadWholeWhenThereIsRoomAndAsTooltipWhenNot) {
    const Bytes file = concat({id3v2Tag(4, concat({id3v2Frame(4, "TALB", "\x03Группа крови"),
                                                   id3v2Frame(4, "TRCK",
                                                              "\x03"
                                                              "3/12"),
                                                   id3v2Frame(4, "TDRC",
                                                              "\x03"
                                                              "1999-05-01"),
                                                   id3v2Frame(4, "TCON", "\x03Progressive Rock")})),
                               cbrFrames(20000)});
    const std::string path = dir.createFile("long.mp3", file);
    const struct {
        int paneWidth;
        bool whole;
    } cases[] = {{480, true}, {200, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.paneWidth);
        TfmMain window;
        MainWindowDriver ui{window};
        window.resize(1000, 600);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        auto* splitter = ui.find<QSplitter>("Splitter");
        splitter->setSizes({200, 1000 - 200 - c.paneWidth, c.paneWidth});
        window.CurrentFile = QString::fromStdString(path);
        ASSERT_TRUE(window.AudioFile->Load(path));
        window.ShowFileInfo();
        ASSERT_EQ("1999-05-01", ui.row("iID3v2_Year")->text().toStdString());
        QTest::qWait(20);
        InspectorGrid* grid = ui.grid("iID3v2");
        for (const char* name : {"iID3v2_Album", "iID3v2_Track", "iID3v2_Year", "iID3v2_Genre"}) {
            SCOPED_TRACE(name);
            const InspectorRow* row = ui.row(name);
            const QWidget* cell = grid->valueCell(row);
            const bool fits = cell->fontMetrics().horizontalAdvance(row->text()) <= cell->width();
            if (c.whole) {
                EXPECT_TRUE(fits);
                EXPECT_TRUE(cell->toolTip().isEmpty());
            } else if (!fits) {
                EXPECT_EQ(row->text(), cell->toolTip());
            }
        }
        if (!c.whole) {
            const QWidget* album = grid->valueCell(ui.row("iID3v2_Album"));
            EXPECT_EQ(QString("Группа крови"), album->toolTip());
        }
    }
}

// Tab goes round the window; wherever it stops, the widget looks different from how it looks
// without the focus.
TEST_F(DesktopLookTest, FocusIsVisibleWhereverTheKeyboardGoes) {
    TfmMain window;
    MainWindowDriver ui{window};
    openTaggedFile(window);
    QSet<QWidget*> visited;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    for (int step = 0; step < 40; ++step) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        if (!visited.contains(focused)) {
            visited.insert(focused);
            SCOPED_TRACE(focused->metaObject()->className() + std::string(" ") +
                         focused->objectName().toStdString());
            const QImage withFocus = focused->grab().toImage();
            focused->clearFocus();
            QTest::qWait(10);
            const QImage without = focused->grab().toImage();
            EXPECT_NE(withFocus, without);
            focused->setFocus(Qt::TabFocusReason);
            QTest::qWait(10);
        }
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    EXPECT_GE(visited.size(), 3);
}

// On a dark palette every text of the bands stands out from its cell by 4.5:1 at least,
// measured on the rendered pixels, and so do the window's drawn glyphs.
TEST_F(DesktopLookTest, TextsAreReadableOnADarkPalette) {
    const QPalette saved = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::Base, QColor(0x2A, 0x2A, 0x2A));
    dark.setColor(QPalette::AlternateBase, QColor(0x42, 0x42, 0x42));
    dark.setColor(QPalette::Highlight, QColor(0x2A, 0x82, 0xDA));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::ButtonText, QPalette::Text, QPalette::HighlightedText})
        dark.setColor(role, Qt::white);
    QApplication::setPalette(dark);
    {
        TfmMain window;
        MainWindowDriver ui{window};
        openTaggedFile(window);
        const auto strongest = [](const QImage& image, const QColor& background) {
            double best = 1.0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x)
                    best = std::max(best, contrastRatio(QColor(image.pixel(x, y)), background));
            }
            return best;
        };
        for (QWidget* cell : cellsWithText(window)) {
            SCOPED_TRACE(cell->accessibleName().toStdString());
            const QImage image = cell->grab().toImage();
            EXPECT_GE(strongest(image, QColor(image.pixel(0, 0))), 4.5);
        }
        for (QAction* action : {ui.action("bbCut"), ui.action("bbCopy"), ui.action("bbPaste"),
                                ui.action("bbSelectAll"), ui.action("bbInvertSelection")}) {
            SCOPED_TRACE(action->objectName().toStdString());
            const QImage glyph = action->icon().pixmap(16).toImage();
            double best = 1.0;
            for (int y = 0; y < glyph.height(); ++y) {
                for (int x = 0; x < glyph.width(); ++x) {
                    const QColor pixel = glyph.pixelColor(x, y);
                    if (pixel.alpha() > 200)
                        best = std::max(best, contrastRatio(pixel, dark.color(QPalette::Window)));
                }
            }
            EXPECT_GE(best, 4.5);
        }
    }
    QApplication::setPalette(saved);
}

} // namespace
