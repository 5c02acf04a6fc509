// Browsing: the file list, the folder tree, their keys and the file commands.
#include "app/Main.h"

#include "app/ErrorGuard.h"

#include "mpeg/MPEGaudio.h"
#include "shell/FileName.h"
#include "shell/PathInfo.h"
#include "shell/ShellServices.h"
#include "tags/FileAccess.h"
#include "ui/BarCombo.h"
#include "ui/InspectorGrid.h"
#include "ui/ShellComboBox.h"
#include "ui/ShellListView.h"
#include "ui/ShellTreeView.h"
#include "ui/StatusPane.h"

#include <QAbstractItemView>
#include <QAction>
#include <QFutureWatcher>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QToolButton>
#include <QtConcurrent/QtConcurrentRun>
#include <cstdint>

namespace quillon {

// The view a command acts on: the list or the tree while it holds the window's focus, like the
// control a command acts on (the focus widget stays while another window is active). The list
// counts through its item view, not while a name editor holds it.
ShellView* TfmMain::activeShellView() const {
    const QWidget* focus = focusWidget();
    if (focus && (focus == ShellList || focus == ShellList->itemView()))
        return ShellList;
    if (focus == ShellTree)
        return ShellTree;
    return nullptr;
}

namespace {

const QString kNotMpeg = QStringLiteral("not an MPEG audio file");
const QString kNotRead = QStringLiteral("the file cannot be read");
const QString kReading = QStringLiteral("reading the tag\u2026");

// The size the ID3v2 header at the start of the file declares; 0 when there is none. Ten bytes,
// cheap enough to read on every click.
std::int64_t declaredTagSize(const std::string& fileName) {
    FileHandle file;
    std::uint8_t header[10];
    if (!file.openForReading(fileName) || !readExactAt(file.fd(), header, sizeof header, 0) ||
        header[0] != 'I' || header[1] != 'D' || header[2] != '3')
        return 0;
    std::int64_t size = 0;
    for (int i = 6; i < 10; ++i)
        size = size << 7 | (header[i] & 0x7F);
    return size;
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
    for (TagPane& pane : m_panes) {
        const TagPane::Outcome outcome = pane.save();
        if (outcome == TagPane::Outcome::Invalid || outcome == TagPane::Outcome::KeptUnsaved)
            return;
    }

    // Whatever this click shows, a file still being read is not shown any more.
    dropBackgroundRead();
    if (ShellList->selectedCount() == 0) {
        ClearFileInfo(true);
    } else {
        CurrentFile = ShellList->currentItem().parsingPath();
        // Only plain files are opened: opening a device can act on it (a tape rewinds) and a
        // pipe could block.
        const PathInfo info = pathInfo(CurrentFile);
        if (CurrentFile.isEmpty() || !info.exists || !info.isFile) {
            ClearFileInfo(true);
        } else if (declaredTagSize(nativePath(CurrentFile)) > BackgroundReadTagSize) {
            readInBackground();
        } else {
            // Whatever goes wrong while reading or showing the file, the user sees empty panes.
            try {
                showLoadedFile(AudioFile->Load(nativePath(CurrentFile)));
            } catch (...) {
                ClearFileInfo(true);
            }
        }
    }
    UpdateCounts();
}

void TfmMain::showLoadedFile(bool loaded) {
    if (loaded && AudioFile->Valid()) {
        ShowFileInfo();
        // The panes hold what the file holds, even after a failed save of edits made to the
        // file before: the next click must not write them here.
        for (TagPane& pane : m_panes)
            pane.setModified(false);
    } else {
        // A file that holds no MPEG stream, or one that cannot be opened, says so.
        ClearFileInfo(true);
        FileHandle file;
        spFileNote->setText(loaded || file.openForReading(nativePath(CurrentFile)) ? kNotMpeg
                                                                                   : kNotRead);
    }
}

// What a read off the GUI thread hands back: the analysed file, and what its Load returned.
struct TfmMain::BackgroundRead {
    std::shared_ptr<TMPEGaudio> audio;
    bool loaded = false;
};

void TfmMain::readInBackground() {
    // The file shown before is let go at once, so that nothing can act on it meanwhile.
    ClearFileInfo(true);
    AudioFile->Reset();
    spFileNote->setText(kReading);
    auto* watcher = new QFutureWatcher<BackgroundRead>(this);
    m_backgroundRead = watcher;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, path = CurrentFile] {
        runGuarded([&] {
            // A read dropped since has nothing to show.
            if (watcher != m_backgroundRead)
                return;
            m_backgroundRead = nullptr;
            watcher->deleteLater();
            BackgroundRead read;
            try {
                read = watcher->result();
            } catch (...) {
                // Shown as a file that cannot be read.
            }
            takeBackgroundRead(read, path);
        });
    });
    // The read owns all it touches, so the window may go while it runs.
    watcher->setFuture(QtConcurrent::run([fileName = nativePath(CurrentFile)] {
        BackgroundRead read{std::make_shared<TMPEGaudio>()};
        read.loaded = read.audio->Load(fileName);
        return read;
    }));
}

