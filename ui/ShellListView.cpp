#include "ui/ShellListView.h"

#include "shell/FileName.h"
#include "shell/PathInfo.h"
#include "shell/ShellError.h"
#include "shell/ShellServices.h"
#include "ui/DesktopModel.h"
#include "ui/FolderModel.h"
#include "ui/ShellListPane.h"
#include "ui/ShellListProxy.h"
#include "ui/ShellTreeView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QHeaderView>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QStackedLayout>
#include <QStandardItemModel>
#include <QTreeView>

namespace quillon {

ShellListView::ShellListView(QWidget* parent)
    : QWidget(parent), m_stack(new QStackedLayout(this)), m_icons(new Pane<QListView>(this)),
      m_report(new Pane<QTreeView>(this)), m_proxy(new ShellListProxy(this)),
      m_columnMenu(new QMenu(this)) {
    setAccessibleName(QStringLiteral("Files"));
    setAcceptDrops(true); // for the drags the inner views leave alone
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_icons);
    m_stack->addWidget(m_report);

    m_icons->setModel(m_proxy);
    m_report->setModel(m_proxy);
    connect(m_proxy, &ShellListProxy::renameRefused, this, &reportRefusedRename);
    QItemSelectionModel* unused = m_report->selectionModel();
    m_report->setSelectionModel(m_icons->selectionModel()); // one selection for every style
    delete unused;

    m_icons->setUniformItemSizes(true);
    m_icons->setLayoutMode(QListView::Batched); // large folders lay out without a pause
    m_icons->setBatchSize(500);
    m_icons->setMovement(QListView::Static);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setAccessibleName(accessibleName());
    m_report->setRootIsDecorated(false);
    m_report->setItemsExpandable(false);
    m_report->setExpandsOnDoubleClick(false);
    m_report->setUniformRowHeights(true);
    m_report->setAllColumnsShowFocus(true);
    m_report->setSortingEnabled(true);
    m_report->header()->setSortIndicator(0, Qt::AscendingOrder);
    // Each listing brings a new model and the header forgets its widths: keep them here, so
    // that the user's widths stay from folder to folder.
    const QFontMetrics metrics(m_report->font());
    const int iconRoom = m_report->style()->pixelMetric(QStyle::PM_SmallIconSize) + 12;
    const int padding = 16;
    m_columnWidths = {iconRoom + metrics.horizontalAdvance(
                                     QStringLiteral("Artist Name - A Longer Song Title.mp3")),
                      padding + metrics.horizontalAdvance(QStringLiteral("999.99 KiB")),
                      padding + metrics.horizontalAdvance(QStringLiteral("MP3 audio file")),
                      padding + std::max(metrics.horizontalAdvance(QStringLiteral("Date Modified")),
                                         metrics.horizontalAdvance(QLocale().toString(
                                             QDateTime(QDate(2026, 12, 31), QTime(23, 59)),
                                             QLocale::ShortFormat)))};
    for (const FileColumnInfo& column : FileColumns) {
        const QString caption =
            QString::fromLatin1(column.caption.data(), qsizetype(column.caption.size()));
        const QString typical = column.numeric ? caption : QStringLiteral("A Typical Long Name");
        m_columnWidths.append(padding + std::max(metrics.horizontalAdvance(caption),
                                                 metrics.horizontalAdvance(typical)));
    }
    QHeaderView* header = m_report->header();
    connect(header, &QHeaderView::sectionCountChanged, this, [this, header](int, int count) {
        m_applyingWidths = true;
        for (int column = 0; column < std::min(count, int(m_columnWidths.size())); ++column)
            header->resizeSection(column, m_columnWidths[column]);
        m_applyingWidths = false;
        applyFileColumns();
    });
    connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (!m_applyingWidths && column < m_columnWidths.size() && width > 0)
            m_columnWidths[column] = width;
    });
    m_report->setAccessibleName(accessibleName());

    m_columnMenu->setObjectName(QStringLiteral("FileColumnsMenu"));
    for (int column = 0; column < FileColumnCount; ++column) {
        const std::string_view caption = FileColumns[size_t(column)].caption;
        QAction* action =
            m_columnMenu->addAction(QString::fromLatin1(caption.data(), qsizetype(caption.size())));
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, column](bool on) {
            setFileColumns(on ? m_fileColumns | columnBit(column)
                              : m_fileColumns & ~columnBit(column));
            emit fileColumnsChanged();
        });
    }
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QWidget::customContextMenuRequested, this, [this, header](const QPoint& at) {
        if (m_columnReader)
            m_columnMenu->popup(header->mapToGlobal(at));
    });

    // Outside changes come in bursts; follow each burst once.
    m_changeTimer.setSingleShot(true);
    m_changeTimer.setInterval(50);
    connect(&m_changeTimer, &QTimer::timeout, this, &ShellListView::followOutsideChange);

    setViewStyle(Report);
}

