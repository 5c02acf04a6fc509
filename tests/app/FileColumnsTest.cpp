// The file list's columns from inside the files (tags and stream), chosen on the report's
// header menu, through the real window and files built in the test.
#include "app/Main.h"
#include "support/FakeDialogs.h"
#include "tests/support/MainWindowDriver.h"
#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"
#include "ui/FolderModel.h"
#include "ui/ShellListView.h"
#include "ui/ShellTreeView.h"

#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QTest>
#include <QTreeView>
#include <memory>

using namespace quillon;

static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

constexpr int Patience = 20000; // ms

// 128 kbit/s frames: 16,000 bytes of audio a second.
Bytes audioOfSeconds(int seconds) {
    return cbrFrames(std::size_t(seconds) * 16000);
}

Bytes v2Tagged(std::initializer_list<std::pair<const char*, const char*>> frames, int seconds) {
    Bytes body;
    for (const auto& [id, text] : frames)
        append(body, id3v2TextFrame(3, id, text));
    return concat({id3v2Tag(3, body), audioOfSeconds(seconds)});
}

class FileColumnsTest : public ::testing::Test {
protected:
    FakeDialogs dialogs;
    TestDir dir;
    std::unique_ptr<TfmMain> window;

    void SetUp() override {
        dir.createFile("ten.mp3", v2Tagged({{"TPE1", "Zed"},
                                            {"TIT2", "Tenth"},
                                            {"TALB", "Same"},
                                            {"TRCK", "10/12"},
                                            {"TYER", "1999"},
                                            {"TCON", "Jazz"}},
                                           75));
        // ID3v1 alone; its genre 17 is Rock.
        dir.createFile("nine.mp3", concat({audioOfSeconds(5), id3v1Tag({.title = "Ninth",
                                                                        .artist = "Abe",
                                                                        .album = "Same",
                                                                        .year = "2001",
                                                                        .track = 9,
                                                                        .genre = 17})}));
        // The ID3v2 tag's fields first, the ID3v1 tag's where it has none.
        dir.createFile("two.mp3", concat({v2Tagged({{"TIT2", "Second"}, {"TRCK", "2"}}, 130),
                                          id3v1Tag({.title = "Old", .artist = "Mae"})}));
        start();
    }

    void start() {
        window = std::make_unique<TfmMain>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        const QString folder = QString::fromStdString(dir.path());
        list()->tree()->openFolder(folder);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return list()->folderPath() == folder && list()->isFilled(); }, Patience));
    }
    void restart() {
        window->close();
        window.reset();
        start();
    }

    MainWindowDriver ui() const { return MainWindowDriver(*window); }
    ShellListView* list() const { return ui().find<ShellListView>("ShellList"); }
    QTreeView* report() const { return qobject_cast<QTreeView*>(list()->itemView()); }
    QHeaderView* header() const { return report()->header(); }

    int section(const QString& caption) const {
        for (int s = 0; s < header()->count(); ++s) {
            if (header()->model()->headerData(s, Qt::Horizontal).toString() == caption)
                return s;
        }
        ADD_FAILURE() << "no column " << caption.toStdString();
        return -1;
    }
    // A right-click on the header, then a click on the column's item of the menu it opens.
    void toggleColumn(const QString& caption) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 5),
                                header()->viewport()->mapToGlobal(QPoint(10, 5)));
        QApplication::sendEvent(header()->viewport(), &event);
        auto* menu = ui().find<QMenu>("FileColumnsMenu");
        ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, Patience));
        QAction* chosen = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->text() == caption)
                chosen = action;
        }
        ASSERT_NE(chosen, nullptr) << caption.toStdString();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !menu->isVisible(); }, Patience));
    }
    // Each row's name and the texts of the columns named, in list order.
    QList<QStringList> rows(const QStringList& captions) const {
        QList<QStringList> result;
        const QAbstractItemModel* model = report()->model();
        for (int row = 0; row < model->rowCount(report()->rootIndex()); ++row) {
            QStringList texts{model->index(row, 0).data().toString()};
            for (const QString& caption : captions)
                texts << model->index(row, section(caption)).data().toString();
            result << texts;
        }
        return result;
    }
    QStringList shownColumns() const {
        QStringList shown;
        for (int s = FolderModel::FirstFileColumn; s < header()->count(); ++s) {
            if (!header()->isSectionHidden(s))
                shown << header()->model()->headerData(s, Qt::Horizontal).toString();
        }
        return shown;
    }
    void sortBy(const QString& caption) {
        const int s = section(caption);
        QTest::mouseClick(header()->viewport(), Qt::LeftButton, {},
                          QPoint(header()->sectionViewportPosition(s) + 4, 4));
    }
};

TEST_F(FileColumnsTest, ChosenColumnsShowTheTagsSortAsNumbersAndStayAfterARestart) {
    EXPECT_EQ(shownColumns(), QStringList());
    const QStringList all = {"Artist", "Title", "Album",    "Track",
                             "Year",   "Genre", "Bit rate", "Duration"};
    for (const QString& caption : all)
        toggleColumn(caption);
    EXPECT_EQ(shownColumns(), all);
    const QList<QStringList> expected = {
        {"nine.mp3", "Abe", "Ninth", "Same", "9", "2001", "Rock", "128 kbps", "00:00:05"},
        {"ten.mp3", "Zed", "Tenth", "Same", "10/12", "1999", "Jazz", "128 kbps", "00:01:15"},
        {"two.mp3", "Mae", "Second", "", "2", "", "", "128 kbps", "00:02:10"},
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows(all) == expected; }, Patience)) << [&] {
        QStringList lines;
        for (const QStringList& row : rows(all))
            lines << row.join('|');
        return lines.join('\n').toStdString();
    }();

    const struct {
        const char* column;
        QStringList order; // files without the field come first
    } sorts[] = {
        {"Track", {"two.mp3", "nine.mp3", "ten.mp3"}},
        {"Year", {"two.mp3", "ten.mp3", "nine.mp3"}},
        {"Duration", {"nine.mp3", "ten.mp3", "two.mp3"}},
        {"Artist", {"nine.mp3", "two.mp3", "ten.mp3"}},
    };
    for (const auto& sort : sorts) {
        SCOPED_TRACE(sort.column);
        sortBy(sort.column);
        if (header()->sortIndicatorOrder() != Qt::AscendingOrder)
            sortBy(sort.column);
        QStringList order;
        for (const QStringList& row : rows({}))
            order << row.first();
        EXPECT_EQ(order, sort.order);
    }

    for (const char* caption : {"Album", "Year", "Genre", "Bit rate"})
        toggleColumn(caption);
    restart();
    EXPECT_EQ(shownColumns(), (QStringList{"Artist", "Title", "Track", "Duration"}));
    const QStringList kept = {"Title", "Track"};
    EXPECT_TRUE(QTest::qWaitFor([&] { return rows(kept).value(2).value(1) == "Second"; }, Patience))
        << rows(kept).value(2).join('|').toStdString();
}

} // namespace
