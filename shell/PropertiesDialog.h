// The properties window of one or several file-system items.
#pragma once

#include "shell/ItemProperties.h"

#include <QDialog>

class QFormLayout;

namespace quillon {

class PropertiesDialog : public QDialog {
    Q_OBJECT
public:
    explicit PropertiesDialog(const ItemProperties& properties, QWidget* parent = nullptr);

    // The text shown in the row with this caption ("Size:", "Owner:"...), empty if absent.
    QString rowText(const QString& caption) const;

private:
    void addRow(const QString& caption, const QString& text);

    QFormLayout* m_form;
};

// "3.3 MiB (3,456,789 bytes)" in the user's locale.
QString sizeText(qint64 bytes);

} // namespace quillon
