// A two-column property grid: captions on the left, values on the right, a divider the user can
// drag, rows edited in place. Rows are declared once (their index) and shown in an order of
// their own; composite rows put several member rows on one line.
#pragma once

#include "ui/InspectorRow.h"
#include "ui/LinkOpener.h"

#include <QScrollArea>
#include <memory>
#include <vector>

class QLineEdit;

namespace quillon {

class InspectorGrid : public QScrollArea {
    Q_OBJECT
    Q_PROPERTY(int Tag READ tag WRITE setTag)

public:
    explicit InspectorGrid(QWidget* parent = nullptr);
    ~InspectorGrid() override;

    // Declares a row at the end of the collection; a row that is not a composite member is
    // shown after the last shown line until setShownOrder says otherwise.
    InspectorRow* addRow(const QString& name, const QString& caption,
                         InspectorRow::Kind kind = InspectorRow::Kind::Text);
    int rowCount() const { return int(m_rows.size()); }
    InspectorRow* row(int index) const;
    // Found without regard to case; nullptr when there is no such row.
    InspectorRow* row(const QString& name) const;
    QList<InspectorRow*> rows() const;

    // The lines top to bottom.
    QList<InspectorRow*> shownRows() const { return m_shown; }
    // The lines with each composite replaced by its members: the order Enter and Tab follow.
    QList<InspectorRow*> shownLeafRows() const;
    // Rows left out are hidden; members are never lines of their own.
    void setShownOrder(const QList<InspectorRow*>& lines);

    int dividerPosition() const { return m_divider; }
    void setDividerPosition(int x);
    int rowHeight() const;

    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    // Enter and Tab go to the next row (Shift+Tab to the previous one); when off, Enter only
    // ends editing and Tab leaves the grid.
    bool movesOnEnterAndTab() const { return m_movesOnEnterAndTab; }
    void setMovesOnEnterAndTab(bool on) { m_movesOnEnterAndTab = on; }

    // Hyperlink rows pass their trimmed text here; blank text opens nothing.
    void setLinkOpener(LinkOpener opener) { m_opener = std::move(opener); }
    void activateLink(InspectorRow* row);

    InspectorRow* currentRow() const { return m_current; }
    void setCurrentRow(InspectorRow* row);

    // Starts editing in place; false for read-only, check, composite and hidden rows, and for
    // rows edited in a dialog, whose request it sends instead.
    bool beginEdit(InspectorRow* row);
    bool isEditing() const { return m_editRow != nullptr; }
    InspectorRow* editingRow() const { return m_editRow; }
    QWidget* editor() const { return m_editor; }
    // Ends editing; without keepText the row gets back the text it had when editing began.
    void endEdit(bool keepText);

    // The widget showing a row's value (nullptr for composites), for focus, hit tests and tests.
    QWidget* valueCell(const InspectorRow* row) const;
    // Whether a shown row's caption is drawn shortened for want of room.
    bool captionIsCut(const InspectorRow* row) const;

signals:
    // The user changed the text of a row: every keystroke in the editor, a pick from the
    // drop-down, a click on a check box.
    void editChanged(InspectorRow* row);
    void currentRowChanged(InspectorRow* row);
    // An edit of a row that is edited in a dialog was started (a click, Enter, F2, typing).
    void dialogEditRequested(InspectorRow* row);

protected:
    void focusInEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class Body;
    friend class Body;
    friend class InspectorRow;
    friend class InspectorCell;

    struct Segment {
        InspectorRow* row;
        QRect caption; // empty for a line's first row: its caption sits in the caption column
        QRect value;
    };
    QList<Segment> lineSegments(const InspectorRow* line, int y) const;

    void rowLayoutChanged();
    void rowTextSet(InspectorRow* row);
    void relayout();
    void userSetText(InspectorRow* row, const QString& text);
    void toggleCheck(InspectorRow* row);
    bool moveBy(InspectorRow* from, int step, bool edit);
    void leaveGrid(bool forward);
    bool handleNavigationKey(InspectorRow* row, QKeyEvent* event);

    // Called by the value cells.
    void cellPressed(InspectorRow* row, const QPoint& pos);
    bool cellKeyPressed(InspectorRow* row, QKeyEvent* event);
    void cellFocused(InspectorRow* row);

    std::vector<std::unique_ptr<InspectorRow>> m_rows;
    QList<InspectorRow*> m_shown;
    Body* m_body;
    int m_divider = 96;
    int m_tag = 0;
    bool m_movesOnEnterAndTab = true;
    LinkOpener m_opener;
    InspectorRow* m_current = nullptr;
    InspectorRow* m_editRow = nullptr;
    QWidget* m_editor = nullptr;
    QLineEdit* m_editLine = nullptr;
    QString m_textBeforeEdit;
    QMetaObject::Connection m_focusConnection;
};

} // namespace quillon
