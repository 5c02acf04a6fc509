#include "ui/ShellTreeModel.h"

#include "shell/ShellServices.h"

#include "shell/FileName.h"
#include "shell/FolderEntries.h"
#include "shell/PathInfo.h"

#include <QDir>
#include <cstdio>
#include <utility>

namespace quillon {

ShellTreeModel::ShellTreeModel(QObject* parent) : QStandardItemModel(parent) {
    appendRow(makeItem(ShellItem::desktop(), false));
    // Changes come in bursts (a copy of many folders); read each folder once per burst.
    m_changeTimer.setSingleShot(true);
    m_changeTimer.setInterval(100);
    connect(&m_changeTimer, &QTimer::timeout, this, &ShellTreeModel::refreshChanged);
    connect(&m_watcher, &FolderWatch::directoryChanged, this, &ShellTreeModel::folderChangedOnDisk);
}

QModelIndex ShellTreeModel::desktopIndex() const {
    return index(0, 0);
}

QString ShellTreeModel::pathOf(const QModelIndex& index) const {
    return index.data(PathRole).toString();
}

ShellItem ShellTreeModel::shellItem(const QModelIndex& index) const {
    if (!index.isValid())
        return {};
    if (index == desktopIndex())
        return ShellItem::desktop();
    return ShellItem::fromPath(pathOf(index), index.data(Qt::DisplayRole).toString());
}

QStandardItem* ShellTreeModel::makeItem(const ShellItem& item, bool renamable) const {
    auto* node = new QStandardItem(item.icon(), item.displayName());
    node->setData(item.parsingPath(), PathRole);
    node->setData(false, LoadedRole);
    node->setData(0, SubfoldersRole);
    node->setEditable(renamable);
    node->setDragEnabled(!item.isDesktop());
    node->setDropEnabled(true);
    return node;
}

// A node's first rows would otherwise bring its column along inside their own insertion, a
// change within a change that views and proxies are not told of in order.
static void giveColumn(QStandardItem* node) {
    if (node->columnCount() == 0)
        node->setColumnCount(1);
}

QList<ShellItem> ShellTreeModel::readChildren(const QStandardItem* node) const {
    const QModelIndex index = node->index();
    return shellServices().children(shellItem(index), true);
}

bool ShellTreeModel::isLoaded(const QModelIndex& index) const {
    return index.data(LoadedRole).toBool();
}

void ShellTreeModel::ensureLoaded(const QModelIndex& index) {
    if (QStandardItem* node = itemFromIndex(index); node && !isLoaded(index))
        fill(node);
}

void ShellTreeModel::fill(QStandardItem* node) {
    node->setData(true, LoadedRole);
    const bool underDesktop = node->index() == desktopIndex();
    QList<QStandardItem*> rows;
    for (const ShellItem& child : readChildren(node))
        rows << makeItem(child, !underDesktop);
    if (!rows.isEmpty()) {
        giveColumn(node);
        node->appendRows(rows);
    }
    node->setData(rows.isEmpty() ? 2 : 1, SubfoldersRole);
    const QString path = pathOf(node->index());
    if (!underDesktop && isDirectory(path))
        m_watcher.addPath(path);
}

void ShellTreeModel::refresh(const QModelIndex& index) {
    if (QStandardItem* node = itemFromIndex(index))
        refreshNode(node);
}

void ShellTreeModel::refreshNode(QStandardItem* node) {
    if (!isLoaded(node->index())) {
        node->setData(0, SubfoldersRole); // probe again when next asked
        return;
    }
    const bool underDesktop = node->index() == desktopIndex();
    const QList<ShellItem> children = readChildren(node);
    QSet<QString> wanted;
    for (const ShellItem& child : children)
        wanted.insert(child.parsingPath());
    for (int row = node->rowCount() - 1; row >= 0; --row)
        if (!wanted.contains(node->child(row)->data(PathRole).toString()))
            node->removeRow(row);
    for (int i = 0; i < children.size(); ++i) {
        const QString path = children[i].parsingPath();
        int found = -1;
        for (int row = i; row < node->rowCount() && found < 0; ++row)
            if (node->child(row)->data(PathRole).toString() == path)
                found = row;
        if (found == i)
            continue;
        giveColumn(node);
        if (found < 0)
            node->insertRow(i, makeItem(children[i], !underDesktop));
        else
            node->insertRow(i, node->takeRow(found));
    }
    node->setData(children.isEmpty() ? 2 : 1, SubfoldersRole);
    for (int row = 0; row < node->rowCount(); ++row)
        refreshNode(node->child(row));
}

QModelIndex ShellTreeModel::childFor(const QModelIndex& parent, const QString& path) {
    const auto find = [&]() -> QModelIndex {
        for (int row = 0; row < rowCount(parent); ++row) {
            const QModelIndex child = index(row, 0, parent);
            if (pathOf(child) == path)
                return child;
        }
        return {};
    };
    if (!isLoaded(parent)) {
        ensureLoaded(parent);
        return find();
    }
    QModelIndex child = find();
    if (!child.isValid()) {
        refresh(parent);
        child = find();
    }
    return child;
}

QList<QModelIndex> ShellTreeModel::loadedNodes(const QString& path) const {
    QList<QModelIndex> nodes;
    collectLoaded(item(0), QDir::cleanPath(path), nodes);
    return nodes;
}

void ShellTreeModel::collectLoaded(QStandardItem* node, const QString& path,
                                   QList<QModelIndex>& out) const {
    if (!node || !node->data(LoadedRole).toBool())
        return;
    if (node->data(PathRole).toString() == path)
        out << node->index();
    for (int row = 0; row < node->rowCount(); ++row)
        collectLoaded(node->child(row), path, out);
}

bool ShellTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid() || isLoaded(parent))
        return QStandardItemModel::hasChildren(parent);
    if (parent == desktopIndex())
        return true;
    QStandardItem* node = itemFromIndex(parent);
    int known = node->data(SubfoldersRole).toInt();
    if (known == 0) {
        // Asked as the view paints: a huge folder is not read whole for it (its expander then
        // shows until it is opened).
        known = seemsToHaveSubfolders(pathOf(parent)) ? 1 : 2;
        const QSignalBlocker quiet(const_cast<ShellTreeModel*>(this));
        node->setData(known, SubfoldersRole);
    }
    return known == 1;
}

