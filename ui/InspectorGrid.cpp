#include "ui/InspectorGrid.h"

#include <QClipboard>
#include <QGuiApplication>

#include "ui/InspectorCell.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QSet>
#include <algorithm>

namespace quillon {

namespace {

constexpr int DividerGap = 2; // the divider line and a pixel the mouse can grab it by
constexpr int DividerGrab = 3;
constexpr int CaptionMargin = 4;

bool isEditableKind(InspectorRow::Kind kind) {
    return kind == InspectorRow::Kind::Text || kind == InspectorRow::Kind::Pick ||
           kind == InspectorRow::Kind::Hyperlink;
}

QStringList sortedAlphabetically(QStringList items) {
    std::stable_sort(items.begin(), items.end(), [](const QString& a, const QString& b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    return items;
}

// Shares `room` among the members whose need is not negative: each gets what its text needs
// while an even share of what is left allows it, the smaller needs first; room to spare is
// spread evenly, the last member taking what rounding leaves.
QList<int> sharedWidths(const QList<int>& needs, int room) {
    QList<int> widths(needs.size(), 0);
    QList<int> order;
    for (int i = 0; i < needs.size(); ++i) {
        if (needs[i] >= 0)
            order.append(i);
    }
    if (order.isEmpty())
        return widths;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return needs[a] < needs[b]; });
    int left = room;
    for (int k = 0; k < order.size(); ++k) {
        const int width = qMin(needs[order[k]], left / int(order.size() - k));
        widths[order[k]] = width;
        left -= width;
    }
    std::sort(order.begin(), order.end());
    const int each = left / int(order.size());
    for (int k = 0; k < order.size(); ++k) {
        const int extra = k + 1 == order.size() ? left : each;
        widths[order[k]] += extra;
        left -= extra;
    }
    return widths;
}

} // namespace

// The scrolled surface: paints the captions, lines and divider, places the value cells, and
// lets the user drag the divider.
class InspectorGrid::Body : public QWidget {
public:
    explicit Body(InspectorGrid* grid) : m_grid(grid) { setMouseTracking(true); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().base());
        const int rowHeight = m_grid->rowHeight();
        const int divider = m_grid->m_divider;
        const QColor lineColor = palette().color(QPalette::Mid);
        int y = 0;
        for (const InspectorRow* line : std::as_const(m_grid->m_shown)) {
            const auto segments = m_grid->lineSegments(line, y);
            const InspectorRow* first = segments.isEmpty() ? line : segments.first().row;
            drawCaption(painter, QRect(0, y, divider, rowHeight - 1), first->caption());
            for (const Segment& segment : segments) {
                if (segment.caption.isEmpty())
                    continue;
                drawCaption(painter, segment.caption, segment.row->caption());
                painter.setPen(lineColor);
                painter.drawLine(segment.caption.left() - 1, y, segment.caption.left() - 1,
                                 y + rowHeight - 1);
            }
            painter.setPen(lineColor);
            painter.drawLine(0, y + rowHeight - 1, width(), y + rowHeight - 1);
            y += rowHeight;
        }
        painter.setPen(lineColor);
        painter.drawLine(divider, 0, divider, y);
    }

    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        m_grid->relayout();
    }

    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton)
            return;
        const QPoint pos = event->position().toPoint();
        if (nearDivider(pos.x())) {
            m_dragging = true;
            return;
        }
        if (InspectorRow* row = captionRowAt(pos))
            m_grid->setCurrentRow(row);
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        const int x = event->position().toPoint().x();
        if (m_dragging)
            m_grid->setDividerPosition(x);
        else
            setCursor(nearDivider(x) ? Qt::SplitHCursor : Qt::ArrowCursor);
    }

    void mouseReleaseEvent(QMouseEvent*) override { m_dragging = false; }

