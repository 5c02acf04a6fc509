#include "ui/ShellListProxy.h"

#include "ui/FolderModel.h"

namespace quillon {

ShellListProxy::ShellListProxy(QObject* parent) : QSortFilterProxyModel(parent) {}

void ShellListProxy::setMask(const FileMask& mask, bool enabled) {
    m_mask = mask;
    m_enabled = enabled;
    invalidateFilter();
}

void ShellListProxy::sort(int column, Qt::SortOrder order) {
    if (sourceModel())
        sourceModel()->sort(column, order);
}

bool ShellListProxy::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole)
        return QSortFilterProxyModel::setData(index, value, role);
    const QString oldName = index.data(Qt::DisplayRole).toString();
    if (QSortFilterProxyModel::setData(index, value, role))
        return true;
    const QString newName = value.toString();
    if (newName != oldName)
        emit renameRefused(oldName, newName);
    return false;
}

bool ShellListProxy::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (!m_enabled || m_mask.isEmpty())
        return true;
    const auto* files = qobject_cast<const FolderModel*>(sourceModel());
    if (!files || sourceParent.isValid())
        return true; // the Desktop's items are never files
    const ListedEntry& entry = files->entry(sourceRow);
    return entry.isFolder() || m_mask.matches(entry.shownName);
}

} // namespace quillon
