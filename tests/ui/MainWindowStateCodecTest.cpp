// The codec against the layout Qt writes: a window's saved state splits into the toolbar lines
// the window shows, and comes back byte for byte; lines it writes place the bars where the
// places read back say. A Qt whose saved state is laid out otherwise fails here first.
#include "ui/MainWindowStateCodec.h"

#include <QDockWidget>
#include <QMainWindow>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

using namespace quillon;

namespace {

using namespace MainWindowStateCodec;

struct ToolBarWindow {
    QMainWindow window;
    QToolBar* first = new QToolBar(QStringLiteral("First"));
    QToolBar* second = new QToolBar(QStringLiteral("Second"));
    QToolBar* third = new QToolBar(QStringLiteral("Third"));

    ToolBarWindow() {
        first->setObjectName(QStringLiteral("first"));
        second->setObjectName(QStringLiteral("second"));
        third->setObjectName(QStringLiteral("third"));
        for (QToolBar* bar : {first, second, third})
            bar->addAction(bar->windowTitle());
        window.addToolBar(Qt::TopToolBarArea, first);
        window.addToolBar(Qt::TopToolBarArea, second);
        window.addToolBar(Qt::BottomToolBarArea, third);
        window.resize(600, 400);
    }
};

QStringList namesOf(const ToolBarLine& line) {
    QStringList names;
    for (const ToolBarEntry& entry : line.entries)
        names.append(entry.name);
    return names;
}

TEST(MainWindowStateCodecTest, SavedStateSplitsIntoTheLinesShownAndComesBackWhole) {
    ToolBarWindow w;
    w.second->hide();
    const QByteArray saved = w.window.saveState(StateVersion);
    WindowState state;
    ASSERT_TRUE(decode(saved, &state));
    ASSERT_EQ(state.lines.size(), 2);
    EXPECT_EQ(Docks[state.lines[0].dock], Qt::TopToolBarArea);
    EXPECT_EQ(namesOf(state.lines[0]), QStringList({"first", "second"}));
    EXPECT_EQ(state.lines[0].entries[0].shown & 1, 1);
    EXPECT_EQ(state.lines[0].entries[1].shown & 1, 0);
    EXPECT_FALSE(state.lines[0].entries[0].floating());
    EXPECT_EQ(Docks[state.lines[1].dock], Qt::BottomToolBarArea);
    EXPECT_EQ(namesOf(state.lines[1]), QStringList({"third"}));
    EXPECT_EQ(encode(state), saved);
    EXPECT_FALSE(state.head.isEmpty());
    EXPECT_TRUE(saved.startsWith(state.head));
}

TEST(MainWindowStateCodecTest, LinesWrittenPlaceTheBars) {
    ToolBarWindow w;
    w.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.window));
    WindowState state;
    ASSERT_TRUE(decode(w.window.saveState(StateVersion), &state));
    // The third bar joins the first on the top line; the second floats.
    const QRect floatRect(300, 200, 160, 40);
    ToolBarEntry third;
    third.name = QStringLiteral("third");
    third.pos = 200;
    ToolBarEntry second;
    second.name = QStringLiteral("second");
    second.setFloatRect(floatRect);
    ToolBarEntry first;
    first.name = QStringLiteral("first");
    first.size = 200;
    state.lines = {{dockIndex(Qt::TopToolBarArea), {first, third}},
                   {dockIndex(Qt::LeftToolBarArea), {second}}};
    ASSERT_TRUE(w.window.restoreState(encode(state), StateVersion));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.second->isFloating(); }, 5000));
    EXPECT_EQ(w.window.toolBarArea(w.third), Qt::TopToolBarArea);
    EXPECT_EQ(w.third->y(), w.first->y());
    EXPECT_EQ(w.third->x(), 200);
    EXPECT_EQ(w.second->geometry(), floatRect);
}

TEST(MainWindowStateCodecTest, PlacesComeBackFromTheLinesMadeOfThem) {
    ToolBarWindow w;
    w.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.window));
    const ExtentOf extentOf = [&w](const QString& name, Qt::ToolBarArea area) {
        const auto* bar = w.window.findChild<QToolBar*>(name);
        if (!bar)
            return -1;
        const bool across = area == Qt::TopToolBarArea || area == Qt::BottomToolBarArea;
        return across ? bar->sizeHint().width() : bar->sizeHint().height();
    };
    // In dock order (left, right, top, bottom), then by line and edge.
    const QList<ToolBarPlace> places = {
        {QStringLiteral("second"), Qt::RightToolBarArea, 0, 0, true, false, {}},
        {QStringLiteral("first"), Qt::TopToolBarArea, 0, 0, true, false, {}},
        {QStringLiteral("third"), Qt::TopToolBarArea, 0, 250, true, false, {}},
    };
    WindowState state;
    ASSERT_TRUE(decode(w.window.saveState(StateVersion), &state));
    state.lines = linesOf(places, extentOf);
    ASSERT_TRUE(w.window.restoreState(encode(state), StateVersion));
    EXPECT_EQ(w.window.toolBarArea(w.second), Qt::RightToolBarArea);
    EXPECT_EQ(w.third->x(), 250);
    ASSERT_TRUE(decode(w.window.saveState(StateVersion), &state));
    const QList<ToolBarPlace> back = placesOf(state.lines, extentOf);
    ASSERT_EQ(back.size(), places.size());
    for (int i = 0; i < places.size(); ++i) {
        SCOPED_TRACE(places[i].name.toStdString());
        EXPECT_EQ(back[i].name, places[i].name);
        EXPECT_EQ(back[i].area, places[i].area);
        EXPECT_EQ(back[i].line, places[i].line);
        EXPECT_EQ(back[i].left, places[i].left);
        EXPECT_EQ(back[i].shown, places[i].shown);
        EXPECT_EQ(back[i].floating, places[i].floating);
    }
}

TEST(MainWindowStateCodecTest, FloatingRectanglesKeepTheirEdgesOffTheScreen) {
    for (const QRect& rect :
         {QRect(0, 0, 1, 1), QRect(-20, -5, 120, 40), QRect(3000, 2000, 800, 30)}) {
        SCOPED_TRACE(QStringLiteral("%1,%2 %3x%4")
                         .arg(rect.x())
                         .arg(rect.y())
                         .arg(rect.width())
                         .arg(rect.height())
                         .toStdString());
        ToolBarEntry entry;
        EXPECT_FALSE(entry.floating());
        entry.setFloatRect(rect);
        EXPECT_TRUE(entry.floating());
        EXPECT_EQ(entry.floatRect(), rect);
    }
}

TEST(MainWindowStateCodecTest, OnlyAWindowWithoutDockWidgetsIsUnderstood) {
    ToolBarWindow w;
    auto* dock = new QDockWidget(QStringLiteral("Dock"));
    dock->setObjectName(QStringLiteral("dock"));
    w.window.addDockWidget(Qt::LeftDockWidgetArea, dock);
    WindowState state;
    EXPECT_FALSE(decode(w.window.saveState(StateVersion), &state));
    EXPECT_FALSE(decode(QByteArray("not a state"), &state));
    EXPECT_FALSE(decode(QByteArray(), &state));
}

} // namespace
