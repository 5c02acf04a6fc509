#include "ui/ShellTreeView.h"

#include "shell/PathInfo.h"
#include "shell/ShellChain.h"
#include "shell/ShellError.h"
#include "shell/ShellServices.h"
#include "ui/ShellTreeModel.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

namespace quillon {

ShellTreeView::ShellTreeView(QWidget* parent)
    : QTreeView(parent), m_model(new ShellTreeModel(this)) {
    setModel(m_model);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setIndentation(19);
    setUniformRowHeights(true);
    setSelectionMode(SingleSelection);
    setEditTriggers(NoEditTriggers); // F2 and the menu start a rename
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(DragDrop);
    setDropIndicatorShown(true);
    setAccessibleName(QStringLiteral("Folders"));

    m_dragExpandTimer.setSingleShot(true);
    m_dragExpandTimer.setTimerType(Qt::PreciseTimer);
    m_dragExpandTimer.setInterval(DragExpandDelay);
    connect(&m_dragExpandTimer, &QTimer::timeout, this, &ShellTreeView::expandHoveredFolder);
    connect(this, &QTreeView::expanded, m_model, &ShellTreeModel::ensureLoaded);
    connect(m_model, &ShellTreeModel::renameRefused, this, &reportRefusedRename);

    m_model->ensureLoaded(m_model->desktopIndex());
    expand(m_model->desktopIndex());
}

void ShellTreeView::openFolder(const QString& pathOrParsingName) {
    const ShellItem target = shellServices().resolve(pathOrParsingName);
    if (target.isNull() || !target.isFolder())
        throw ShellError::invalidFolder(pathOrParsingName);
    QModelIndex node = m_model->desktopIndex();
    for (const ShellItem& step : shellChainTo(target)) {
        expand(node);
        node = m_model->childFor(node, step.parsingPath());
        if (!node.isValid())
            throw ShellError::invalidFolder(pathOrParsingName);
    }
    setCurrentIndex(node);
    scrollTo(node);
}

ShellItem ShellTreeView::selectedFolder() const {
    return m_model->shellItem(currentIndex());
}

void ShellTreeView::refreshBranch(const QModelIndex& node) {
    m_model->refresh(node.isValid() ? node : m_model->desktopIndex());
}

void ShellTreeView::renameSelected() {
    const QModelIndex index = currentIndex();
    if (!index.isValid() || !(m_model->flags(index) & Qt::ItemIsEditable))
        return;
    scrollTo(index);
    edit(index);
}

void ShellTreeView::cancelEdit() {
    if (QWidget* editor = isEditing() ? indexWidget(currentIndex()) : nullptr)
        closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

void ShellTreeView::deleteSelected(bool permanent) {
    const QModelIndex index = currentIndex();
    const ShellItem folder = selectedFolder();
    if (!folder.isFileSystem())
        return;
    const QPersistentModelIndex parent = index.parent();
    shellServices().deleteItems({folder.parsingPath()}, permanent);
    if (!pathExists(folder.parsingPath()) && parent.isValid()) {
        setCurrentIndex(parent);
        refreshBranch(parent);
    }
}

void ShellTreeView::cutSelected() {
    const ShellItem folder = selectedFolder();
    if (folder.canCopy())
        shellServices().cut({folder.parsingPath()});
}

void ShellTreeView::copySelected() {
    const ShellItem folder = selectedFolder();
    if (folder.canCopy())
        shellServices().copy({folder.parsingPath()});
}

void ShellTreeView::paste() {
    const ShellItem folder = selectedFolder();
    if (!folder.isFileSystem() || !folder.isFolder() || !shellServices().clipboardHasFiles())
        return;
    shellServices().paste(folder.parsingPath());
    refreshBranch(currentIndex());
}

void ShellTreeView::propertiesOfSelection() {
    const ShellItem folder = selectedFolder();
    if (folder.hasPropertySheet())
        shellServices().showProperties({folder.parsingPath()});
}

void ShellTreeView::keyPressEvent(QKeyEvent* event) {
    // The item view would copy the folder's name as text.
    if (!isEditing()) {
        if (event->matches(QKeySequence::Copy)) {
            copySelected();
            return;
        }
        if (event->matches(QKeySequence::Cut)) {
            cutSelected();
            return;
        }
        if (event->matches(QKeySequence::Paste)) {
            paste();
            return;
        }
    }
    QTreeView::keyPressEvent(event);
}

void ShellTreeView::keyReleaseEvent(QKeyEvent* event) {
    QTreeView::keyReleaseEvent(event);
    // Commands act when their key goes up, once for a held key.
    if (event->isAutoRepeat() || isEditing())
        return;
    switch (event->key()) {
    case Qt::Key_Delete:
        deleteSelected(event->modifiers().testFlag(Qt::ShiftModifier));
        break;
    case Qt::Key_F2:
        if (!selectedFolder().isNull())
            renameSelected();
        break;
    case Qt::Key_F5:
        refresh();
        break;
    default:
        break;
    }
}

void ShellTreeView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    const QString path = m_model->pathOf(current);
    if (path == m_selectedPath)
        return;
    m_selectedPath = path;
    emit folderSelected(m_model->shellItem(current));
}

void ShellTreeView::startDrag(Qt::DropActions) {
    const ShellItem folder = selectedFolder();
    if (!folder.isFileSystem())
        return;
    startItemsDrag(this, {folder.parsingPath()},
                   folder.icon().pixmap(iconSize().isValid() ? iconSize() : QSize(16, 16)));
}

QString ShellTreeView::dropFolderAt(const QPoint& pos) const {
    const ShellItem folder = m_model->shellItem(indexAt(pos));
    return folder.isFileSystem() && folder.isFolder() ? folder.parsingPath() : QString();
}

void ShellTreeView::dragEnterEvent(QDragEnterEvent* event) {
    answerDragEnter(event);
}

void ShellTreeView::dragMoveEvent(QDragMoveEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (index != m_dragHover) {
        m_dragHover = index;
        if (index.isValid() && !isExpanded(index) && m_model->hasChildren(index))
            m_dragExpandTimer.start();
        else
            m_dragExpandTimer.stop();
    }
    answerDragOver(event, dropFolderAt(pos), visualRect(index));
}

void ShellTreeView::dragLeaveEvent(QDragLeaveEvent* event) {
    m_dragExpandTimer.stop();
    m_dragHover = QPersistentModelIndex();
    event->accept();
}

void ShellTreeView::dropEvent(QDropEvent* event) {
    m_dragExpandTimer.stop();
    m_dragHover = QPersistentModelIndex();
    const QPoint pos = event->position().toPoint();
    if (dropIntoFolder(event, dropFolderAt(pos)))
        refreshBranch(indexAt(pos));
}

void ShellTreeView::expandHoveredFolder() {
    if (m_dragHover.isValid())
        expand(m_dragHover);
}

void ShellTreeView::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid())
        return;
    setCurrentIndex(index);
    const ShellItem folder = selectedFolder();
    const bool onDisk = folder.isFileSystem();
    QMenu menu(this);
    menu.addAction(QStringLiteral("Open"), this,
                   [folder] { shellServices().open(folder.parsingPath()); })
        ->setEnabled(onDisk);
    menu.addSeparator();
    menu.addAction(QStringLiteral("Cut"), this, &ShellTreeView::cutSelected)
        ->setEnabled(folder.canCopy());
    menu.addAction(QStringLiteral("Copy"), this, &ShellTreeView::copySelected)
        ->setEnabled(folder.canCopy());
    menu.addAction(QStringLiteral("Paste"), this, &ShellTreeView::paste)
        ->setEnabled(onDisk && shellServices().clipboardHasFiles());
    menu.addSeparator();
    menu.addAction(QStringLiteral("Delete"), this,
                   [this] {
                       deleteSelected(
                           shellServices().keyboardModifiers().testFlag(Qt::ShiftModifier));
                   })
        ->setEnabled(onDisk);
    menu.addAction(QStringLiteral("Rename"), this, &ShellTreeView::renameSelected)
        ->setEnabled(m_model->flags(index).testFlag(Qt::ItemIsEditable));
    menu.addSeparator();
    menu.addAction(QStringLiteral("Properties"), this, &ShellTreeView::propertiesOfSelection)
        ->setEnabled(folder.hasPropertySheet());
    menu.exec(event->globalPos());
}

} // namespace quillon
