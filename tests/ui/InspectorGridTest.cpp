// The inspector grid through its widgets: a grid shaped like the window's ID3v2 grid (text,
// pick, hyperlink and composite rows) and one like the MPEG grid (check rows, a hidden row).
#include "ui/InspectorGrid.h"
#include "ui/InspectorCell.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace quillon;

namespace {

using Kind = InspectorRow::Kind;

struct RowDecl {
    const char* name;
    const char* caption;
    Kind kind;
};

constexpr RowDecl Id3v2Rows[] = {
    {"iID3v2_Title", "Title", Kind::Text},       {"iID3v2_Artist", "Artist", Kind::Text},
    {"iID3v2_Album", "Album", Kind::Text},       {"iID3v2_Year", "Yr.", Kind::Text},
    {"iID3v2_Track", "Tr.", Kind::Text},         {"iID3v2_Comment", "Comment", Kind::Text},
    {"iID3v2_xYG", "", Kind::Composite},         {"iID3v2_xCT", "", Kind::Composite},
    {"iID3v2_Genre", "Genre", Kind::Pick},       {"iID3v2_Composer", "Composer", Kind::Text},
    {"iID3v2_Encoder", "Encoder", Kind::Text},   {"iID3v2_Copyright", " ( c ) ", Kind::Text},
    {"iID3v2_Language", "Language", Kind::Text}, {"iID3v2_URL", "URL", Kind::Hyperlink},
    {"iID3v2_xCC", "", Kind::Composite},
};

QStringList names(const QList<InspectorRow*>& rows) {
    QStringList result;
    for (const InspectorRow* row : rows)
        result << row->name();
    return result;
}

QWidget* focused() {
    return QApplication::focusWidget();
}

class InspectorGridTest : public ::testing::Test {
public:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&m_window);
        m_grid = new InspectorGrid;
        m_after = new QLineEdit;
        layout->addWidget(m_grid);
        layout->addWidget(m_after);
        for (const RowDecl& decl : Id3v2Rows)
            m_grid->addRow(QString::fromLatin1(decl.name), QString::fromLatin1(decl.caption),
                           decl.kind);
        row("Year")->setAlignment(Qt::AlignHCenter);
        row("xYG")->addMember(row("Year"), 30);
        row("xYG")->addMember(row("Genre"), 72);
        row("xCT")->addMember(row("Album"), 72);
        row("xCT")->addMember(row("Track"), 20);
        row("xCC")->addMember(row("Composer"), 0);
        row("xCC")->addMember(row("Copyright"), 28);
        m_grid->setShownOrder({row("Title"), row("Artist"), row("xCT"), row("xYG"), row("Comment"),
                               row("xCC"), row("Encoder"), row("Language"), row("URL")});
        m_grid->setDividerPosition(96);
        m_grid->setTag(2);
        m_grid->setLinkOpener([this](const QString& address) { m_opened << address; });
        m_window.resize(240, 420);
        m_window.show();
        m_window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    }

    InspectorRow* row(const char* shortName) const {
        return m_grid->row(QStringLiteral("iID3v2_") + QString::fromLatin1(shortName));
    }
    InspectorCell* cell(const char* shortName) const {
        return qobject_cast<InspectorCell*>(m_grid->valueCell(row(shortName)));
    }
    void click(const char* shortName) const {
        QTest::mouseClick(cell(shortName), Qt::LeftButton, {}, cell(shortName)->rect().center());
    }

    QWidget m_window;
    InspectorGrid* m_grid = nullptr;
    QLineEdit* m_after = nullptr;
    QStringList m_opened;
};

