// The About box through its real widgets: its layout, its pictures, and what closes it.
#include "app/About.h"
#include "app/Main.h"
#include "shell/ShellServices.h"
#include "support/FakeDialogs.h"
#include "tests/support/MainWindowDriver.h"
#include "ui/LinkLabel.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace quillon;

namespace {

class AboutTest : public ::testing::Test {
protected:
    QList<QUrl> opened;

    AboutTest() {
        shellServices().setUrlOpener([this](const QUrl& url) {
            opened.append(url);
            return true;
        });
    }
    ~AboutTest() override { shellServices().setUrlOpener({}); }
};

TEST_F(AboutTest, ControlsSitWhereTheyWereDesigned) {
    TfmAbout about;
    EXPECT_TRUE(about.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(about.isModal());
    EXPECT_EQ(about.contentsRect().size(), QSize(357, 259));
    EXPECT_EQ(about.ClientArea->geometry(), about.contentsRect());
    const struct {
        QWidget* control;
        QRect geometry;
        const char* text;
    } controls[] = {
        {about.imLogo, {19, 20, 32, 32}, ""},
        {about.laProductName, {104, 20, 228, 84}, "Quillon"},
        {about.laTM, {194, 20, 27, 19}, "TM"},
        {about.AppURL, {99, 118, 229, 16}, "https://quillon.example.org"},
        {about.laVersion, {162, 137, 108, 24}, "Version 1.0"},
        {about.laBasedOn, {122, 167, 59, 16}, "Based on"},
        {about.EngineURL, {184, 167, 112, 16}, "the Qt toolkit"},
        {about.laCopyright, {100, 201, 235, 16}, nullptr},
        {about.CorvelHomePage, {130, 218, 175, 16}, "https://www.example.org"},
        {about.AuthorEMail, {182, 235, 72, 16}, "quillon@example.org"},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.control->objectName().toStdString());
        EXPECT_EQ(c.control->parentWidget(), about.ClientArea);
        auto* label = qobject_cast<QLabel*>(c.control);
        ASSERT_NE(label, nullptr);
        if (c.text) {
            EXPECT_EQ(label->text(), QString::fromLatin1(c.text));
        }
        // A link whose caption is wider than its box grows about the same centre.
        if (qobject_cast<LinkLabel*>(c.control) && c.control->width() > c.geometry.width()) {
            EXPECT_LE(std::abs(c.control->geometry().center().x() - c.geometry.center().x()), 1);
            EXPECT_EQ(c.control->y(), c.geometry.y());
        } else {
            EXPECT_EQ(c.control->geometry(), c.geometry);
        }
    }
    EXPECT_EQ(about.laProductName->font().pixelSize(), 37);
    EXPECT_TRUE(about.laProductName->font().bold());
    EXPECT_EQ(about.laProductName->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    EXPECT_EQ(about.AppURL->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(about.AppURL->toolTip(), "https://quillon.example.org");
    EXPECT_TRUE(about.AuthorEMail->toolTip().isEmpty());
}

TEST_F(AboutTest, PicturesAreThePaperAndTheIcon) {
    const QImage paper = TfmAbout::backgroundTexture().toImage();
    ASSERT_EQ(paper.size(), QSize(193, 193));
    QSet<int> greys;
    for (int y = 0; y < paper.height(); ++y) {
        for (int x = 0; x < paper.width(); ++x) {
            const QRgb pixel = paper.pixel(x, y);
            ASSERT_TRUE(qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel));
            greys.insert(qRed(pixel));
        }
    }
    EXPECT_EQ(greys, QSet<int>({188, 196, 204, 212, 220, 228, 236, 244, 252}));
    EXPECT_EQ(TfmAbout::applicationIcon().pixmap(32, 32).size(), QSize(32, 32));
    TfmAbout about;
    EXPECT_FALSE(about.windowIcon().isNull());
    EXPECT_FALSE(about.imLogo->pixmap().isNull());
}

TEST_F(AboutTest, AnyKeyClosesTheBox) {
    const Qt::Key keys[] = {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Space,
                            Qt::Key_A,      Qt::Key_F1,     Qt::Key_Shift};
    for (const Qt::Key key : keys) {
        SCOPED_TRACE(QKeySequence(key).toString().toStdString());
        TfmAbout about;
        about.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
        // Whatever has the focus (a link, maybe), the box sees the key first.
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &about;
        QTest::keyClick(target, key);
        EXPECT_FALSE(about.isVisible());
        EXPECT_EQ(about.result(), QDialog::Accepted);
    }
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(AboutTest, ClicksCloseTheBoxExceptOnTheLinks) {
    const struct {
        const char* name;
        QWidget* (*control)(TfmAbout&);
        Qt::MouseButton button;
        bool closes;
        const char* opens;
    } cases[] = {
        {"left on the background", [](TfmAbout& a) -> QWidget* { return a.ClientArea; },
         Qt::LeftButton, true, nullptr},
        {"right on the background", [](TfmAbout& a) -> QWidget* { return a.ClientArea; },
         Qt::RightButton, true, nullptr},
        {"middle on the background", [](TfmAbout& a) -> QWidget* { return a.ClientArea; },
         Qt::MiddleButton, true, nullptr},
        {"on the icon", [](TfmAbout& a) -> QWidget* { return a.imLogo; }, Qt::LeftButton, true,
         nullptr},
        {"on the version", [](TfmAbout& a) -> QWidget* { return a.laVersion; }, Qt::RightButton,
         true, nullptr},
        {"on the product name", [](TfmAbout& a) -> QWidget* { return a.laProductName; },
         Qt::LeftButton, true, nullptr},
        {"on the home page link", [](TfmAbout& a) -> QWidget* { return a.AppURL; }, Qt::LeftButton,
         false, "https://quillon.example.org"},
        {"on the mail link", [](TfmAbout& a) -> QWidget* { return a.AuthorEMail; }, Qt::LeftButton,
         false, "mailto:quillon@example.org?subject=Quillon"},
        {"right on a link", [](TfmAbout& a) -> QWidget* { return a.EngineURL; }, Qt::RightButton,
         false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        opened.clear();
        TfmAbout about;
        about.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
        QWidget* control = c.control(about);
        QTest::mouseClick(control, c.button, {},
                          control == about.ClientArea ? QPoint(5, 5) : control->rect().center());
        EXPECT_EQ(about.isVisible(), !c.closes);
        if (c.closes) {
            EXPECT_EQ(about.result(), QDialog::Accepted);
        }
        EXPECT_EQ(opened,
                  c.opens ? QList<QUrl>{QUrl(QString::fromLatin1(c.opens))} : QList<QUrl>{});
    }
}

TEST_F(AboutTest, HelpAboutShowsTheBoxModally) {
    FakeDialogs dialogs;
    TfmMain window;
    MainWindowDriver ui{window};
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    bool seen = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* about = qobject_cast<TfmAbout*>(QApplication::activeModalWidget())) {
            seen = true;
            QTest::keyClick(about, Qt::Key_Escape);
        }
    });
    poll.start();
    // Fails the test rather than hang it should the box not appear.
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] {
        if (auto* modal = QApplication::activeModalWidget())
            modal->close();
    });
    giveUp.start(20000);
    ui.action("bbAbout")->trigger();
    poll.stop();
    giveUp.stop();
    EXPECT_TRUE(seen);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