private:
    void drawCaption(QPainter& painter, const QRect& area, const QString& caption) const {
        painter.fillRect(area, palette().button());
        painter.setPen(palette().color(QPalette::ButtonText));
        const QRect textArea = area.adjusted(CaptionMargin, 0, -CaptionMargin, 0);
        // Inline captions are sized to their text: elide only what really does not fit.
        const QFontMetrics metrics = painter.fontMetrics();
        const QString shown = metrics.horizontalAdvance(caption) <= textArea.width()
                                  ? caption
                                  : metrics.elidedText(caption, Qt::ElideRight, textArea.width());
        painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter, shown);
    }

    bool nearDivider(int x) const { return std::abs(x - m_grid->m_divider) <= DividerGrab; }

    InspectorRow* captionRowAt(const QPoint& pos) const {
        const int line = pos.y() / m_grid->rowHeight();
        if (line < 0 || line >= m_grid->m_shown.size())
            return nullptr;
        const auto segments =
            m_grid->lineSegments(m_grid->m_shown.at(line), line * m_grid->rowHeight());
        if (segments.isEmpty())
            return nullptr;
        if (pos.x() < m_grid->m_divider)
            return segments.first().row;
        for (const Segment& segment : segments) {
            if (segment.caption.contains(pos))
                return segment.row;
        }
        return nullptr;
    }

    InspectorGrid* m_grid;
    bool m_dragging = false;
};

InspectorGrid::InspectorGrid(QWidget* parent) : QScrollArea(parent), m_body(new Body(this)) {
    setWidget(m_body);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    // Leaving the editor for anything outside it keeps the typed text.
    m_focusConnection =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
            if (m_editor && now && now != m_editor && !m_editor->isAncestorOf(now))
                endEdit(true);
        });
}

InspectorGrid::~InspectorGrid() {
    disconnect(m_focusConnection);
    m_editRow = nullptr;
    m_editor = nullptr;
    m_editLine = nullptr;
    // The cells point at the rows: remove them first.
    delete takeWidget();
}

InspectorRow* InspectorGrid::addRow(const QString& name, const QString& caption,
                                    InspectorRow::Kind kind) {
    auto owned = std::unique_ptr<InspectorRow>(
        new InspectorRow(this, name, caption, kind, int(m_rows.size())));
    InspectorRow* row = owned.get();
    m_rows.push_back(std::move(owned));
    if (kind != InspectorRow::Kind::Composite) {
        row->m_cell = new InspectorCell(this, row, m_body);
        row->m_cell->hide();
    }
    m_shown.append(row);
    relayout();
    return row;
}

InspectorRow* InspectorGrid::row(int index) const {
    if (index < 0 || index >= rowCount())
        return nullptr;
    return m_rows[size_t(index)].get();
}

InspectorRow* InspectorGrid::row(const QString& name) const {
    for (const auto& row : m_rows) {
        if (row->name().compare(name, Qt::CaseInsensitive) == 0)
            return row.get();
    }
    return nullptr;
}

QList<InspectorRow*> InspectorGrid::rows() const {
    QList<InspectorRow*> all;
    all.reserve(rowCount());
    for (const auto& row : m_rows)
        all.append(row.get());
    return all;
}

QList<InspectorRow*> InspectorGrid::shownLeafRows() const {
    QList<InspectorRow*> leaves;
    for (InspectorRow* line : m_shown) {
        if (line->kind() != InspectorRow::Kind::Composite) {
            leaves.append(line);
            continue;
        }
        for (const InspectorRow::Member& member : line->members())
            leaves.append(member.row);
    }
    return leaves;
}

void InspectorGrid::setShownOrder(const QList<InspectorRow*>& lines) {
    m_shown.clear();
    for (InspectorRow* line : lines) {
        if (line && line->m_grid == this && !line->composite() && !m_shown.contains(line))
            m_shown.append(line);
    }
    relayout();
}

void InspectorGrid::setDividerPosition(int x) {
    x = std::clamp(x, 16, qMax(16, m_body->width() - 16));
    if (x == m_divider)
        return;
    m_divider = x;
    relayout();
}

int InspectorGrid::rowHeight() const {
    return QFontMetrics(font()).height() + 4;
}

void InspectorGrid::activateLink(InspectorRow* row) {
    if (!row)
        return;
    const QString address = row->text().trimmed();
    if (address.isEmpty() || !m_opener)
        return;
    m_opener(address);
}

void InspectorGrid::setCurrentRow(InspectorRow* row) {
    if (row && (row->m_grid != this || !row->m_cell || !row->isVisible()))
        return;
    if (m_editRow && m_editRow != row)
        endEdit(true);
    const bool changed = row != m_current;
    m_current = row;
    if (row) {
        row->m_cell->setFocus(Qt::OtherFocusReason);
        ensureWidgetVisible(row->m_cell, 0, 0);
    }
    if (changed)
        emit currentRowChanged(row);
}