TEST_F(InspectorGridTest, DisplayOrderIsSeparateFromDeclaredIndex) {
    ASSERT_EQ(m_grid->rowCount(), int(std::size(Id3v2Rows)));
    for (int i = 0; i < m_grid->rowCount(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(m_grid->row(i)->name(), QString::fromLatin1(Id3v2Rows[i].name));
        EXPECT_EQ(m_grid->row(i)->index(), i);
    }
    EXPECT_EQ(m_grid->row(QStringLiteral("IID3V2_COMPOSER")), row("Composer"));
    EXPECT_EQ(m_grid->row(QStringLiteral("iid3v2_url")), row("URL"));
    EXPECT_EQ(m_grid->row(QStringLiteral("iID3v2_Missing")), nullptr);
    EXPECT_EQ(m_grid->row(99), nullptr);

    EXPECT_EQ(names(m_grid->shownLeafRows()),
              (QStringList{"iID3v2_Title", "iID3v2_Artist", "iID3v2_Album", "iID3v2_Track",
                           "iID3v2_Year", "iID3v2_Genre", "iID3v2_Comment", "iID3v2_Composer",
                           "iID3v2_Copyright", "iID3v2_Encoder", "iID3v2_Language", "iID3v2_URL"}));

    // On screen: one line per shown row, members of a composite on their composite's line.
    const char* lines[][2] = {
        {"Title", nullptr},   {"Artist", nullptr},   {"Album", "Track"},
        {"Year", "Genre"},    {"Comment", nullptr},  {"Composer", "Copyright"},
        {"Encoder", nullptr}, {"Language", nullptr}, {"URL", nullptr}};
    int previousY = -1;
    for (const auto& line : lines) {
        SCOPED_TRACE(line[0]);
        const int y = cell(line[0])->y();
        EXPECT_GT(y, previousY);
        EXPECT_TRUE(cell(line[0])->isVisible());
        if (line[1]) {
            EXPECT_EQ(cell(line[1])->y(), y);
            EXPECT_GT(cell(line[1])->x(), cell(line[0])->x());
        }
        previousY = y;
    }

    // Members are never lines of their own.
    EXPECT_FALSE(m_grid->shownRows().contains(row("Album")));
    row("Album")->setVisible(true);
    EXPECT_FALSE(m_grid->shownRows().contains(row("Album")));
    EXPECT_EQ(m_grid->property("Tag").toInt(), 2);
}

TEST_F(InspectorGridTest, CompositeMembersSitAtTheirWidths) {
    const struct {
        const char* member;
        int width;
    } cases[] = {{"Album", 72}, {"Track", 20}, {"Year", 30}, {"Genre", 72}, {"Copyright", 28}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.member);
        EXPECT_EQ(cell(c.member)->width(), c.width);
    }
    // The first member starts in the value column; Composer takes what Copyright leaves.
    EXPECT_EQ(cell("Album")->x(), cell("Title")->x());
    EXPECT_EQ(cell("Composer")->x(), cell("Title")->x());
    EXPECT_EQ(cell("Copyright")->geometry().right(), cell("Title")->geometry().right());
    EXPECT_GT(cell("Composer")->width(), 0);
}

