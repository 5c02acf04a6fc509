// Browsing: the file list, the folder tree, their keys and the file commands.
#include "app/Main.h"

#include "mpeg/MPEGaudio.h"
#include "ui/BarCombo.h"
#include "ui/ShellListView.h"
#include "ui/ShellTreeView.h"
#include "ui/StatusPane.h"

#include <QAction>
#include <QFileInfo>
#include <QKeyEvent>
#include <QToolButton>

void TfmMain::UpdateCounts() {
    spObjects->setText(QStringLiteral(" Objects: %1").arg(ShellList->itemCount()));
    spSelected->setText(QStringLiteral(" Selected: %1").arg(ShellList->selectedCount()));
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == ShellList) {
            if (event->type() == QEvent::KeyRelease) {
                ShellListKeyUp(key);
            } else {
                bool handled = false;
                ShellListKeyDown(key, handled);
                if (handled)
                    return true;
            }
        } else if (watched == ShellTree && event->type() == QEvent::KeyRelease) {
            ShellTreeKeyUp(key);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// Browsing.

void TfmMain::ShellListClick() {
    if (ID3v1Modified)
        btID3v1_Save->click();
    if (ID3v2Modified)
        btID3v2_Save->click();
    if (ShellList->selectedCount() == 0) {
        ClearFileInfo(true);
    } else {
        CurrentFile = ShellList->currentItem().parsingPath();
        const QFileInfo info(CurrentFile);
        if (CurrentFile.isEmpty() || !info.exists() || info.isDir()) {
            ClearFileInfo(true);
        } else {
            // Whatever goes wrong while reading or showing the file, the user
            // sees empty panes and no message.
            try {
                if (AudioFile->Load(CurrentFile.toStdString()) && AudioFile->Valid())
                    ShowFileInfo();
                else
                    ClearFileInfo(true);
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
    UpdateCounts();
}

void TfmMain::ShellTreeFolderSelected() {
    ClearFileInfo(true);
}

void TfmMain::bcFileMaskChange() {
    ShellList->setFileMask(bcFileMask->editText());
}

void TfmMain::ShellListKeyDown(QKeyEvent*, bool&) {}

void TfmMain::ShellListKeyUp(QKeyEvent*) {}

void TfmMain::ShellTreeKeyUp(QKeyEvent*) {}

// Commands.

void TfmMain::bbUpFolderClick() {
    ShellList->upOneLevel();
}

void TfmMain::bbNewFolderClick() {
    ShellList->newFolder();
}

void TfmMain::bbDeleteClick() {}

void TfmMain::bbPropertiesClick() {}

void TfmMain::bbReportClick() {}

void TfmMain::bbOpenDataFileClick() {}

void TfmMain::bbCutClick() {}

void TfmMain::bbCopyClick() {}

void TfmMain::bbPasteClick() {}

void TfmMain::bbSelectAllClick() {
    ShellList->selectAll();
    UpdateCounts();
}

void TfmMain::bbInvertSelectionClick() {
    ShellList->invertSelection();
    UpdateCounts();
}

void TfmMain::bbIconClick() {
    if (const auto* action = qobject_cast<QAction*>(sender()))
        ShellList->setViewStyle(action->data().toInt());
}

void TfmMain::bbRefreshClick() {}

void TfmMain::bbAboutClick() {}
