// An editable combo box item for menus and toolbars. Every place it is shown gets a combo of
// its own; they all show one text, and a change typed in any of them reaches the others.
#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidgetAction>

class QComboBox;

namespace quillon {

class BarCombo : public QWidgetAction {
    Q_OBJECT

public:
    BarCombo(const QString& name, const QString& caption, int width, QObject* parent = nullptr);

    // Another action showing this combo, for a place that needs its own visibility.
    BarCombo* createLink(QObject* parent);
    BarCombo* source() { return m_source ? m_source.data() : this; }

    QString editText() const;
    void setEditText(const QString& text);
    QStringList items() const;
    void setItems(const QStringList& items);
    int width() const;
    QString caption() const;
    // The combos now shown for this item and its links.
    QList<QComboBox*> comboBoxes() const;

signals:
    // Once per change, whichever combo or call made it.
    void editTextChanged(const QString& text);

protected:
    QWidget* createWidget(QWidget* parent) override;

private:
    explicit BarCombo(BarCombo* source, QObject* parent);
    void syncCombos();

    QPointer<BarCombo> m_source;
    QString m_caption;
    int m_width = 80;
    QString m_text;
    QStringList m_items;
    QList<QPointer<QComboBox>> m_combos;
};

} // namespace quillon