TEST_F(InspectorGridTest, TypingEmitsEditChangeOnEveryKeystroke) {
    const struct {
        const char* row;
        const char* initial;
    } cases[] = {{"Title", "Ab"}, {"Genre", "Rock"}, {"URL", ""}, {"Copyright", "2001"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        row(c.row)->setText(QString::fromLatin1(c.initial));
        QSignalSpy spy(m_grid, &InspectorGrid::editChanged);
        click(c.row);
        ASSERT_EQ(m_grid->editingRow(), row(c.row));
        QTest::keyClick(focused(), Qt::Key_End);
        const QString typed = QStringLiteral("x y");
        for (int i = 0; i < typed.size(); ++i) {
            QTest::keyClick(focused(), typed.at(i).toLatin1());
            ASSERT_EQ(spy.count(), i + 1);
            EXPECT_EQ(spy.last().at(0).value<InspectorRow*>(), row(c.row));
            EXPECT_EQ(row(c.row)->text(), QString::fromLatin1(c.initial) + typed.left(i + 1));
        }
        m_grid->endEdit(true);
        EXPECT_EQ(row(c.row)->text(), QString::fromLatin1(c.initial) + typed);
    }

    // A key on a row that is not being edited starts editing with that key.
    row("Artist")->setText(QStringLiteral("old"));
    m_grid->setCurrentRow(row("Artist"));
    QSignalSpy spy(m_grid, &InspectorGrid::editChanged);
    QTest::keyClick(cell("Artist"), 'Q');
    EXPECT_EQ(m_grid->editingRow(), row("Artist"));
    EXPECT_EQ(row("Artist")->text(), QStringLiteral("Q"));
    EXPECT_EQ(spy.count(), 1);

    // Text set by the program is not an edit.
    QSignalSpy programSpy(m_grid, &InspectorGrid::editChanged);
    row("Comment")->setText(QStringLiteral("set"));
    row("Artist")->setText(QStringLiteral("set while editing"));
    EXPECT_EQ(programSpy.count(), 0);
    EXPECT_EQ(qobject_cast<QLineEdit*>(m_grid->editor())->text(),
              QStringLiteral("set while editing"));
}

TEST_F(InspectorGridTest, EndingAnEditKeepsOrDiscardsTheTypedText) {
    const struct {
        const char* how;
        std::function<void(InspectorGridTest&)> end;
        const char* expected;
    } cases[] = {
        {"endEdit(true)", [](InspectorGridTest& t) { t.m_grid->endEdit(true); }, "Hello!"},
        {"endEdit(false)", [](InspectorGridTest& t) { t.m_grid->endEdit(false); }, "Hello"},
        {"Escape", [](InspectorGridTest&) { QTest::keyClick(focused(), Qt::Key_Escape); }, "Hello"},
        {"click on another row", [](InspectorGridTest& t) { t.click("Comment"); }, "Hello!"},
        {"focus leaves the grid", [](InspectorGridTest& t) { t.m_after->setFocus(); }, "Hello!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        row("Title")->setText(QStringLiteral("Hello"));
        click("Title");
        QTest::keyClick(focused(), Qt::Key_End);
        QTest::keyClick(focused(), '!');
        ASSERT_EQ(row("Title")->text(), QStringLiteral("Hello!"));
        c.end(*this);
        EXPECT_NE(m_grid->editingRow(), row("Title"));
        EXPECT_EQ(row("Title")->text(), QString::fromLatin1(c.expected));
        m_grid->endEdit(true);
    }
}

TEST_F(InspectorGridTest, EnterAndTabMoveToTheNextShownRow) {
    const struct {
        const char* from;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* to;
    } cases[] = {
        {"Title", Qt::Key_Return, Qt::NoModifier, "Artist"},
        {"Artist", Qt::Key_Tab, Qt::NoModifier, "Album"},
        {"Album", Qt::Key_Enter, Qt::KeypadModifier, "Track"},
        {"Track", Qt::Key_Tab, Qt::NoModifier, "Year"},
        {"Genre", Qt::Key_Return, Qt::NoModifier, "Comment"},
        {"Copyright", Qt::Key_Tab, Qt::NoModifier, "Encoder"},
        {"Artist", Qt::Key_Backtab, Qt::ShiftModifier, "Title"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
        row(c.from)->setText(QString());
        ASSERT_TRUE(m_grid->beginEdit(row(c.from)));
        QTest::keyClick(focused(), 'z');
        QTest::keyClick(focused(), c.key, c.modifiers);
        EXPECT_EQ(row(c.from)->text(), QStringLiteral("z"));
        EXPECT_EQ(m_grid->currentRow(), row(c.to));
        EXPECT_EQ(m_grid->editingRow(), row(c.to));
        EXPECT_TRUE(cell(c.to)->isAncestorOf(focused()));
    }
}

TEST_F(InspectorGridTest, WithMovingSwitchedOffEnterStaysAndTabLeavesTheGrid) {
    m_grid->setMovesOnEnterAndTab(false);
    const struct {
        Qt::Key key;
        bool focusInGrid;
    } cases[] = {{Qt::Key_Return, true}, {Qt::Key_Tab, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.key));
        ASSERT_TRUE(m_grid->beginEdit(row("Title")));
        QTest::keyClick(focused(), c.key);
        EXPECT_FALSE(m_grid->isEditing());
        EXPECT_EQ(m_grid->currentRow(), row("Title"));
        EXPECT_EQ(m_grid->isAncestorOf(focused()), c.focusInGrid);
        if (!c.focusInGrid) {
            EXPECT_EQ(focused(), m_after);
        }
    }
}

TEST_F(InspectorGridTest, ReadOnlyRowsRefuseEditing) {
    for (InspectorRow* r : m_grid->rows())
        r->setReadOnly(true);
    QSignalSpy spy(m_grid, &InspectorGrid::editChanged);
    for (const char* name : {"Title", "Genre", "URL", "Year"}) {
        SCOPED_TRACE(name);
        row(name)->setText(QString());
        EXPECT_FALSE(m_grid->beginEdit(row(name)));
        click(name);
        EXPECT_FALSE(m_grid->isEditing());
        QTest::keyClick(cell(name), 'a');
        QTest::keyClick(cell(name), Qt::Key_F2);
        EXPECT_FALSE(m_grid->isEditing());
        EXPECT_EQ(row(name)->text(), QString());
        // The program still fills read-only rows.
        row(name)->setText(QStringLiteral("filled"));
        EXPECT_EQ(row(name)->text(), QStringLiteral("filled"));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(cell(name));
        ASSERT_NE(accessible, nullptr);
        EXPECT_TRUE(accessible->state().readOnly);
        EXPECT_FALSE(accessible->state().editable);
    }
    EXPECT_EQ(spy.count(), 0);

    // Editable again: editing starts.
    row("Title")->setReadOnly(false);
    EXPECT_TRUE(m_grid->beginEdit(row("Title")));
    // Made read-only while edited: the edit ends.
    row("Title")->setReadOnly(true);
    EXPECT_FALSE(m_grid->isEditing());
}

TEST_F(InspectorGridTest, PickDropDownShowsItemsSortedAndAPickIsAnEdit) {
    row("Genre")->setPickItems({"Rock", "acid jazz", "Blues", "A Cappella", "Ambient", "Acid"});
    ASSERT_TRUE(m_grid->beginEdit(row("Genre")));
    auto* combo = qobject_cast<QComboBox*>(m_grid->editor());
    ASSERT_NE(combo, nullptr);
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i)
        shown << combo->itemText(i);
    EXPECT_EQ(shown, (QStringList{"A Cappella", "Acid", "acid jazz", "Ambient", "Blues", "Rock"}));
    // The row keeps the items as given.
    EXPECT_EQ(row("Genre")->pickItems().first(), QStringLiteral("Rock"));

    QSignalSpy spy(m_grid, &InspectorGrid::editChanged);
    QTest::keyClick(focused(), Qt::Key_Down);
    EXPECT_EQ(row("Genre")->text(), QStringLiteral("A Cappella"));
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(InspectorGridTest, HyperlinkOpensTheTrimmedTextAndNothingForBlanks) {
    const struct {
        const char* text;
        const char* opened; // nullptr: nothing opens
    } cases[] = {
        {"  http://example.org/a b  ", "http://example.org/a b"},
        {"mailto:someone@example.org", "mailto:someone@example.org"},
        {"   ", nullptr},
        {"", nullptr},
    };
    InspectorCell* link = cell("URL");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        m_opened.clear();
        m_grid->endEdit(true);
        row("URL")->setText(QString::fromLatin1(c.text));
        const QRect textArea = link->linkRect();
        QTest::mouseClick(link, Qt::LeftButton, {},
                          textArea.width() > 0 ? textArea.center() : QPoint(4, link->height() / 2));
        m_grid->endEdit(true);
        m_grid->setCurrentRow(row("URL"));
        QTest::keyClick(link, Qt::Key_Space);
        if (c.opened)
            EXPECT_EQ(m_opened, QStringList(2, QString::fromLatin1(c.opened)));
        else
            EXPECT_TRUE(m_opened.isEmpty());
    }

    // Beside the link text a click edits instead of opening.
    m_opened.clear();
    row("URL")->setText(QStringLiteral("a.org"));
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(link->width() - 3, link->height() / 2));
    EXPECT_TRUE(m_opened.isEmpty());
    EXPECT_EQ(m_grid->editingRow(), row("URL"));
}

