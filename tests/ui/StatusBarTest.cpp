// The status bar pieces: pane widths and order, accessible names, the hidden button, and the
// segments the progress bar lights.
#include "ui/StatusBar.h"

#include <QLayout>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace quillon;

namespace {

QIcon testGlyph() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    return QIcon(pixmap);
}

class StatusBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_objects = m_bar.addPane(QStringLiteral("Objects:"), 92);
        m_selected = m_bar.addPane(QStringLiteral("Selected:"), 90);
        m_modified1 =
            m_bar.addPane(QStringLiteral("ID3v1 Modified"), 90, Qt::AlignHCenter, testGlyph());
        m_modified2 =
            m_bar.addPane(QStringLiteral("ID3v2 Modified"), 90, Qt::AlignHCenter, testGlyph());
        m_progress = m_bar.addProgressBar(185);
        m_cancel = m_bar.addFlatButton(QStringLiteral("Cancel"), 50);
        m_bar.resize(800, 19);
        m_bar.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_bar));
    }

    StatusBar m_bar;
    StatusPane* m_objects = nullptr;
    StatusPane* m_selected = nullptr;
    StatusPane* m_modified1 = nullptr;
    StatusPane* m_modified2 = nullptr;
    SegmentProgressBar* m_progress = nullptr;
    QPushButton* m_cancel = nullptr;
};

TEST_F(StatusBarTest, PanesKeepTheirWidthsLeftToRight) {
    const struct {
        QWidget* pane;
        int width;
    } cases[] = {
        {m_objects, 92}, {m_selected, 90}, {m_modified1, 90}, {m_modified2, 90}, {m_progress, 185}};
    int previousRight = -1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pane->metaObject()->className());
        EXPECT_GE(c.pane->width(), c.width);
        EXPECT_GT(c.pane->x(), previousRight);
        previousRight = c.pane->geometry().right();
    }
    EXPECT_FALSE(m_cancel->isVisible());
    EXPECT_TRUE(m_cancel->isFlat());
    EXPECT_EQ(m_cancel->text(), QStringLiteral("Cancel"));
    EXPECT_FALSE(m_progress->isTextVisible());
}

// A note after the fixed panes takes the room they leave; a long one is cut there rather than
// widening the bar.
TEST_F(StatusBarTest, AStretchingPaneTakesTheRoomLeftAndNoMore) {
    const int least = m_bar.minimumSizeHint().width();
    StatusPane* note = m_bar.addStretchingPane();
    note->setText(QString(300, QLatin1Char('x')));
    note->show();
    m_bar.layout()->activate();
    EXPECT_LT(m_bar.minimumSizeHint().width(), least + 20);
    EXPECT_GT(note->x(), m_progress->geometry().right());
    EXPECT_LE(note->geometry().right(), m_bar.width());
    EXPECT_GT(note->width(), 100);
}

// The whole text shows, however large the font: a pane widens where it must.
TEST_F(StatusBarTest, PanesShowTheirWholeText) {
    for (const int points : {8, 12, 16}) {
        SCOPED_TRACE(points);
        QFont font = m_bar.font();
        font.setPointSize(points);
        m_bar.setFont(font);
        for (StatusPane* pane : {m_objects, m_modified1}) {
            const QFontMetrics metrics(pane->font());
            const int glyph = pane == m_modified1 ? 19 : 0;
            const int room = pane->contentsRect().width() - 6 - glyph;
            EXPECT_EQ(metrics.elidedText(pane->text(), Qt::ElideRight, room), pane->text());
        }
    }
}

TEST_F(StatusBarTest, AccessibleNameFollowsThePaneText) {
    for (const QString& text : {QStringLiteral("Objects: 12"), QString()}) {
        m_objects->setText(text);
        EXPECT_EQ(m_objects->accessibleName(), text);
    }
    EXPECT_EQ(m_modified1->accessibleName(), QStringLiteral("ID3v1 Modified"));
}

TEST_F(StatusBarTest, CentredPaneCentresGlyphAndText) {
    const QImage picture = m_modified1->grab().toImage();
    const QRgb background = picture.pixel(picture.width() / 2, 1);
    // The glyph is the only red: its left edge and the text's right edge frame the content.
    int glyphLeft = -1;
    int contentRight = -1;
    const int y = picture.height() / 2;
    for (int x = 3; x < picture.width() - 3; ++x) {
        const QRgb pixel = picture.pixel(x, y);
        if (glyphLeft < 0 && pixel == qRgb(255, 0, 0))
            glyphLeft = x;
        for (int row = 2; row < picture.height() - 2; ++row) {
            if (picture.pixel(x, row) != background && picture.pixel(x, row) != qRgb(255, 0, 0))
                contentRight = qMax(contentRight, x);
        }
    }
    ASSERT_GE(glyphLeft, 0);
    ASSERT_GT(contentRight, glyphLeft);
    const int leftSpace = glyphLeft;
    const int rightSpace = picture.width() - 1 - contentRight;
    EXPECT_LE(std::abs(leftSpace - rightSpace), 4) << leftSpace << " vs " << rightSpace;
}

TEST_F(StatusBarTest, ProgressBarLightsSegmentsForTheValue) {
    m_progress->setRange(0, 100);
    const int count = m_progress->segmentCount();
    ASSERT_GT(count, 10);
    auto litPixels = [this] {
        const QImage picture = m_progress->grab().toImage();
        const QRgb lit = m_progress->palette().color(QPalette::Highlight).rgb();
        int pixels = 0;
        for (int x = 0; x < picture.width(); ++x)
            pixels += picture.pixel(x, picture.height() / 2) == lit;
        return pixels;
    };
    m_progress->setValue(100);
    const int full = litPixels();
    const struct {
        int value;
        int segments;
    } cases[] = {{0, 0}, {50, count / 2}, {100, count}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        m_progress->setValue(c.value);
        EXPECT_EQ(m_progress->litSegments(), c.segments);
        EXPECT_EQ(litPixels(), full * c.segments / count);
    }
}

} // namespace