bool ShellTreeModel::canFetchMore(const QModelIndex& parent) const {
    return parent.isValid() && !isLoaded(parent);
}

void ShellTreeModel::fetchMore(const QModelIndex& parent) {
    ensureLoaded(parent);
}

bool ShellTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole)
        return QStandardItemModel::setData(index, value, role);
    QStandardItem* node = itemFromIndex(index);
    if (!node)
        return false;
    const QString typed = value.toString();
    if (typed == node->text())
        return true;
    const QString oldPath = pathOf(index);
    const QString oldName = fileNameOf(oldPath);
    // The typed name over the shown one: "\xE9" stands for the byte again where the old name
    // held raw bytes.
    const QString name = fileNameFromDisplay(typed, oldName);
    const QString newPath = childPath(folderOf(oldPath), name);
    const bool validName = !name.isEmpty() && !name.contains(QLatin1Char('/')) &&
                           name != QLatin1String(".") && name != QLatin1String("..");
    if (!validName || pathExists(newPath) ||
        ::rename(fileNameBytes(oldPath).constData(), fileNameBytes(newPath).constData()) != 0) {
        emit renameRefused(displayFileName(oldName), typed);
        return false;
    }
    node->setText(displayFileName(name));
    repath(node, oldPath, newPath);
    return true;
}

void ShellTreeModel::repath(QStandardItem* node, const QString& oldPath, const QString& newPath) {
    const QString path = node->data(PathRole).toString();
    node->setData(newPath + path.mid(oldPath.size()), PathRole);
    if (node->data(LoadedRole).toBool() && isDirectory(node->data(PathRole).toString()))
        m_watcher.addPath(node->data(PathRole).toString());
    for (int row = 0; row < node->rowCount(); ++row)
        repath(node->child(row), oldPath, newPath);
}

void ShellTreeModel::folderChangedOnDisk(const QString& path) {
    m_changed.insert(QDir::cleanPath(path));
    m_changeTimer.start();
}

void ShellTreeModel::refreshChanged() {
    const QSet<QString> changed = std::exchange(m_changed, {});
    QList<QPersistentModelIndex> nodes; // one refresh may remove the node of another
    for (const QString& path : changed)
        for (const QModelIndex& node : loadedNodes(path))
            nodes << node;
    for (const QPersistentModelIndex& node : nodes)
        if (node.isValid())
            refresh(node);
}

} // namespace quillon
