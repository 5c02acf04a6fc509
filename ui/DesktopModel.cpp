#include "ui/DesktopModel.h"

#include "shell/ShellServices.h"

#include <QStandardItemModel>

namespace quillon {

QStandardItemModel* makeDesktopModel(QObject* parent) {
    auto* model = new QStandardItemModel(parent);
    model->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"),
                                      QStringLiteral("Type"), QStringLiteral("Date Modified")});
    for (const ShellItem& child : shellServices().desktopChildren()) {
        auto* name = new QStandardItem(child.icon(), child.displayName());
        name->setData(child.parsingPath(), DesktopPathRole);
        QList<QStandardItem*> row{name, new QStandardItem,
                                  new QStandardItem(QStringLiteral("Folder")), new QStandardItem};
        for (QStandardItem* cell : row) {
            cell->setEditable(false);
            cell->setDropEnabled(true);
        }
        model->appendRow(row);
    }
    return model;
}

} // namespace quillon
