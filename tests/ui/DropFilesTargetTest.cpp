// Files dropped from other applications: synthetic drag events, since a real drag cannot run
// headless.
#include "ui/DropFilesTarget.h"
#include "ui/InspectorGrid.h"

#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

using namespace quillon;

namespace {

// Counts the drags that reach the widget's own handlers.
class CountingWidget : public QWidget {
public:
    int ownDragEnters = 0;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        ++ownDragEnters;
        event->ignore();
    }
};

struct DropCase {
    const char* what;
    QList<QUrl> urls;
    QString plainText;
    QStringList paths; // empty: the drop is refused
};

QList<DropCase> dropCases() {
    return {
        {"two files",
         {QUrl::fromLocalFile("/music/a.mp3"), QUrl::fromLocalFile("/music/b c.mp3")},
         {},
         {"/music/a.mp3", "/music/b c.mp3"}},
        {"a web address and a file",
         {QUrl("http://example.org/x.mp3"), QUrl::fromLocalFile("/music/c.mp3")},
         {},
         {"/music/c.mp3"}},
        {"a web address only", {QUrl("http://example.org/x.mp3")}, {}, {}},
        {"plain text", {}, "just text", {}},
    };
}

std::unique_ptr<QMimeData> mimeFor(const DropCase& c) {
    auto data = std::make_unique<QMimeData>();
    if (!c.urls.isEmpty())
        data->setUrls(c.urls);
    if (!c.plainText.isEmpty())
        data->setText(c.plainText);
    return data;
}

TEST(DropFilesTargetTest, AFileDropIsReportedOnceWithItsLocalPaths) {
    for (const DropCase& c : dropCases()) {
        SCOPED_TRACE(c.what);
        CountingWidget widget;
        DropFilesTarget target(&widget);
        QSignalSpy spy(&target, &DropFilesTarget::dropped);
        const auto data = mimeFor(c);
        const QPoint at(12, 7);

        QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&widget, &enter);
        EXPECT_EQ(enter.isAccepted(), !c.paths.isEmpty());
        // Anything else is left to the widget's own drag handling.
        EXPECT_EQ(widget.ownDragEnters, c.paths.isEmpty() ? 1 : 0);

        QDropEvent drop(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&widget, &drop);
        if (c.paths.isEmpty()) {
            EXPECT_EQ(spy.count(), 0);
            continue;
        }
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.at(0).at(0).toStringList(), c.paths);
        EXPECT_EQ(spy.at(0).at(1).toPoint(), at);
    }
}

TEST(DropFilesTargetTest, OnAScrollAreaTheViewportTakesTheDropAndThePointIsTheTargets) {
    InspectorGrid grid;
    grid.resize(200, 150);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    DropFilesTarget target(&grid);
    QSignalSpy spy(&target, &DropFilesTarget::dropped);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/music/a.mp3")});
    const QPoint at(5, 9);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid.viewport(), &drop);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toStringList(), QStringList{"/music/a.mp3"});
    EXPECT_EQ(spy.at(0).at(1).toPoint(), grid.viewport()->mapTo(&grid, at));
}

} // namespace