bool InspectorGrid::beginEdit(InspectorRow* row) {
    if (!row || row->m_grid != this || row->isReadOnly() || !isEditableKind(row->kind()) ||
        !row->isVisible())
        return false;
    if (m_editRow == row)
        return true;
    setCurrentRow(row);
    if (row->editsInDialog()) {
        emit dialogEditRequested(row);
        return false;
    }

    InspectorCell* cell = row->m_cell;
    m_textBeforeEdit = row->text();
    if (row->kind() == InspectorRow::Kind::Pick) {
        auto* combo = new QComboBox(cell);
        combo->setEditable(true);
        combo->setFrame(false);
        combo->setInsertPolicy(QComboBox::NoInsert);
        // Completion would put text the user did not type into the row.
        combo->setCompleter(nullptr);
        combo->addItems(sortedAlphabetically(row->pickItems()));
        combo->setCurrentIndex(-1);
        combo->setEditText(row->text());
        connect(combo, &QComboBox::editTextChanged, this,
                [this, row](const QString& text) { userSetText(row, text); });
        m_editor = combo;
        m_editLine = combo->lineEdit();
    } else {
        auto* line = new QLineEdit(row->text(), cell);
        line->setFrame(false);
        connect(line, &QLineEdit::textEdited, this,
                [this, row](const QString& text) { userSetText(row, text); });
        m_editor = line;
        m_editLine = line;
    }
    m_editRow = row;
    m_editLine->setAlignment(row->alignment());
    m_editor->setAccessibleName(row->caption().trimmed());
    m_editor->setGeometry(cell->rect());
    m_editor->installEventFilter(this);
    if (m_editLine != m_editor)
        m_editLine->installEventFilter(this);
    m_editor->show();
    m_editLine->selectAll();
    m_editor->setFocus(Qt::OtherFocusReason);
    cell->update();
    return true;
}

void InspectorGrid::endEdit(bool keepText) {
    if (!m_editRow)
        return;
    InspectorRow* row = m_editRow;
    QWidget* editor = m_editor;
    m_editRow = nullptr;
    m_editor = nullptr;
    m_editLine = nullptr;
    const QWidget* focus = QApplication::focusWidget();
    const bool hadFocus = focus && (focus == editor || editor->isAncestorOf(focus));
    editor->disconnect(this);
    editor->removeEventFilter(this);
    editor->hide();
    editor->deleteLater();
    if (!keepText && row->m_text != m_textBeforeEdit) {
        row->m_text = m_textBeforeEdit;
        if (row->composite())
            relayout();
    }
    row->m_cell->refresh();
    if (hadFocus)
        row->m_cell->setFocus(Qt::OtherFocusReason);
}

QWidget* InspectorGrid::valueCell(const InspectorRow* row) const {
    return row && row->m_grid == this ? row->m_cell : nullptr;
}

void InspectorGrid::focusInEvent(QFocusEvent* event) {
    QScrollArea::focusInEvent(event);
    const auto leaves = shownLeafRows();
    InspectorRow* target = m_current;
    if (!target && !leaves.isEmpty())
        target = event->reason() == Qt::BacktabFocusReason ? leaves.last() : leaves.first();
    if (target)
        target->m_cell->setFocus(event->reason());
}

bool InspectorGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !m_editRow ||
        (watched != m_editor && watched != m_editLine))
        return QScrollArea::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    InspectorRow* row = m_editRow;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        endEdit(true);
        if (m_movesOnEnterAndTab)
            moveBy(row, 1, true);
        return true;
    case Qt::Key_Escape:
        endEdit(false);
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return handleNavigationKey(row, key);
    case Qt::Key_Up:
    case Qt::Key_Down:
        // In a pick row the arrows step through the items.
        if (row->kind() == InspectorRow::Kind::Pick)
            break;
        endEdit(true);
        moveBy(row, key->key() == Qt::Key_Down ? 1 : -1, false);
        return true;
    default:
        break;
    }
    return QScrollArea::eventFilter(watched, event);
}

void InspectorGrid::changeEvent(QEvent* event) {
    QScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        relayout();
}

bool InspectorGrid::captionIsCut(const InspectorRow* row) const {
    const QFontMetrics metrics(font());
    const int needed = metrics.horizontalAdvance(row->caption()) + 2 * CaptionMargin;
    for (const InspectorRow* line : m_shown) {
        const auto segments = lineSegments(line, 0);
        const InspectorRow* first = segments.isEmpty() ? line : segments.first().row;
        if (first == row)
            return needed > m_divider;
        for (const Segment& segment : segments) {
            if (segment.row == row && !segment.caption.isEmpty())
                return needed > segment.caption.width();
        }
    }
    return false;
}

