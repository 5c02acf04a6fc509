// Browsing: the file list, the folder tree, their keys and the file commands.
#include "app/Main.h"

#include "app/ErrorGuard.h"
#include "display/TagFields.h"

#include "mpeg/MPEGaudio.h"
#include "shell/FileName.h"
#include "shell/ShellServices.h"
#include "ui/BarCombo.h"
#include "ui/InspectorGrid.h"
#include "ui/ShellComboBox.h"
#include "ui/ShellListView.h"
#include "ui/ShellTreeView.h"
#include "ui/StatusPane.h"

#include <QAbstractItemView>
#include <QAction>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QToolButton>

namespace {

// Keys that move through the list: Page Up to the arrows, and the keypad digits 1 to 9 (keypad
// 0 is not among them).
bool movesThroughList(const QKeyEvent* event) {
    const int key = event->key();
    switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        return true;
    default:
        return key >= Qt::Key_1 && key <= Qt::Key_9 &&
               event->modifiers().testFlag(Qt::KeypadModifier);
    }
}

bool withShift(const QKeyEvent* event) {
    return event->modifiers().testFlag(Qt::ShiftModifier);
}

// The window's focus widget stays the same while another window is active, like the control a
// command acts on. The list counts through its item view, not while a name editor holds it.
bool listIsActive(const QWidget* window, const ShellListView* list) {
    const QWidget* focus = window->focusWidget();
    return focus && (focus == list || focus == list->itemView());
}

bool treeIsActive(const QWidget* window, const ShellTreeView* tree) {
    return window->focusWidget() == tree;
}

// A grid is active while one of its cells holds the focus; its row editor is a control of its
// own.
bool gridIsActive(const QWidget* window, const InspectorGrid* grid) {
    const QWidget* focus = window->focusWidget();
    if (!focus || !(focus == grid || grid->isAncestorOf(focus)))
        return false;
    const QWidget* editor = grid->editor();
    return !editor || !(focus == editor || editor->isAncestorOf(focus));
}

} // namespace

void TfmMain::UpdateCounts() {
    spObjects->setText(QStringLiteral(" Objects: %1").arg(unsigned(ShellList->itemCount())));
    spSelected->setText(QStringLiteral(" Selected: %1").arg(unsigned(ShellList->selectedCount())));
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        bool handled = false;
        // Errors are shown here, so that they never unwind through Qt's event delivery.
        runGuarded([&] {
            if (watched == ShellList) {
                if (event->type() == QEvent::KeyRelease)
                    ShellListKeyUp(key);
                else
                    ShellListKeyDown(key, handled);
            } else if (watched == ShellTree && event->type() == QEvent::KeyRelease) {
                ShellTreeKeyUp(key);
            } else if (watched == ShellTree && !ShellTree->isEditing()) {
                handled = fileClipboardKey(key);
            }
        });
        if (handled)
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// Browsing.

void TfmMain::ShellListClick() {
    // Pending edits go to the file loaded before, since CurrentFile has not changed yet. Edits
    // the user neither saved nor undid, and a row the tag cannot take, abandon the click:
    // loading another file would overwrite them.
    for (TagPane* pane : tagPanes()) {
        const TagPane::Outcome outcome = pane->save();
        if (outcome == TagPane::Outcome::Invalid)
            QuillonApplication::reportError(QString::fromLatin1(kRangeCheckError));
        if (outcome == TagPane::Outcome::Invalid || outcome == TagPane::Outcome::KeptUnsaved)
            return;
    }

    if (ShellList->selectedCount() == 0) {
        ClearFileInfo(true);
    } else {
        CurrentFile = ShellList->currentItem().parsingPath();
        // Only plain files are opened: opening a device can act on it (a tape rewinds) and a
        // pipe could block.
        const PathInfo info = pathInfo(CurrentFile);
        if (CurrentFile.isEmpty() || !info.exists || !info.isFile) {
            ClearFileInfo(true);
        } else {
            // Whatever goes wrong while reading or showing the file, the user sees empty panes
            // and no message.
            try {
                if (AudioFile->Load(currentFileName()) && AudioFile->Valid()) {
                    ShowFileInfo();
                    // The panes hold what the file holds, even after a failed save of edits
                    // made to the file before: the next click must not write them here.
                    for (TagPane* pane : tagPanes())
                        pane->setModified(false);
                } else {
                    ClearFileInfo(true);
                }
            } catch (...) {
                ClearFileInfo(true);
            }
        }
    }
    UpdateCounts();
}

void TfmMain::ShellListItemSelected() {}

void TfmMain::ShellListListFilled() {
    UpdateCounts();
}

void TfmMain::ShellListShellChangeNotify() {
    QAbstractItemView* view = ShellList->itemView();
    const QModelIndex root = view->rootIndex();
    QModelIndex first;
    for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
        if (index.parent() == root && (!first.isValid() || index.row() < first.row()))
            first = index;
    }
    if (first.isValid())
        view->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    UpdateCounts();
}

void TfmMain::ShellTreeFolderSelected() {
    // Pending edits are dropped without a question.
    ClearFileInfo(true);
}

void TfmMain::bcFileMaskChange() {
    ShellList->setFileMask(bcFileMask->editText());
}

