// The band container through its caption bars: collapse and expand, scrolling, the check box
// in a caption bar.
#include "ui/BandContainer.h"
#include "ui/Contrast.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <gtest/gtest.h>

using namespace quillon;

namespace {

struct BandDecl {
    const char* caption;
    int height;
};
constexpr BandDecl Bands[] = {{"ID3v1 Tag", 131}, {"ID3v2 Tag", 199}, {"MPEG Info", 246}};

class BandContainerTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const BandDecl& decl : Bands)
            m_container.addBand(QString::fromLatin1(decl.caption), decl.height, new QWidget);
        m_container.resize(240, 300);
        m_container.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_container));
        settle();
    }

    static void settle() {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    BandContainer m_container;
};

TEST_F(BandContainerTest, BandsStartExpandedAtTheirHeightsAndStack) {
    const auto bands = m_container.bands();
    ASSERT_EQ(bands.size(), qsizetype(std::size(Bands)));
    int y = 0;
    for (int i = 0; i < bands.size(); ++i) {
        SCOPED_TRACE(Bands[i].caption);
        EXPECT_FALSE(bands[i]->isCollapsed());
        EXPECT_EQ(bands[i]->height(), Bands[i].height);
        EXPECT_EQ(bands[i]->y(), y);
        EXPECT_TRUE(bands[i]->content()->isVisible());
        EXPECT_EQ(bands[i]->accessibleName(), QString::fromLatin1(Bands[i].caption));
        EXPECT_EQ(bands[i]->captionBar()->text(), QString::fromLatin1(Bands[i].caption));
        y += Bands[i].height;
    }
    // Taller than the pane: it scrolls.
    EXPECT_GT(m_container.verticalScrollBar()->maximum(), 0);
}

TEST_F(BandContainerTest, AClickOnTheCaptionBarCollapsesAndExpands) {
    const auto bands = m_container.bands();
    for (int i = 0; i < bands.size(); ++i) {
        SCOPED_TRACE(Bands[i].caption);
        Band* band = bands[i];
        const QImage expandedGlyph = band->captionBar()->icon().pixmap(11).toImage();
        QTest::mouseClick(band->captionBar(), Qt::LeftButton);
        settle();
        EXPECT_TRUE(band->isCollapsed());
        EXPECT_EQ(band->height(), band->captionBarHeight());
        EXPECT_FALSE(band->content()->isVisible());
        EXPECT_NE(band->captionBar()->icon().pixmap(11).toImage(), expandedGlyph);
        if (i + 1 < bands.size()) {
            EXPECT_EQ(bands[i + 1]->y(), band->y() + band->captionBarHeight());
        }
        QTest::mouseClick(band->captionBar(), Qt::LeftButton);
        settle();
        EXPECT_FALSE(band->isCollapsed());
        EXPECT_EQ(band->height(), Bands[i].height);
        EXPECT_TRUE(band->content()->isVisible());
    }
    // All collapsed: everything fits, nothing to scroll.
    for (Band* band : bands)
        QTest::mouseClick(band->captionBar(), Qt::LeftButton);
    settle();
    EXPECT_EQ(m_container.verticalScrollBar()->maximum(), 0);
}

TEST_F(BandContainerTest, CaptionBarIsBoldPurple) {
    const QToolButton* bar = m_container.bands().first()->captionBar();
    EXPECT_TRUE(bar->font().bold());
    EXPECT_EQ(bar->palette().color(QPalette::ButtonText), QColor(0x80, 0x00, 0x80));
    EXPECT_TRUE(bar->autoRaise());
}

TEST_F(BandContainerTest, CaptionCheckBoxSitsAtTheRightAndIsReadOnly) {
    Band* band = m_container.bands().first();
    auto* box = new QCheckBox;
    band->setCaptionCheckBox(box);
    settle();
    EXPECT_EQ(box->parentWidget(), band->captionBar());
    EXPECT_TRUE(box->isVisible());
    EXPECT_LE(box->geometry().right(), band->captionBar()->width());
    EXPECT_GT(box->geometry().left(), band->captionBar()->width() / 2);

    box->setChecked(true);
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    EXPECT_TRUE(box->isChecked());
    // A click where the box sits goes to the caption bar.
    QTest::mouseClick(band->captionBar(), Qt::LeftButton, {}, box->geometry().center());
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(band->isCollapsed());
    EXPECT_EQ(box->focusPolicy(), Qt::NoFocus);
}

// Unchecked, the box still draws its outline: it reads as a check box, not as nothing.
TEST_F(BandContainerTest, CaptionCheckBoxShowsAnOutlineWhenUnchecked) {
    Band* band = m_container.bands().first();
    auto* box = new QCheckBox;
    band->setCaptionCheckBox(box);
    settle();
    for (const bool checked : {false, true}) {
        SCOPED_TRACE(checked);
        box->setChecked(checked);
        const QImage image = band->captionBar()->grab(box->geometry()).toImage();
        const QColor background = band->captionBar()->palette().color(QPalette::Button);
        int darker = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (QColor(image.pixel(x, y)).lightness() + 25 < background.lightness())
                    ++darker;
            }
        }
        EXPECT_GT(darker, 8); // the box's edges at least
    }
}

// On a dark palette the caption and its glyph stay readable: the strongest pixel of the
// rendered caption bar stands out from the bar by 4.5:1 at least.
TEST_F(BandContainerTest, CaptionStaysReadableOnADarkPalette) {
    EXPECT_DOUBLE_EQ(contrastRatio(Qt::black, Qt::white), 21.0);
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::Base, QColor(0x2A, 0x2A, 0x2A));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        dark.setColor(role, Qt::white);
    m_container.setPalette(dark);
    settle();
    QToolButton* bar = m_container.bands().first()->captionBar();
    const QImage image = bar->grab().toImage();
    const QColor background = dark.color(QPalette::Button);
    double best = 1.0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            best = std::max(best, contrastRatio(QColor(image.pixel(x, y)), background));
    }
    EXPECT_GE(best, 4.5);
    EXPECT_GE(contrastRatio(bar->palette().color(QPalette::ButtonText), background), 4.5);
}

} // namespace