QList<InspectorGrid::Segment> InspectorGrid::lineSegments(const InspectorRow* line, int y) const {
    QList<Segment> segments;
    const int height = rowHeight() - 1;
    const int left = m_divider + DividerGap;
    const int right = m_body->width();
    if (line->kind() != InspectorRow::Kind::Composite) {
        segments.append({const_cast<InspectorRow*>(line), QRect(),
                         QRect(left, y, qMax(0, right - left), height)});
        return segments;
    }

    // Members after the first show their caption before their value.
    const QFontMetrics metrics(font());
    const auto& members = line->members();
    QList<int> captionWidths;
    int used = 0;
    // A fixed width grows to show its fit text whole (three-digit tracks, larger fonts); the
    // value cells keep 3 px of margin on each side.
    QList<int> fixedWidths;
    for (const InspectorRow::Member& member : members) {
        const int fit =
            member.fitText.isEmpty() ? 0 : metrics.horizontalAdvance(member.fitText) + 2 * 3 + 1;
        fixedWidths.append(member.width > 0 ? qMax(member.width, fit) : 0);
    }
    for (int i = 0; i < members.size(); ++i) {
        const int caption =
            i == 0 ? 0 : metrics.horizontalAdvance(members[i].row->caption()) + 2 * CaptionMargin;
        captionWidths.append(caption);
        used += caption + (i > 0 ? 1 : 0);
        if (fixedWidths[i] > 0)
            used += fixedWidths[i];
    }
    // The members without a width share what the line leaves by what their texts need.
    QList<int> needs;
    for (const InspectorRow::Member& member : members) {
        if (fixedWidths[needs.size()] > 0) {
            needs.append(-1);
            continue;
        }
        const bool showsText = member.row->kind() != InspectorRow::Kind::Check;
        const int text = showsText ? metrics.horizontalAdvance(member.row->text()) : 0;
        const int fit = member.fitText.isEmpty() ? 0 : metrics.horizontalAdvance(member.fitText);
        needs.append(qMax(text, fit) > 0 ? qMax(text, fit) + 2 * 3 + 1 : 0);
    }
    const QList<int> shares = sharedWidths(needs, qMax(0, right - left - used));
    int x = left;
    for (int i = 0; i < members.size(); ++i) {
        const InspectorRow::Member& member = members[i];
        if (i > 0)
            x += 1; // separator line
        const QRect caption = i == 0 ? QRect() : QRect(x, y, captionWidths[i], height);
        x += captionWidths[i];
        const int width = qMax(fixedWidths[i] > 0 ? fixedWidths[i] : shares[i], member.minWidth);
        segments.append({member.row, caption, QRect(x, y, width, height)});
        x += width;
    }
    return segments;
}

void InspectorGrid::rowLayoutChanged() {
    relayout();
}

void InspectorGrid::rowTextSet(InspectorRow* row) {
    if (row == m_editRow) {
        m_textBeforeEdit = row->m_text;
        if (auto* combo = qobject_cast<QComboBox*>(m_editor))
            combo->setEditText(row->m_text);
        else
            m_editLine->setText(row->m_text);
    }
    if (row->m_cell)
        row->m_cell->refresh();
    // Members of a line share its width by their texts.
    if (row->composite())
        relayout();
}

void InspectorGrid::relayout() {
    const int height = rowHeight();
    QSet<const InspectorRow*> placed;
    int y = 0;
    for (const InspectorRow* line : std::as_const(m_shown)) {
        for (const Segment& segment : lineSegments(line, y)) {
            segment.row->m_cell->setGeometry(segment.value);
            segment.row->m_cell->show();
            placed.insert(segment.row);
        }
        y += height;
    }
    for (const auto& row : m_rows) {
        if (!row->m_cell || placed.contains(row.get()))
            continue;
        if (row.get() == m_editRow)
            endEdit(true);
        if (row.get() == m_current) {
            m_current = nullptr;
            emit currentRowChanged(nullptr);
        }
        row->m_cell->hide();
    }
    m_body->setMinimumHeight(y);
    m_body->update();
}