// Ctrl+C, Ctrl+X and Ctrl+V on the files of the list or the tree, as the Edit menu does them;
// the item views would otherwise copy an item's name as text.
bool TfmMain::fileClipboardKey(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy))
        bbCopyClick();
    else if (event->matches(QKeySequence::Cut))
        bbCutClick();
    else if (event->matches(QKeySequence::Paste))
        bbPasteClick();
    else
        return false;
    return true;
}

void TfmMain::ShellListKeyDown(QKeyEvent* event, bool& handled) {
    if (ShellList->isEditing())
        return;
    if (fileClipboardKey(event)) {
        handled = true;
        return;
    }
    if (event->key() == Qt::Key_A && event->modifiers().testFlag(Qt::ControlModifier)) {
        bbSelectAllClick(); // the key goes on to the list
    } else if (event->key() == Qt::Key_Asterisk &&
               event->modifiers().testFlag(Qt::KeypadModifier)) {
        bbInvertSelectionClick();
        handled = true;
    }
}

void TfmMain::ShellListKeyUp(QKeyEvent* event) {
    // A held key goes up once, not with every repeat.
    if (event->isAutoRepeat())
        return;
    switch (event->key()) {
    case Qt::Key_Backspace:
        bbUpFolderClick();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const ShellItem item = ShellList->currentItem();
        if (!item.isNull() && item.isFileSystem() && item.isFolder())
            ShellTree->openFolder(item.parsingPath());
        break;
    }
    case Qt::Key_Delete:
        if (!ShellList->isEditing())
            ShellList->deleteSelected(withShift(event));
        break;
    case Qt::Key_F2:
        if (ShellList->selectedCount() > 0)
            ShellList->renameFirstSelected();
        break;
    case Qt::Key_F4:
        ShellCombo->dropDownAndFocus();
        break;
    case Qt::Key_F5:
        ShellList->refresh();
        ShellTree->refreshBranch(ShellTree->currentIndex());
        break;
    default:
        break;
    }
    // Moving through the list loads the item moved to.
    if (!ShellList->isEditing() && movesThroughList(event))
        ShellListClick();
}

void TfmMain::ShellTreeKeyUp(QKeyEvent* event) {
    if (event->isAutoRepeat())
        return;
    switch (event->key()) {
    case Qt::Key_Delete:
        if (!ShellTree->isEditing())
            ShellTree->deleteSelected(withShift(event));
        break;
    case Qt::Key_F2:
        if (!ShellTree->selectedFolder().isNull())
            ShellTree->renameSelected();
        break;
    case Qt::Key_F4:
        ShellCombo->dropDownAndFocus();
        break;
    case Qt::Key_F5:
        ShellTree->refreshBranch(ShellTree->currentIndex());
        break;
    default:
        break;
    }
}

// Commands.

void TfmMain::bbUpFolderClick() {
    ShellList->upOneLevel();
}

void TfmMain::bbNewFolderClick() {
    ShellList->setFocus();
    ShellList->newFolder();
}

void TfmMain::bbDeleteClick() {
    const bool permanent = shellServices().keyboardModifiers().testFlag(Qt::ShiftModifier);
    if (listIsActive(this, ShellList))
        ShellList->deleteSelected(permanent);
    else if (treeIsActive(this, ShellTree))
        ShellTree->deleteSelected(permanent);
}

void TfmMain::bbPropertiesClick() {
    if (listIsActive(this, ShellList)) {
        // The list's own command would show the folder's properties for an empty selection.
        if (ShellList->selectedCount() > 0 && ShellList->currentItem().hasPropertySheet())
            ShellList->propertiesOfSelection();
    } else if (treeIsActive(this, ShellTree)) {
        ShellTree->propertiesOfSelected();
    }
}

void TfmMain::bbReportClick() {}

void TfmMain::bbOpenDataFileClick() {}

void TfmMain::bbCutClick() {
    if (listIsActive(this, ShellList))
        ShellList->cutSelected();
    else if (treeIsActive(this, ShellTree))
        ShellTree->cutSelected();
}

void TfmMain::bbCopyClick() {
    if (listIsActive(this, ShellList))
        ShellList->copySelected();
    else if (treeIsActive(this, ShellTree))
        ShellTree->copySelected();
}

void TfmMain::bbPasteClick() {
    if (listIsActive(this, ShellList))
        ShellList->paste();
    else if (treeIsActive(this, ShellTree))
        ShellTree->pasteIntoSelected();
}

void TfmMain::bbSelectAllClick() {
    ShellList->selectAll();
    UpdateCounts();
}

void TfmMain::bbInvertSelectionClick() {
    ShellList->invertSelection();
    UpdateCounts();
}

void TfmMain::bbIconClick() {
    const auto* action = qobject_cast<QAction*>(sender());
    if (!action)
        return;
    ShellList->setViewStyle(action->data().toInt());
    ShellList->refresh();
}

void TfmMain::bbRefreshClick() {
    if (listIsActive(this, ShellList))
        ShellList->refresh();
    if (treeIsActive(this, ShellTree))
        ShellTree->refreshBranch(ShellTree->currentIndex());
    if (gridIsActive(this, iID3v1))
        btID3v1_UndoClick();
    else if (gridIsActive(this, iID3v2))
        btID3v2_UndoClick();
}

void TfmMain::bbAboutClick() {
    showAboutBox();
}
