// The file list of one folder: its folders and files (hidden ones too) in four view styles,
// filtered by the file mask, following changes on disk, renamed in place and dragged and
// dropped like in a file manager. Bound to a folder tree, it shows the tree's folder and
// makes the tree follow when it moves to another one.
//
// The items sit in one of two inner views (a list for the icon styles, a tree for the report).
// Key events reaching them are first offered to the filters installed on this widget (a filter
// that returns true consumes the key); drags they do not take (anything but files) go on to
// this widget, as in Qt's own way up.
#pragma once

#include "shell/ShellItem.h"
#include "ui/FileColumns.h"
#include "ui/FileMask.h"
#include "ui/ShellView.h"

#include <QPersistentModelIndex>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QAbstractItemModel;
class QAbstractItemView;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QListView;
class QMenu;
class QStackedLayout;
class QTreeView;

namespace quillon {

class FolderModel;
class ShellListProxy;
class ShellTreeView;

class ShellListView : public QWidget, public ShellView {
    Q_OBJECT

public:
    enum ViewStyle { Icons = 0, SmallIcons = 1, List = 2, Report = 3 };

    explicit ShellListView(QWidget* parent = nullptr);
    ~ShellListView() override;

    // The list shows the tree's selected folder; moving elsewhere makes the tree select it.
    void setTree(ShellTreeView* tree);
    ShellTreeView* tree() const;

    ShellItem folder() const { return m_folder; }
    QString folderPath() const { return m_folder.parsingPath(); }
    // Lists a folder by path or parsing name (through the tree when one is bound). Throws
    // ShellError::invalidFolder when it is not a folder.
    void setFolder(const QString& pathOrParsingName);
    // The parent of the listed folder; nothing when the tree cannot show it.
    void upOneLevel();
    // Reads the listed folder again.
    void refresh() override;
    // Makes "New Folder" (or "New Folder (n)") in the listed folder and starts renaming it.
    // Throws ShellError when the folder is read-only.
    void newFolder();

    int viewStyle() const { return m_viewStyle; }
    void setViewStyle(int style);
    // The inner view that shows the items in the current style.
    QAbstractItemView* itemView() const;

    // Reads the columns that come from inside the files; without one the header offers none.
    void setFileColumnReader(FileColumnReader reader);
    // The columns from inside the files that the report shows, chosen on its header's menu.
    FileColumnSet fileColumns() const { return m_fileColumns; }
    void setFileColumns(FileColumnSet columns);

    QString fileMask() const { return m_maskText; }
    // A new mask that is not empty re-masks the items held, at once, while masking is on; an
    // empty one lets everything pass from the next listing on.
    void setFileMask(const QString& mask);
    bool isMasked() const { return m_masked; }
    void setMasked(bool masked);

    // The item clicked or moved to last (a null item when none since the folder was listed).
    ShellItem currentItem() const;
    QStringList selectedPaths() const; // in list order
    int selectedCount() const;
    int itemCount() const;         // items shown, after masking
    QStringList itemNames() const; // captions in list order
    // True once the listed folder has been read whole.
    bool isFilled() const { return m_filled; }
    // True from a change on disk until the list has followed it (a burst is followed once).
    bool hasChangeToFollow() const { return m_changePending; }

    void selectAll();
    void invertSelection();
    // Selects the items of the listed folder with these file names (and no others), the
    // first of them becoming the current item; false when none is listed.
    bool selectNames(const QStringList& names);

    // The shell's verbs; each does nothing when it does not apply.
    void deleteSelected(bool permanent) override;
    void cutSelected() override;
    void copySelected() override;
    void paste() override; // into the listed folder
    // Properties of the selection, or of the listed folder when nothing is selected.
    void propertiesOfSelection() override;
    // The first selected item; nothing when none is selected.
    void renameSelected() override;
    bool isEditing() const override;
    // Ends an in-place rename, keeping the old name.
    void cancelEdit();

signals:
    // Any click in the list, on an item or on empty space, after the selection has changed.
    void clicked();
    // The list has been filled or refilled (a new mask included).
    void listFilled();
    // The list has followed a change made elsewhere in the listed folder.
    void shellChanged();
    void folderChanged(const QString& parsingPath);
    // The user chose other columns on the header's menu.
    void fileColumnsChanged();

protected:
    bool event(QEvent* event) override;

private:
    template <class Base> class Pane;

    void listFolder(const ShellItem& folder);
    void configureList(int style);
    QModelIndex rootIndex() const;
    ShellItem itemAt(const QModelIndex& index) const;
    QString pathAt(const QModelIndex& index) const;
    QList<QModelIndex> selectedRows() const;
    void applyMask();
    void applyFileColumns();

    // Called by the inner views.
    bool offerToFilters(QKeyEvent* event);
    // The list's own keys: the clipboard, Backspace, Enter on a folder, Delete, F2, F5, and the
    // keys that move through the list, which show the item moved to. True when it took the key.
    bool ownKey(QKeyEvent* event);
    void passKeyAbove(QKeyEvent* event);
    void itemPressed(const QModelIndex& index);
    void itemMovedTo(const QModelIndex& index) { itemPressed(index); }
    void itemDoubleClicked(const QModelIndex& index);
    void startItemDrag();
    QString dropFolderAt(const QModelIndex& index, const QMimeData* data) const;
    void dragMovedOver(QDragMoveEvent* event, const QModelIndex& index);
    void droppedOn(QDropEvent* event, const QModelIndex& index);
    void showContextMenu(const QModelIndex& index, const QPoint& globalPos);

    void folderFilled();
    void sourceAboutToChange(const QModelIndex& parent);
    void sourceChanged(const QModelIndex& parent);
    void followOutsideChange();

    // First, so that they are set before the child widgets made in the member
    // initializers send their events to event().
    bool m_offering = false;
    bool m_offerReached = false;
    QPointer<ShellTreeView> m_tree;
    ShellItem m_folder;
    QStackedLayout* m_stack;
    Pane<QListView>* m_icons;
    Pane<QTreeView>* m_report;
    ShellListProxy* m_proxy;
    QPointer<QAbstractItemModel> m_source;
    FolderModel* m_files = nullptr; // the source while a folder on disk is listed
    int m_viewStyle = Report;
    QList<int> m_columnWidths; // of the report's columns, kept across listings
    bool m_applyingWidths = false;
    FileColumnReader m_columnReader;
    FileColumnSet m_fileColumns = 0;
    QMenu* m_columnMenu;

    QString m_maskText;
    bool m_masked = false;
    bool m_filled = false;
    QPersistentModelIndex m_current;
    QPersistentModelIndex m_editing;

    // The first selected item before an outside change, to select it again afterwards.
    QTimer m_changeTimer;
    bool m_changePending = false;
    QString m_firstSelectedName;
    int m_firstSelectedRow = -1;
};

} // namespace quillon