ShellListView::~ShellListView() = default;

ShellTreeView* ShellListView::tree() const {
    return m_tree;
}

void ShellListView::setTree(ShellTreeView* tree) {
    if (m_tree)
        disconnect(m_tree, nullptr, this, nullptr);
    m_tree = tree;
    if (!tree)
        return;
    connect(tree, &ShellTreeView::folderSelected, this, [this](const ShellItem& folder) {
        if (!folder.isNull())
            listFolder(folder);
    });
    const ShellItem selected = tree->selectedFolder();
    if (!selected.isNull() && !(selected == m_folder))
        listFolder(selected);
}

void ShellListView::setFolder(const QString& pathOrParsingName) {
    if (m_tree) {
        m_tree->openFolder(pathOrParsingName); // the tree's selection lists it
        return;
    }
    const ShellItem folder = shellServices().resolve(pathOrParsingName);
    if (folder.isNull() || !folder.isFolder())
        throw ShellError::invalidFolder(pathOrParsingName);
    listFolder(folder);
}

void ShellListView::upOneLevel() {
    const ShellItem parent = shellServices().parent(m_folder);
    if (parent.isNull())
        return;
    try {
        setFolder(parent.parsingPath());
    } catch (const ShellError&) {
        // The tree has no node for it: stay.
    }
}

void ShellListView::refresh() {
    if (!m_folder.isNull())
        listFolder(m_folder);
}

void ShellListView::listFolder(const ShellItem& folder) {
    m_folder = folder;
    m_current = QPersistentModelIndex();
    m_editing = QPersistentModelIndex();
    m_filled = false;
    m_changeTimer.stop();
    m_changePending = false;
    applyMask();

    // A fresh source per listing: the folder is read anew and nothing of the last one stays.
    QAbstractItemModel* old = m_source;
    m_files = nullptr;
    if (folder.isDesktop()) {
        m_source = makeDesktopModel(this);
        m_proxy->setSourceModel(m_source);
    } else {
        const QHeaderView* header = m_report->header();
        m_files = new FolderModel(folder.parsingPath(), this, m_columnReader, m_fileColumns);
        m_files->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
        m_source = m_files;
        connect(m_files, &FolderModel::filled, this, &ShellListView::folderFilled);
        connect(m_files, &QAbstractItemModel::rowsAboutToBeInserted, this,
                [this](const QModelIndex& parent) { sourceAboutToChange(parent); });
        connect(m_files, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                [this](const QModelIndex& parent) { sourceAboutToChange(parent); });
        connect(m_files, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex& parent) { sourceChanged(parent); });
        connect(m_files, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex& parent) { sourceChanged(parent); });
        m_proxy->setSourceModel(m_files);
    }
    if (old)
        old->deleteLater();
    m_icons->setRootIndex(rootIndex());
    m_report->setRootIndex(rootIndex());
    emit folderChanged(folder.parsingPath());
    if (folder.isDesktop()) {
        m_filled = true;
        emit listFilled();
    }
}

void ShellListView::folderFilled() {
    if (m_filled || !m_files || sender() != m_files)
        return;
    m_filled = true;
    emit listFilled();
}

QModelIndex ShellListView::rootIndex() const {
    return {};
}

void ShellListView::setViewStyle(int style) {
    style = std::clamp(style, int(Icons), int(Report));
    const bool hadFocus = itemView()->hasFocus();
    m_viewStyle = style;
    if (style != Report)
        configureList(style);
    m_stack->setCurrentWidget(itemView());
    setFocusProxy(itemView());
    if (hadFocus)
        itemView()->setFocus();
}

