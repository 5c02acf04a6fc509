// Between the file list's source (the listed folder's file-system model, or the Desktop's
// items) and its views: hides the files the mask does not take, leaves sorting to the source,
// and tells of a refused rename.
#pragma once

#include "ui/FileMask.h"

#include <QSortFilterProxyModel>

namespace quillon {

class ShellListProxy : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit ShellListProxy(QObject* parent = nullptr);

    // Re-filters the rows the source already holds; nothing is read again.
    void setMask(const FileMask& mask, bool enabled);

    // The folder model sorts, folders first, as it reads; a sort of our own would fight it.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    // A refused rename keeps the old name and says so.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

signals:
    // The view tells the user: a model opens no boxes.
    void renameRefused(const QString& oldName, const QString& typed);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    FileMask m_mask;
    bool m_enabled = false;
};

} // namespace quillon
