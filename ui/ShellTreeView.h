// The folder tree of the shell namespace: the Desktop at the root, folders read as they are
// opened, renamed in place, dragged and dropped like in a file manager. The selected folder
// is what a bound file list shows.
#pragma once

#include "shell/ShellItem.h"
#include "ui/ShellView.h"

#include <QPersistentModelIndex>
#include <QTimer>
#include <QTreeView>

namespace quillon {

class ShellTreeModel;

class ShellTreeView : public QTreeView, public ShellView {
    Q_OBJECT

public:
    // How long a drag hovers over a collapsed folder before it opens.
    static constexpr int DragExpandDelay = 2000;

    explicit ShellTreeView(QWidget* parent = nullptr);

    ShellTreeModel* shellModel() const { return m_model; }

    // Resolves a path or parsing name against the Desktop, expands the tree down to it and
    // selects it. Throws ShellError::invalidFolder when it is not a folder.
    void openFolder(const QString& pathOrParsingName);
    // The selected folder; a null item when none is selected.
    ShellItem selectedFolder() const;
    // Re-reads the node's sub-folders (the first node for an invalid index), keeping the
    // expanded ones expanded.
    void refreshBranch(const QModelIndex& node = {});

    // The shell's verbs on the selected folder; each does nothing when it does not apply.
    void renameSelected() override;
    void deleteSelected(bool permanent) override;
    void cutSelected() override;
    void copySelected() override;
    void paste() override;
    void propertiesOfSelection() override;
    // The selected branch.
    void refresh() override { refreshBranch(currentIndex()); }

    bool isEditing() const override { return state() == EditingState; }
    // Ends an in-place rename, keeping the old name.
    void cancelEdit();

signals:
    void folderSelected(const ShellItem& folder);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    // The tree's own keys: the clipboard on the selected folder, Delete, F2 and F5.
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QString dropFolderAt(const QPoint& pos) const;
    void expandHoveredFolder();

    ShellTreeModel* m_model;
    QString m_selectedPath;
    QTimer m_dragExpandTimer;
    QPersistentModelIndex m_dragHover;
};

} // namespace quillon