void ShellListView::configureList(int style) {
    const int small = m_icons->style()->pixelMetric(QStyle::PM_SmallIconSize);
    const int large = m_icons->style()->pixelMetric(QStyle::PM_LargeIconSize);
    switch (style) {
    case Icons:
        m_icons->setViewMode(QListView::IconMode);
        m_icons->setIconSize(QSize(large, large));
        m_icons->setGridSize(QSize(large * 3, large * 2 + m_icons->fontMetrics().height() * 2));
        m_icons->setWordWrap(true);
        break;
    case SmallIcons:
        m_icons->setViewMode(QListView::ListMode);
        m_icons->setFlow(QListView::LeftToRight);
        m_icons->setWrapping(true);
        m_icons->setIconSize(QSize(small, small));
        m_icons->setGridSize(QSize(small * 10, small + 6));
        m_icons->setWordWrap(false);
        break;
    default: // List: columns of names, top to bottom
        m_icons->setViewMode(QListView::ListMode);
        m_icons->setFlow(QListView::TopToBottom);
        m_icons->setWrapping(true);
        m_icons->setIconSize(QSize(small, small));
        m_icons->setGridSize(QSize());
        m_icons->setWordWrap(false);
        break;
    }
    m_icons->setMovement(QListView::Static);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setSelectionRectVisible(true);
    // A static movement turns dragging and dropping off; items still go to other folders.
    m_icons->setDragEnabled(true);
    m_icons->viewport()->setAcceptDrops(true);
}

QAbstractItemView* ShellListView::itemView() const {
    if (m_viewStyle == Report)
        return m_report;
    return m_icons;
}

void ShellListView::setFileColumnReader(FileColumnReader reader) {
    m_columnReader = std::move(reader);
}

void ShellListView::setFileColumns(FileColumnSet columns) {
    columns &= columnBit(FileColumnCount) - 1;
    if (columns == m_fileColumns)
        return;
    m_fileColumns = columns;
    applyFileColumns();
    if (m_files)
        m_files->setWantedColumns(columns);
}

void ShellListView::applyFileColumns() {
    const QList<QAction*> actions = m_columnMenu->actions();
    QHeaderView* header = m_report->header();
    for (int column = 0; column < FileColumnCount; ++column) {
        const bool shown = (m_fileColumns & columnBit(column)) != 0;
        actions[column]->setChecked(shown);
        const int section = FolderModel::FirstFileColumn + column;
        if (section < header->count())
            header->setSectionHidden(section, !shown);
    }
}

void ShellListView::applyMask() {
    m_proxy->setMask(FileMask(m_maskText), m_masked);
}

void ShellListView::setFileMask(const QString& mask) {
    if (mask == m_maskText)
        return;
    m_maskText = mask;
    if (mask.isEmpty() || !m_masked)
        return;
    applyMask();
    if (m_filled)
        emit listFilled();
}

void ShellListView::setMasked(bool masked) {
    if (masked == m_masked)
        return;
    m_masked = masked;
    applyMask();
    if (m_filled)
        emit listFilled();
}

ShellItem ShellListView::itemAt(const QModelIndex& index) const {
    const QString path = pathAt(index);
    if (path.isEmpty())
        return {};
    return ShellItem::fromPath(path, index.siblingAtColumn(0).data().toString());
}

QString ShellListView::pathAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != m_proxy)
        return {};
    const QModelIndex source = m_proxy->mapToSource(index.siblingAtColumn(0));
    if (m_files)
        return m_files->path(source.row());
    return source.data(DesktopPathRole).toString();
}

ShellItem ShellListView::currentItem() const {
    return itemAt(m_current);
}

QList<QModelIndex> ShellListView::selectedRows() const {
    QList<QModelIndex> rows;
    const QModelIndex root = rootIndex();
    for (const QModelIndex& index : m_icons->selectionModel()->selectedIndexes())
        if (index.column() == 0 && index.parent() == root)
            rows << index;
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    return rows;
}

QStringList ShellListView::selectedPaths() const {
    QStringList paths;
    for (const QModelIndex& index : selectedRows())
        paths << pathAt(index);
    return paths;
}

int ShellListView::selectedCount() const {
    return int(selectedRows().size());
}

int ShellListView::itemCount() const {
    return m_proxy->rowCount(rootIndex());
}

QStringList ShellListView::itemNames() const {
    QStringList names;
    const QModelIndex root = rootIndex();
    for (int row = 0; row < m_proxy->rowCount(root); ++row)
        names << m_proxy->index(row, 0, root).data().toString();
    return names;
}

void ShellListView::selectAll() {
    const QModelIndex root = rootIndex();
    const int rows = m_proxy->rowCount(root);
    if (rows == 0)
        return;
    const QItemSelection all(m_proxy->index(0, 0, root), m_proxy->index(rows - 1, 0, root));
    m_icons->selectionModel()->select(all, QItemSelectionModel::ClearAndSelect |
                                               QItemSelectionModel::Rows);
}

