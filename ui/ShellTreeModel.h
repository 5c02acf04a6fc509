// The folders of the shell namespace as a lazily read item model: the Desktop at the top, its
// children from the shell services, each folder's sub-folders read when first needed. Loaded
// folders are watched, so folders made or removed elsewhere come and go by themselves.
#pragma once

#include "shell/FolderWatch.h"

#include "shell/ShellItem.h"

#include <QSet>
#include <QStandardItemModel>
#include <QTimer>

namespace quillon {

class ShellTreeModel : public QStandardItemModel {
    Q_OBJECT

public:
    enum Role {
        PathRole = Qt::UserRole + 1, // the parsing path
        LoadedRole,                  // the sub-folders have been read
        SubfoldersRole,              // 0 not probed yet, 1 has sub-folders, 2 has none
    };

    explicit ShellTreeModel(QObject* parent = nullptr);

    QModelIndex desktopIndex() const;
    ShellItem shellItem(const QModelIndex& index) const;
    QString pathOf(const QModelIndex& index) const;

    bool isLoaded(const QModelIndex& index) const;
    void ensureLoaded(const QModelIndex& index);
    // Re-reads a loaded node and every loaded folder below it: new folders come in, gone ones
    // go, the others stay in place with their own children (and so their expanded state).
    void refresh(const QModelIndex& index);
    // The child of a node for a path, loading the node first (and re-reading it once when the
    // folder is not there yet); invalid when there is none.
    QModelIndex childFor(const QModelIndex& parent, const QString& path);
    // Every loaded node showing the path (the home folder can show up twice: as "Home" and
    // under the file system root).
    QList<QModelIndex> loadedNodes(const QString& path) const;

    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    // Renames the folder on disk; a refused rename keeps the old name and says so.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

signals:
    // The view tells the user: a model opens no boxes.
    void renameRefused(const QString& oldName, const QString& typed);

private:
    QStandardItem* makeItem(const ShellItem& item, bool renamable) const;
    QList<ShellItem> readChildren(const QStandardItem* node) const;
    void fill(QStandardItem* node);
    void refreshNode(QStandardItem* node);
    void repath(QStandardItem* node, const QString& oldPath, const QString& newPath);
    void collectLoaded(QStandardItem* node, const QString& path, QList<QModelIndex>& out) const;
    void folderChangedOnDisk(const QString& path);
    void refreshChanged();

    FolderWatch m_watcher;
    QTimer m_changeTimer;
    QSet<QString> m_changed;
};

} // namespace quillon