TEST_F(InspectorGridTest, TextThatDoesNotFitGetsItsFullTextAsTooltip) {
    const QString longText(200, QLatin1Char('W'));
    row("Title")->setText(longText);
    EXPECT_EQ(cell("Title")->toolTip(), longText);
    row("Title")->setText(QStringLiteral("Hi"));
    EXPECT_TRUE(cell("Title")->toolTip().isEmpty());
}

TEST_F(InspectorGridTest, DraggingTheDividerMovesTheValueColumn) {
    QWidget* body = m_grid->widget();
    const int y = cell("Title")->y() + 3;
    const int oldX = cell("Title")->x();
    QTest::mousePress(body, Qt::LeftButton, {}, QPoint(96, y));
    QTest::mouseMove(body, QPoint(130, y));
    QTest::mouseRelease(body, Qt::LeftButton, {}, QPoint(130, y));
    EXPECT_EQ(m_grid->dividerPosition(), 130);
    EXPECT_EQ(cell("Title")->x(), oldX + 34);
    EXPECT_EQ(cell("Album")->x(), oldX + 34);
    EXPECT_EQ(cell("Album")->width(), 72);
}

TEST_F(InspectorGridTest, RowsTellScreenReadersTheirCaptionAndValue) {
    const struct {
        const char* row;
        const char* text;
        const char* name;
        QAccessible::Role role;
    } cases[] = {
        {"Title", "Hello", "Title", QAccessible::EditableText},
        {"Copyright", "2001 Someone", "( c )", QAccessible::EditableText},
        {"Genre", "Rock", "Genre", QAccessible::ComboBox},
        {"URL", "http://example.org", "URL", QAccessible::Link},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        row(c.row)->setText(QString::fromLatin1(c.text));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(cell(c.row));
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromLatin1(c.name));
        EXPECT_EQ(accessible->text(QAccessible::Value), QString::fromLatin1(c.text));
        EXPECT_EQ(accessible->text(QAccessible::Description), QString::fromLatin1(c.text));
        EXPECT_EQ(accessible->role(), c.role);
        EXPECT_TRUE(accessible->state().editable);
    }
    // Editing goes through the editor, which carries the caption too.
    ASSERT_TRUE(m_grid->beginEdit(row("Title")));
    QAccessibleInterface* editor = QAccessible::queryAccessibleInterface(m_grid->editor());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(QAccessible::Name), QStringLiteral("Title"));
    ASSERT_NE(editor->editableTextInterface(), nullptr);
}