bool ShellListView::selectNames(const QStringList& names) {
    const QModelIndex root = rootIndex();
    QItemSelection selection;
    QModelIndex first;
    for (int row = 0; row < m_proxy->rowCount(root); ++row) {
        const QModelIndex index = m_proxy->index(row, 0, root);
        if (!names.contains(fileNameOf(pathAt(index))))
            continue;
        selection.select(index, index);
        if (!first.isValid())
            first = index;
    }
    if (!first.isValid())
        return false;
    QItemSelectionModel* model = m_icons->selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    model->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    itemView()->scrollTo(first);
    m_current = first;
    return true;
}

void ShellListView::invertSelection() {
    const QModelIndex root = rootIndex();
    const int rows = m_proxy->rowCount(root);
    QItemSelectionModel* selection = m_icons->selectionModel();
    QItemSelection inverted;
    int first = -1; // start of the current run of unselected rows
    for (int row = 0; row <= rows; ++row) {
        const bool take = row < rows && !selection->isSelected(m_proxy->index(row, 0, root));
        if (take && first < 0)
            first = row;
        if (!take && first >= 0) {
            inverted.select(m_proxy->index(first, 0, root), m_proxy->index(row - 1, 0, root));
            first = -1;
        }
    }
    selection->select(inverted, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ShellListView::deleteSelected(bool permanent) {
    const QStringList paths = selectedPaths();
    if (!paths.isEmpty())
        shellServices().deleteItems(paths, permanent);
}

void ShellListView::cutSelected() {
    const QList<QModelIndex> rows = selectedRows();
    if (!rows.isEmpty() && itemAt(rows.first()).canCopy())
        shellServices().cut(selectedPaths());
}

void ShellListView::copySelected() {
    const QList<QModelIndex> rows = selectedRows();
    if (!rows.isEmpty() && itemAt(rows.first()).canCopy())
        shellServices().copy(selectedPaths());
}

void ShellListView::paste() {
    m_icons->selectionModel()->clearSelection();
    if (m_folder.isFileSystem() && m_folder.isFolder() && shellServices().clipboardHasFiles())
        shellServices().paste(folderPath());
}

void ShellListView::propertiesOfSelection() {
    const QList<QModelIndex> rows = selectedRows();
    if (rows.isEmpty()) {
        if (m_folder.hasPropertySheet())
            shellServices().showProperties({folderPath()});
        return;
    }
    if (itemAt(rows.first()).hasPropertySheet())
        shellServices().showProperties(selectedPaths());
}

void ShellListView::renameSelected() {
    const QList<QModelIndex> rows = selectedRows();
    if (rows.isEmpty() || !(m_proxy->flags(rows.first()) & Qt::ItemIsEditable))
        return;
    m_editing = rows.first();
    itemView()->scrollTo(rows.first());
    itemView()->edit(rows.first());
}

bool ShellListView::isEditing() const {
    return m_viewStyle == Report ? m_report->editing() : m_icons->editing();
}

void ShellListView::cancelEdit() {
    if (!isEditing())
        return;
    if (m_viewStyle == Report)
        m_report->cancelEdit(m_editing);
    else
        m_icons->cancelEdit(m_editing);
}

void ShellListView::newFolder() {
    if (!m_files || m_folder.isReadOnly())
        throw ShellError("Cannot create folder: Parent folder is read-only");
    const QString base = QStringLiteral("New Folder");
    const QStringList shown = itemNames();
    QString candidate = base;
    // A file the mask hides would make the folder fail: step over names taken on disk too.
    for (int n = 2; shown.contains(candidate, Qt::CaseInsensitive) ||
                    pathExists(childPath(folderPath(), candidate));
         ++n)
        candidate = QStringLiteral("%1 (%2)").arg(base).arg(n);
    const int row = m_files->makeFolder(candidate);
    if (row < 0)
        throw ShellError(QStringLiteral("Cannot create folder \"%1\"").arg(candidate));
    const QModelIndex created = m_files->index(row, 0);
    const QModelIndex index = m_proxy->mapFromSource(created);
    QAbstractItemView* view = itemView();
    view->setFocus();
    view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    view->scrollTo(index);
    m_editing = index;
    view->edit(index);
}

void ShellListView::itemPressed(const QModelIndex& index) {
    m_current = index.siblingAtColumn(0);
}

void ShellListView::itemDoubleClicked(const QModelIndex& index) {
    const ShellItem item = itemAt(index);
    if (item.isFolder())
        setFolder(item.parsingPath());
    else if (item.isFileSystem())
        shellServices().open(item.parsingPath());
}

void ShellListView::startItemDrag() {
    const QStringList paths = selectedPaths();
    if (paths.isEmpty() || !m_files)
        return;
    startItemsDrag(this, paths, {});
}

QString ShellListView::dropFolderAt(const QModelIndex& index, const QMimeData* data) const {
    ShellItem target = itemAt(index);
    if (!target.isFolder())
        target = m_folder; // a file or empty space: the listed folder
    if (!target.isFileSystem() || !target.isFolder())
        return {};
    const QString folder = target.parsingPath();
    const QStringList paths = shellServices().droppedPaths(data);
    // Dropping items where they already are, or a folder on itself, does nothing.
    bool elsewhere = false;
    for (const QString& path : paths) {
        if (QDir::cleanPath(path) == folder)
            return {};
        if (folderOf(QDir::cleanPath(path)) != folder)
            elsewhere = true;
    }
    return elsewhere ? folder : QString();
}

void ShellListView::dragMovedOver(QDragMoveEvent* event, const QModelIndex& index) {
    answerDragOver(event, dropFolderAt(index, event->mimeData()));
}

void ShellListView::droppedOn(QDropEvent* event, const QModelIndex& index) {
    dropIntoFolder(event, dropFolderAt(index, event->mimeData()));
}

void ShellListView::showContextMenu(const QModelIndex& index, const QPoint& globalPos) {
    const ShellItem item = itemAt(index);
    const bool onDisk = m_files != nullptr;
    const bool selection = selectedCount() > 0;
    QMenu menu(this);
    menu.addAction(QStringLiteral("Open"), this,
                   [this, index] {
                       if (index.isValid())
                           itemDoubleClicked(index);
                   })
        ->setEnabled(!item.isNull());
    menu.addSeparator();
    menu.addAction(QStringLiteral("Cut"), this, &ShellListView::cutSelected)->setEnabled(selection);
    menu.addAction(QStringLiteral("Copy"), this, &ShellListView::copySelected)
        ->setEnabled(selection);
    menu.addAction(QStringLiteral("Paste"), this, &ShellListView::paste)
        ->setEnabled(onDisk && shellServices().clipboardHasFiles());
    menu.addSeparator();
    menu.addAction(QStringLiteral("Delete"), this,
                   [this] {
                       deleteSelected(
                           shellServices().keyboardModifiers().testFlag(Qt::ShiftModifier));
                   })
        ->setEnabled(onDisk && selection);
    menu.addAction(QStringLiteral("Rename"), this, &ShellListView::renameSelected)
        ->setEnabled(onDisk && selection);
    menu.addAction(QStringLiteral("New Folder"), this, &ShellListView::newFolder)
        ->setEnabled(onDisk);
    menu.addAction(QStringLiteral("Refresh"), this, &ShellListView::refresh);
    menu.addSeparator();
    menu.addAction(QStringLiteral("Properties"), this, &ShellListView::propertiesOfSelection);
    menu.exec(globalPos);
}

void ShellListView::sourceAboutToChange(const QModelIndex& parent) {
    if (!m_filled || m_changePending || parent.isValid())
        return;
    // Remember the first selected item as it was before this burst of changes.
    m_changePending = true;
    const QList<QModelIndex> rows = selectedRows();
    m_firstSelectedName = rows.isEmpty() ? QString() : rows.first().data().toString();
    m_firstSelectedRow = rows.isEmpty() ? -1 : rows.first().row();
}

void ShellListView::sourceChanged(const QModelIndex& parent) {
    if (m_filled && m_changePending && !parent.isValid())
        m_changeTimer.start();
}

void ShellListView::followOutsideChange() {
    m_changePending = false;
    if (isEditing())
        return; // the editor sits on an item that may have moved: leave the list alone
    if (m_firstSelectedRow >= 0) {
        const QModelIndex root = rootIndex();
        const int rows = m_proxy->rowCount(root);
        QModelIndex target;
        for (int row = 0; row < rows && !target.isValid(); ++row) {
            const QModelIndex index = m_proxy->index(row, 0, root);
            if (index.data().toString() == m_firstSelectedName)
                target = index;
        }
        if (!target.isValid() && rows > 0)
            target = m_proxy->index(std::min(m_firstSelectedRow, rows - 1), 0, root);
        if (target.isValid()) {
            QItemSelectionModel* selection = m_icons->selectionModel();
            if (!selection->isSelected(target))
                selection->select(target, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            selection->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
            itemView()->scrollTo(target);
        }
    }
    emit shellChanged();
}

} // namespace quillon
