// The value area of one InspectorGrid row: paints the text (cut with an ellipsis, the whole
// text as tooltip), the link or the check box, and hosts the in-place editor.
#pragma once

#include <QWidget>

namespace quillon {

class InspectorGrid;
class InspectorRow;

class InspectorCell : public QWidget {
    Q_OBJECT

public:
    InspectorCell(InspectorGrid* grid, InspectorRow* row, QWidget* parent);

    InspectorRow* row() const { return m_row; }
    InspectorGrid* grid() const { return m_grid; }
    // The row's caption, text or state changed.
    void refresh();
    // Where the link text is drawn; a click there opens it.
    QRect linkRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QRect textRect() const;
    void updateToolTip();

    InspectorGrid* m_grid;
    InspectorRow* m_row;
    Qt::CheckState m_lastCheckState = Qt::PartiallyChecked;
};

} // namespace quillon