void TfmMain::takeBackgroundRead(const BackgroundRead& read, const QString& path) {
    if (path != CurrentFile)
        return;
    if (read.audio) {
        m_audioFile = read.audio;
        AudioFile = m_audioFile.get();
    }
    try {
        showLoadedFile(read.audio && read.loaded);
    } catch (...) {
        ClearFileInfo(true);
    }
}

void TfmMain::dropBackgroundRead() {
    if (!m_backgroundRead)
        return;
    m_backgroundRead->disconnect(this);
    // A read still waiting for a thread never starts.
    m_backgroundRead->cancel();
    m_backgroundRead->deleteLater();
    m_backgroundRead = nullptr;
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

// The list and the tree handle their own keys (the clipboard, Delete, F2, F5, Backspace, Enter,
// and the list's moves, which it shows as a click); these are the window's.
void TfmMain::ShellListKeyDown(QKeyEvent* event, bool& handled) {
    if (ShellList->isEditing())
        return;
    if (event->key() == Qt::Key_A && event->modifiers().testFlag(Qt::ControlModifier)) {
        bbSelectAllClick(); // the key goes on to the list
    } else if (event->key() == Qt::Key_Asterisk &&
               event->modifiers().testFlag(Qt::KeypadModifier)) {
        bbInvertSelectionClick();
        handled = true;
    }
}

void TfmMain::ShellListKeyUp(QKeyEvent* event) {
    if (!event->isAutoRepeat() && event->key() == Qt::Key_F4)
        ShellCombo->dropDownAndFocus();
}

void TfmMain::ShellTreeKeyUp(QKeyEvent* event) {
    if (!event->isAutoRepeat() && event->key() == Qt::Key_F4)
        ShellCombo->dropDownAndFocus();
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
    if (ShellView* view = activeShellView())
        view->deleteSelected(shellServices().keyboardModifiers().testFlag(Qt::ShiftModifier));
}

void TfmMain::bbPropertiesClick() {
    // The list's own command would show the folder's properties for an empty selection.
    if (activeShellView() == ShellList &&
        (ShellList->selectedCount() == 0 || !ShellList->currentItem().hasPropertySheet()))
        return;
    if (ShellView* view = activeShellView())
        view->propertiesOfSelection();
}

void TfmMain::bbCutClick() {
    if (ShellView* view = activeShellView())
        view->cutSelected();
}

void TfmMain::bbCopyClick() {
    if (ShellView* view = activeShellView())
        view->copySelected();
}

void TfmMain::bbPasteClick() {
    if (ShellView* view = activeShellView())
        view->paste();
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
    if (ShellView* view = activeShellView())
        view->refresh();
    for (TagPane& pane : m_panes) {
        if (gridIsActive(this, pane.widgets().grid)) {
            paneCommand(pane, &TagPane::undo);
            return;
        }
    }
}

} // namespace quillon
