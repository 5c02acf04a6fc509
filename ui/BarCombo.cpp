#include "ui/BarCombo.h"

#include <QComboBox>
#include <QLineEdit>

namespace quillon {

BarCombo::BarCombo(const QString& name, const QString& caption, int width, QObject* parent)
    : QWidgetAction(parent), m_caption(caption), m_width(width) {
    setObjectName(name);
    QAction::setText(caption);
}

BarCombo::BarCombo(BarCombo* source, QObject* parent) : QWidgetAction(parent), m_source(source) {
    QAction::setText(source->caption());
    setToolTip(source->toolTip());
}

BarCombo* BarCombo::createLink(QObject* parent) {
    return new BarCombo(source(), parent);
}

QString BarCombo::editText() const {
    return m_source ? m_source->editText() : m_text;
}

void BarCombo::setEditText(const QString& text) {
    if (m_source) {
        m_source->setEditText(text);
        return;
    }
    if (text == m_text)
        return;
    m_text = text;
    syncCombos();
    emit editTextChanged(m_text);
}

QStringList BarCombo::items() const {
    return m_source ? m_source->items() : m_items;
}

void BarCombo::setItems(const QStringList& items) {
    if (m_source) {
        m_source->setItems(items);
        return;
    }
    m_items = items;
    syncCombos();
}

int BarCombo::width() const {
    return m_source ? m_source->width() : m_width;
}

QString BarCombo::caption() const {
    return m_source ? m_source->caption() : m_caption;
}

QList<QComboBox*> BarCombo::comboBoxes() const {
    if (m_source)
        return m_source->comboBoxes();
    QList<QComboBox*> combos;
    for (const auto& combo : m_combos) {
        if (combo)
            combos.append(combo);
    }
    return combos;
}

QWidget* BarCombo::createWidget(QWidget* parent) {
    BarCombo* owner = source();
    auto* combo = new QComboBox(parent);
    combo->setObjectName(owner->objectName());
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setFixedWidth(owner->m_width);
    combo->addItems(owner->m_items);
    combo->setEditText(owner->m_text);
    combo->setToolTip(toolTip());
    combo->setAccessibleName(QString(owner->m_caption).remove(QLatin1Char('&')));
    connect(combo, &QComboBox::editTextChanged, owner, &BarCombo::setEditText);
    owner->m_combos.removeAll(nullptr);
    owner->m_combos.append(combo);
    return combo;
}

void BarCombo::syncCombos() {
    for (const auto& combo : m_combos) {
        if (!combo)
            continue;
        if (combo->count() != m_items.size() || [&] {
                for (int i = 0; i < m_items.size(); ++i) {
                    if (combo->itemText(i) != m_items.at(i))
                        return true;
                }
                return false;
            }()) {
            const QSignalBlocker block(combo);
            combo->clear();
            combo->addItems(m_items);
            combo->setEditText(m_text);
        }
        if (combo->currentText() != m_text) {
            // Keep the caret where the user types when the text came from this very combo.
            const QSignalBlocker block(combo);
            combo->setEditText(m_text);
        }
    }
}

} // namespace quillon