void InspectorGrid::userSetText(InspectorRow* row, const QString& text) {
    if (row->m_text == text)
        return;
    row->m_text = text;
    row->m_cell->refresh();
    if (row->composite())
        relayout();
    emit editChanged(row);
}

void InspectorGrid::toggleCheck(InspectorRow* row) {
    if (row->isReadOnly())
        return;
    userSetText(row,
                row->checkState() == Qt::Checked ? row->uncheckedValue() : row->checkedValue());
}

bool InspectorGrid::moveBy(InspectorRow* from, int step, bool edit) {
    const auto leaves = shownLeafRows();
    const int target = int(leaves.indexOf(from)) + step;
    if (!leaves.contains(from) || target < 0 || target >= leaves.size())
        return false;
    endEdit(true);
    setCurrentRow(leaves[target]);
    if (edit)
        beginEdit(leaves[target]);
    return true;
}

void InspectorGrid::leaveGrid(bool forward) {
    for (QWidget* next = forward ? nextInFocusChain() : previousInFocusChain();
         next && next != this;
         next = forward ? next->nextInFocusChain() : next->previousInFocusChain()) {
        if (isAncestorOf(next) || !next->isVisible() || !next->isEnabled() ||
            !(next->focusPolicy() & Qt::TabFocus))
            continue;
        next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return;
    }
}

bool InspectorGrid::handleNavigationKey(InspectorRow* row, QKeyEvent* event) {
    const bool forward = event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier);
    if (m_movesOnEnterAndTab && moveBy(row, forward ? 1 : -1, true))
        return true;
    endEdit(true);
    leaveGrid(forward);
    return true;
}

void InspectorGrid::cellPressed(InspectorRow* row, const QPoint& pos) {
    setCurrentRow(row);
    if (row->kind() == InspectorRow::Kind::Hyperlink && !row->text().trimmed().isEmpty() &&
        row->m_cell->linkRect().contains(pos)) {
        activateLink(row);
        return;
    }
    if (row->kind() == InspectorRow::Kind::Check) {
        toggleCheck(row);
        return;
    }
    beginEdit(row);
}

bool InspectorGrid::cellKeyPressed(InspectorRow* row, QKeyEvent* event) {
    // Copy, cut and paste act on the cell's text, as they do in its editor.
    const bool textRow = row->kind() != InspectorRow::Kind::Check &&
                         row->kind() != InspectorRow::Kind::Composite && !row->editsInDialog();
    if (textRow && (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Cut))) {
        QGuiApplication::clipboard()->setText(row->text());
        if (event->matches(QKeySequence::Cut) && !row->isReadOnly())
            userSetText(row, QString());
        return true;
    }
    if (textRow && event->matches(QKeySequence::Paste)) {
        if (!row->isReadOnly())
            userSetText(row, QGuiApplication::clipboard()->text().section(QLatin1Char('\n'), 0, 0));
        return true;
    }
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return handleNavigationKey(row, event);
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_movesOnEnterAndTab)
            moveBy(row, 1, true);
        else
            beginEdit(row);
        return true;
    case Qt::Key_F2:
        beginEdit(row);
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
        moveBy(row, event->key() == Qt::Key_Down ? 1 : -1, false);
        return true;
    case Qt::Key_Home:
    case Qt::Key_End: {
        const auto leaves = shownLeafRows();
        if (!leaves.isEmpty())
            setCurrentRow(event->key() == Qt::Key_Home ? leaves.first() : leaves.last());
        return true;
    }
    case Qt::Key_Space:
        if (row->kind() == InspectorRow::Kind::Check) {
            toggleCheck(row);
            return true;
        }
        if (row->kind() == InspectorRow::Kind::Hyperlink) {
            activateLink(row);
            return true;
        }
        break;
    default:
        break;
    }
    // Typing on a row starts editing it with that character.
    const QString text = event->text();
    if (text.isEmpty() || !text.at(0).isPrint() ||
        (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    if (!beginEdit(row))
        return false;
    QKeyEvent forwarded(QEvent::KeyPress, event->key(), event->modifiers(), text,
                        event->isAutoRepeat(), ushort(event->count()));
    QCoreApplication::sendEvent(m_editLine, &forwarded);
    return true;
}

void InspectorGrid::cellFocused(InspectorRow* row) {
    if (row == m_current)
        return;
    if (m_editRow && m_editRow != row)
        endEdit(true);
    m_current = row;
    emit currentRowChanged(row);
}

} // namespace quillon
