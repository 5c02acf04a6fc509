#include "ui/InspectorRow.h"

#include "ui/InspectorCell.h"
#include "ui/InspectorGrid.h"

namespace quillon {

InspectorRow::InspectorRow(InspectorGrid* grid, const QString& name, const QString& caption,
                           Kind kind, int index)
    : m_grid(grid), m_name(name), m_caption(caption), m_kind(kind), m_index(index) {}

InspectorRow::~InspectorRow() = default;

void InspectorRow::setCaption(const QString& caption) {
    if (caption == m_caption)
        return;
    m_caption = caption;
    m_grid->rowLayoutChanged();
    if (m_cell)
        m_cell->refresh();
}

void InspectorRow::setText(const QString& text) {
    if (text == m_text)
        return;
    m_text = text;
    m_grid->rowTextSet(this);
}

void InspectorRow::setReadOnly(bool readOnly) {
    if (readOnly == m_readOnly)
        return;
    m_readOnly = readOnly;
    if (readOnly && m_grid->editingRow() == this)
        m_grid->endEdit(true);
    if (m_cell)
        m_cell->refresh();
}

void InspectorRow::setAlignment(Qt::Alignment alignment) {
    m_alignment = alignment;
    if (m_cell)
        m_cell->refresh();
}

bool InspectorRow::isVisible() const {
    if (m_composite)
        return m_composite->isVisible();
    return m_grid->m_shown.contains(const_cast<InspectorRow*>(this));
}

void InspectorRow::setVisible(bool visible) {
    if (m_composite)
        return;
    const bool shown = m_grid->m_shown.contains(this);
    if (visible == shown)
        return;
    if (visible)
        m_grid->m_shown.append(this);
    else
        m_grid->m_shown.removeAll(this);
    m_grid->rowLayoutChanged();
}

void InspectorRow::setCheckValues(const QString& checked, const QString& unchecked) {
    m_checkedValue = checked;
    m_uncheckedValue = unchecked;
    if (m_cell)
        m_cell->refresh();
}

Qt::CheckState InspectorRow::checkState() const {
    if (m_text == m_checkedValue)
        return Qt::Checked;
    if (m_text == m_uncheckedValue)
        return Qt::Unchecked;
    return Qt::PartiallyChecked;
}

void InspectorRow::setPickItems(const QStringList& items) {
    m_pickItems = items;
}

void InspectorRow::addMember(InspectorRow* member, int width, int minWidth,
                             const QString& fitText) {
    if (m_kind != Kind::Composite || !member || member == this || member->m_grid != m_grid ||
        member->m_kind == Kind::Composite || member->m_composite)
        return;
    member->m_composite = this;
    m_members.append({member, width, minWidth, fitText});
    m_grid->m_shown.removeAll(member);
    m_grid->rowLayoutChanged();
}

} // namespace quillon