// The MPEG-like grid: read-only, no moving on Enter, check rows in a composite, a hidden row.
class MpegGridTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_size = m_grid.addRow(QStringLiteral("iMpeg_Size"), QStringLiteral("File Size"));
        m_crc = m_grid.addRow(QStringLiteral("iMpeg_CRC"), QStringLiteral("CRC"), Kind::Check);
        m_original =
            m_grid.addRow(QStringLiteral("iMpeg_Original"), QStringLiteral("Orig"), Kind::Check);
        m_copyrighted = m_grid.addRow(QStringLiteral("iMpeg_Copyrighted"), QStringLiteral("( c )"),
                                      Kind::Check);
        m_frames = m_grid.addRow(QStringLiteral("iMpeg_Frames"), QStringLiteral("Frames"));
        m_vbr = m_grid.addRow(QStringLiteral("iMpeg_VBR"), QStringLiteral("VBR ... ID:Scale"));
        m_bools = m_grid.addRow(QStringLiteral("iMpeg_irBool"), QString(), Kind::Composite);
        for (InspectorRow* member : {m_copyrighted, m_original, m_crc})
            m_bools->addMember(member, 0);
        m_grid.setShownOrder({m_size, m_frames, m_bools});
        m_grid.setMovesOnEnterAndTab(false);
        for (InspectorRow* r : m_grid.rows())
            r->setReadOnly(true);
        m_grid.resize(240, 200);
        m_grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_grid));
    }

    InspectorGrid m_grid;
    InspectorRow* m_size = nullptr;
    InspectorRow* m_crc = nullptr;
    InspectorRow* m_original = nullptr;
    InspectorRow* m_copyrighted = nullptr;
    InspectorRow* m_frames = nullptr;
    InspectorRow* m_vbr = nullptr;
    InspectorRow* m_bools = nullptr;
};

