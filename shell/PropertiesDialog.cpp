#include "shell/PropertiesDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

namespace quillon {

namespace {

QString countText(int files, int folders) {
    const QLocale locale = QLocale::system();
    return QStringLiteral("%1 %2, %3 %4")
        .arg(locale.toString(files), files == 1 ? QStringLiteral("file") : QStringLiteral("files"),
             locale.toString(folders),
             folders == 1 ? QStringLiteral("folder") : QStringLiteral("folders"));
}

QString timeText(const QDateTime& time) {
    return time.isValid() ? QLocale::system().toString(time, QLocale::LongFormat) : QString();
}

} // namespace

QString sizeText(qint64 bytes) {
    const QLocale locale = QLocale::system();
    return QStringLiteral("%1 (%2 bytes)")
        .arg(locale.formattedDataSize(bytes), locale.toString(bytes));
}

PropertiesDialog::PropertiesDialog(const ItemProperties& properties, QWidget* parent)
    : QDialog(parent), m_form(new QFormLayout) {
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(m_form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);

    const bool single = properties.itemCount() == 1;
    if (single) {
        setWindowTitle(QStringLiteral("%1 Properties").arg(properties.name));
        addRow(QStringLiteral("Name:"), properties.name);
        addRow(QStringLiteral("Location:"), properties.location);
        addRow(QStringLiteral("Type:"), properties.type);
    } else {
        setWindowTitle(QStringLiteral("Properties"));
        addRow(QStringLiteral("Items:"), countText(properties.fileCount, properties.folderCount));
    }
    addRow(QStringLiteral("Size:"), sizeText(properties.totalSize));
    if (properties.folderCount > 0)
        addRow(QStringLiteral("Contains:"),
               countText(properties.containedFiles, properties.containedFolders));
    if (single) {
        addRow(QStringLiteral("Modified:"), timeText(properties.modified));
        addRow(QStringLiteral("Accessed:"), timeText(properties.accessed));
        addRow(QStringLiteral("Permissions:"), properties.permissions);
        addRow(QStringLiteral("Owner:"),
               QStringLiteral("%1 (group %2)").arg(properties.owner, properties.group));
    }
}

void PropertiesDialog::addRow(const QString& caption, const QString& text) {
    auto* value = new QLabel(text, this);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setAccessibleName(caption.chopped(1));
    m_form->addRow(caption, value);
}

QString PropertiesDialog::rowText(const QString& caption) const {
    for (int row = 0; row < m_form->rowCount(); ++row) {
        auto* label = qobject_cast<QLabel*>(m_form->itemAt(row, QFormLayout::LabelRole)->widget());
        auto* value = qobject_cast<QLabel*>(m_form->itemAt(row, QFormLayout::FieldRole)->widget());
        if (label && value && label->text() == caption)
            return value->text();
    }
    return {};
}

} // namespace quillon
