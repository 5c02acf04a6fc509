#include "ui/InspectorCell.h"

#include "ui/Contrast.h"
#include "ui/InspectorGrid.h"
#include "ui/InspectorRow.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionButton>

namespace quillon {

namespace {

constexpr int TextMargin = 3;

bool isEditableKind(InspectorRow::Kind kind) {
    return kind == InspectorRow::Kind::Text || kind == InspectorRow::Kind::Pick ||
           kind == InspectorRow::Kind::Hyperlink;
}

// Tells a screen reader the row's caption as its name, the row's text as its value, and
// whether it can be changed; editing itself goes through the editor widget.
class InspectorCellAccessible : public QAccessibleWidget {
public:
    explicit InspectorCellAccessible(InspectorCell* cell)
        : QAccessibleWidget(cell, roleOf(cell->row())) {}

    QString text(QAccessible::Text t) const override {
        const InspectorRow* row = cell()->row();
        switch (t) {
        case QAccessible::Name:
            return row->caption().trimmed();
        case QAccessible::Value:
            return row->text();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        const InspectorRow* row = cell()->row();
        s.readOnly = row->isReadOnly();
        s.editable = !row->isReadOnly() && isEditableKind(row->kind());
        if (row->kind() == InspectorRow::Kind::Check) {
            s.checkable = true;
            s.checked = row->checkState() == Qt::Checked;
            s.checkStateMixed = row->checkState() == Qt::PartiallyChecked;
        }
        return s;
    }

    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        const InspectorRow* row = cell()->row();
        if (row->kind() == InspectorRow::Kind::Check && !row->isReadOnly())
            names << toggleAction();
        if (row->kind() == InspectorRow::Kind::Hyperlink)
            names << pressAction();
        return names;
    }

    void doAction(const QString& name) override {
        // Space on the cell toggles a check row and opens a link row.
        if (name == toggleAction() || name == pressAction()) {
            QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
            QCoreApplication::sendEvent(cell(), &space);
            return;
        }
        QAccessibleWidget::doAction(name);
    }

private:
    InspectorCell* cell() const { return static_cast<InspectorCell*>(widget()); }

    static QAccessible::Role roleOf(const InspectorRow* row) {
        switch (row->kind()) {
        case InspectorRow::Kind::Check:
            return QAccessible::CheckBox;
        case InspectorRow::Kind::Hyperlink:
            return QAccessible::Link;
        case InspectorRow::Kind::Pick:
            return QAccessible::ComboBox;
        default:
            return QAccessible::EditableText;
        }
    }
};

QAccessibleInterface* cellAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(InspectorCell::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new InspectorCellAccessible(static_cast<InspectorCell*>(object));
    return nullptr;
}

} // namespace

InspectorCell::InspectorCell(InspectorGrid* grid, InspectorRow* row, QWidget* parent)
    : QWidget(parent), m_grid(grid), m_row(row) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(cellAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    // Not in the Tab chain: the grid moves between its rows itself.
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_lastCheckState = row->checkState();
    refresh();
}

void InspectorCell::refresh() {
    setAccessibleName(m_row->caption().trimmed());
    setAccessibleDescription(m_row->text());
    if (m_row->kind() == InspectorRow::Kind::Check && m_row->checkState() != m_lastCheckState) {
        m_lastCheckState = m_row->checkState();
        QAccessible::State changed;
        changed.checked = true;
        changed.checkStateMixed = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
    setCursor(m_row->kind() == InspectorRow::Kind::Hyperlink && !m_row->text().trimmed().isEmpty()
                  ? Qt::PointingHandCursor
                  : Qt::ArrowCursor);
    updateToolTip();
    update();
}

QRect InspectorCell::textRect() const {
    return rect().adjusted(TextMargin, 0, -TextMargin, 0);
}

QRect InspectorCell::linkRect() const {
    const QRect area = textRect();
    const QFontMetrics fm(font());
    const QString shown = fm.elidedText(m_row->text(), Qt::ElideRight, area.width());
    const int width = qMin(area.width(), fm.horizontalAdvance(shown));
    return QStyle::alignedRect(layoutDirection(), m_row->alignment() | Qt::AlignVCenter,
                               QSize(width, area.height()), area);
}

void InspectorCell::updateToolTip() {
    const bool cut = m_row->kind() != InspectorRow::Kind::Check &&
                     QFontMetrics(font()).horizontalAdvance(m_row->text()) > textRect().width();
    setToolTip(cut ? m_row->text() : QString());
}

void InspectorCell::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool current = hasFocus();
    painter.fillRect(rect(), current ? palette().highlight() : palette().base());
    if (m_grid->editingRow() == m_row)
        return;

    if (m_row->kind() == InspectorRow::Kind::Check) {
        QStyleOptionButton option;
        option.initFrom(this);
        const int size = style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, this);
        option.rect = QStyle::alignedRect(layoutDirection(), m_row->alignment() | Qt::AlignVCenter,
                                          QSize(size, size), textRect());
        switch (m_row->checkState()) {
        case Qt::Checked:
            option.state |= QStyle::State_On;
            break;
        case Qt::Unchecked:
            option.state |= QStyle::State_Off;
            break;
        default:
            option.state |= QStyle::State_NoChange;
            break;
        }
        style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, this);
        return;
    }

    QFont textFont = font();
    QColor color = palette().color(current ? QPalette::HighlightedText : QPalette::Text);
    if (m_row->kind() == InspectorRow::Kind::Hyperlink) {
        textFont.setUnderline(true);
        // A palette's link colour is often left at its light-theme blue.
        if (!current)
            color = readableOn(palette().color(QPalette::Link), palette().color(QPalette::Base));
    }
    painter.setFont(textFont);
    painter.setPen(color);
    const QRect area = textRect();
    const QString shown =
        QFontMetrics(textFont).elidedText(m_row->text(), Qt::ElideRight, area.width());
    painter.drawText(area, int(m_row->alignment() | Qt::AlignVCenter), shown);
}

void InspectorCell::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_grid->cellPressed(m_row, event->position().toPoint());
}

void InspectorCell::keyPressEvent(QKeyEvent* event) {
    if (!m_grid->cellKeyPressed(m_row, event))
        QWidget::keyPressEvent(event);
}

bool InspectorCell::event(QEvent* event) {
    // Tab never reaches keyPressEvent otherwise: QWidget::event moves the focus first.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            if (m_grid->cellKeyPressed(m_row, key))
                return true;
        }
    }
    return QWidget::event(event);
}

void InspectorCell::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        child->setGeometry(rect());
    updateToolTip();
}

void InspectorCell::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    m_grid->cellFocused(m_row);
    update();
}

void InspectorCell::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

} // namespace quillon