TEST_F(MpegGridTest, CheckRowsShowTheStateTheirTextGives) {
    const struct {
        const char* text;
        Qt::CheckState state;
    } cases[] = {{"True", Qt::Checked},
                 {"False", Qt::Unchecked},
                 {"", Qt::PartiallyChecked},
                 {"true", Qt::PartiallyChecked}};
    QList<QImage> pictures;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        m_crc->setText(QString::fromLatin1(c.text));
        EXPECT_EQ(m_crc->checkState(), c.state);
        QAccessibleInterface* accessible =
            QAccessible::queryAccessibleInterface(m_grid.valueCell(m_crc));
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->role(), QAccessible::CheckBox);
        EXPECT_EQ(bool(accessible->state().checked), c.state == Qt::Checked);
        EXPECT_EQ(bool(accessible->state().checkStateMixed), c.state == Qt::PartiallyChecked);
        pictures << m_grid.valueCell(m_crc)->grab().toImage();
    }
    // What is painted follows the state.
    EXPECT_NE(pictures[0], pictures[1]);
    EXPECT_NE(pictures[0], pictures[2]);
    EXPECT_NE(pictures[1], pictures[2]);
    EXPECT_EQ(pictures[2], pictures[3]);

    // Read-only: a click changes nothing; editable: a click toggles and is an edit.
    QSignalSpy spy(&m_grid, &InspectorGrid::editChanged);
    m_crc->setText(QStringLiteral("False"));
    QWidget* box = m_grid.valueCell(m_crc);
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    EXPECT_EQ(m_crc->text(), QStringLiteral("False"));
    m_crc->setReadOnly(false);
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    EXPECT_EQ(m_crc->text(), QStringLiteral("True"));
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    EXPECT_EQ(m_crc->text(), QStringLiteral("False"));
    EXPECT_EQ(spy.count(), 2);
}

TEST_F(MpegGridTest, CheckMembersShareTheirLine) {
    const QWidget* first = m_grid.valueCell(m_copyrighted);
    const QWidget* second = m_grid.valueCell(m_original);
    const QWidget* third = m_grid.valueCell(m_crc);
    EXPECT_EQ(first->y(), second->y());
    EXPECT_EQ(first->y(), third->y());
    EXPECT_LT(first->x(), second->x());
    EXPECT_LT(second->x(), third->x());
    EXPECT_GT(first->width(), 0);
    EXPECT_EQ(first->width(), second->width());
}

TEST_F(MpegGridTest, AHiddenRowMadeVisibleComesLastAndHidingRemovesIt) {
    m_vbr->setVisible(false);
    EXPECT_FALSE(m_vbr->isVisible());
    EXPECT_FALSE(m_grid.valueCell(m_vbr)->isVisible());

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        m_vbr->setVisible(true);
        EXPECT_EQ(names(m_grid.shownRows()),
                  (QStringList{"iMpeg_Size", "iMpeg_Frames", "iMpeg_irBool", "iMpeg_VBR"}));
        const QWidget* vbr = m_grid.valueCell(m_vbr);
        EXPECT_TRUE(vbr->isVisible());
        for (InspectorRow* other : m_grid.shownLeafRows()) {
            if (other != m_vbr) {
                EXPECT_GT(vbr->y(), m_grid.valueCell(other)->y());
            }
        }
        m_vbr->setVisible(false);
        EXPECT_EQ(names(m_grid.shownRows()),
                  (QStringList{"iMpeg_Size", "iMpeg_Frames", "iMpeg_irBool"}));
        EXPECT_FALSE(vbr->isVisible());
    }
    // Its text survives hiding: the window keeps it until it fills the row again.
    m_vbr->setText(QStringLiteral("Xing : 78"));
    m_vbr->setVisible(true);
    EXPECT_EQ(m_vbr->text(), QStringLiteral("Xing : 78"));
}

} // namespace
