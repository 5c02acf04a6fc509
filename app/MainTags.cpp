// The window's side of the two tag panes: the handlers of their commands, which forward to the
// pane, and what a pane asks of the window (the file it shows, the confirmations, a reload).
#include "app/Main.h"

#include "app/AppDef.h"
#include "app/FailureText.h"
#include "display/DisplayTexts.h"
#include "display/TagFields.h"
#include "mpeg/MPEGaudio.h"
#include "shell/DialogService.h"
#include "shell/FileName.h"
#include "ui/InspectorGrid.h"

#include <QAction>
#include <QLabel>
#include <stdexcept>

std::array<TagPane*, 2> TfmMain::tagPanes() const {
    return {m_id3v1Pane.get(), m_id3v2Pane.get()};
}

TagPane* TfmMain::paneOfGrid(const QObject* grid) const {
    for (TagPane* pane : tagPanes()) {
        if (grid && grid == pane->widgets().grid)
            return pane;
    }
    return nullptr;
}

TagPane* TfmMain::paneOfImage(const QObject* image) const {
    for (TagPane* pane : tagPanes()) {
        if (image && image == pane->widgets().image)
            return pane;
    }
    return nullptr;
}

void TfmMain::takePaneWidgets() {
    struct Names {
        TagPane* pane;
        QWidget* TfmMain::*speedBar;
        QToolButton* TfmMain::*save;
        QToolButton* TfmMain::*remove;
        QToolButton* TfmMain::*undo;
        QToolButton* TfmMain::*clear;
        QLabel* TfmMain::*versionLabel;
        QLabel* TfmMain::*image;
        QCheckBox* TfmMain::*exists;
        DropFilesTarget* TfmMain::*dropTarget;
        StatusPane* TfmMain::*modifiedPane;
    };
    const Names names[] = {
        {m_id3v1Pane.get(), &TfmMain::SpeedBar_ID3v1, &TfmMain::btID3v1_Save,
         &TfmMain::btID3v1_Remove, &TfmMain::btID3v1_Undo, &TfmMain::btClearID3v1,
         &TfmMain::laID3v1Ver, &TfmMain::imID3v1, &TfmMain::chExistsID3v1, &TfmMain::dfID3v1,
         &TfmMain::spID3v1Modified},
        {m_id3v2Pane.get(), &TfmMain::SpeedBar_ID3v2, &TfmMain::btID3v2_Save,
         &TfmMain::btID3v2_Remove, &TfmMain::btID3v2_Undo, &TfmMain::btClearID3v2,
         &TfmMain::laID3v2Ver, &TfmMain::imID3v2, &TfmMain::chExistsID3v2, &TfmMain::dfID3v2,
         &TfmMain::spID3v2Modified},
    };
    for (const Names& n : names) {
        const TagPane::Widgets& w = n.pane->widgets();
        this->*n.speedBar = w.speedBar;
        this->*n.save = w.save;
        this->*n.remove = w.remove;
        this->*n.undo = w.undo;
        this->*n.clear = w.clear;
        this->*n.versionLabel = w.versionLabel;
        this->*n.image = w.image;
        this->*n.exists = w.exists;
        this->*n.dropTarget = w.dropTarget;
        this->*n.modifiedPane = w.modifiedPane;
    }

    const std::pair<InspectorRow * TfmMain::*, const char*> rows[] = {
        {&TfmMain::iID3v1_Title, "iID3v1_Title"},
        {&TfmMain::iID3v1_Artist, "iID3v1_Artist"},
        {&TfmMain::iID3v1_Album, "iID3v1_Album"},
        {&TfmMain::iID3v1_Year, "iID3v1_Year"},
        {&TfmMain::iID3v1_Track, "iID3v1_Track"},
        {&TfmMain::iID3v1_Comment, "iID3v1_Comment"},
        {&TfmMain::iID3v1_xYG, "iID3v1_xYG"},
        {&TfmMain::iID3v1_xCT, "iID3v1_xCT"},
        {&TfmMain::iID3v1_Genre, "iID3v1_Genre"},
        {&TfmMain::iID3v2_Title, "iID3v2_Title"},
        {&TfmMain::iID3v2_Artist, "iID3v2_Artist"},
        {&TfmMain::iID3v2_Album, "iID3v2_Album"},
        {&TfmMain::iID3v2_Year, "iID3v2_Year"},
        {&TfmMain::iID3v2_Track, "iID3v2_Track"},
        {&TfmMain::iID3v2_Comment, "iID3v2_Comment"},
        {&TfmMain::iID3v2_xYG, "iID3v2_xYG"},
        {&TfmMain::iID3v2_xCT, "iID3v2_xCT"},
        {&TfmMain::iID3v2_Genre, "iID3v2_Genre"},
        {&TfmMain::iID3v2_Composer, "iID3v2_Composer"},
        {&TfmMain::iID3v2_Encoder, "iID3v2_Encoder"},
        {&TfmMain::iID3v2_Copyright, "iID3v2_Copyright"},
        {&TfmMain::iID3v2_Language, "iID3v2_Language"},
        {&TfmMain::iID3v2_URL, "iID3v2_URL"},
        {&TfmMain::iID3v2_xCC, "iID3v2_xCC"},
    };
    for (const auto& [member, name] : rows) {
        const QString rowName = QString::fromLatin1(name);
        for (const InspectorGrid* grid : {iID3v1, iID3v2}) {
            if (InspectorRow* row = grid->row(rowName))
                this->*member = row;
        }
    }
}

std::string TfmMain::currentFileName() const {
    return nativePath(CurrentFile);
}

QString TfmMain::currentFile() const {
    return CurrentFile;
}

TMPEGaudio& TfmMain::audioFile() {
    return *AudioFile;
}

const QAction* TfmMain::confirmationOf(TagPane::Confirmation which) const {
    switch (which) {
    case TagPane::Confirmation::SaveTag:
        return bbConfSaveTag;
    case TagPane::Confirmation::RemoveTag:
        return bbConfRemoveTag;
    case TagPane::Confirmation::UndoTag:
        return bbConfUndoTag;
    case TagPane::Confirmation::ClearTag:
        return bbConfClearTag;
    case TagPane::Confirmation::FillTagFromFile:
        break;
    }
    return bbConfFillTagFromFile;
}

// A switched-off confirmation goes ahead as if Yes had been answered.
bool TfmMain::confirmed(TagPane::Confirmation which, const QString& question) {
    return !confirmationOf(which)->isChecked() || dialogs().confirm(question);
}

void TfmMain::passOn(TagPane::Outcome outcome) {
    if (outcome == TagPane::Outcome::Invalid)
        throw std::range_error(kRangeCheckError);
}

void TfmMain::showPane(TagPane& pane) {
    noteOwnWrite();
    pane.show(*AudioFile);
}

// The pane shows the file again as it now is, unmodified.
void TfmMain::reloadPane(TagPane& pane) {
    // The whole file is read again: a tag written or removed changes the file's size, its
    // time and where the audio starts, which the MPEG band shows. The other pane keeps its
    // rows, edits included.
    const bool valid = AudioFile->Load(currentFileName()) && AudioFile->Valid();
    pane.setModified(false);
    showPane(pane);
    if (valid)
        ShowMpegInfo();
    else
        ClearInspector(iMpeg);
}

void TfmMain::paneCommand(TagPane& pane, TagPane::Outcome (TagPane::*command)()) {
    if (!readingInBackground())
        passOn((pane.*command)());
}

void TfmMain::btID3v1_SaveClick() {
    paneCommand(*m_id3v1Pane, &TagPane::save);
}

void TfmMain::btID3v2_SaveClick() {
    paneCommand(*m_id3v2Pane, &TagPane::save);
}

void TfmMain::btID3v1_RemoveClick() {
    paneCommand(*m_id3v1Pane, &TagPane::remove);
}

void TfmMain::btID3v2_RemoveClick() {
    paneCommand(*m_id3v2Pane, &TagPane::remove);
}

void TfmMain::btID3v1_UndoClick() {
    paneCommand(*m_id3v1Pane, &TagPane::undo);
}

void TfmMain::btID3v2_UndoClick() {
    paneCommand(*m_id3v2Pane, &TagPane::undo);
}

void TfmMain::btClearID3v1Click() {
    paneCommand(*m_id3v1Pane, &TagPane::clearRows);
}

void TfmMain::btClearID3v2Click() {
    paneCommand(*m_id3v2Pane, &TagPane::clearRows);
}

void TfmMain::saveShortcut() {
    const QWidget* focus = focusWidget();
    const bool inV1 = focus && (focus == iID3v1 || iID3v1->isAncestorOf(focus));
    const bool inV2 = focus && (focus == iID3v2 || iID3v2->isAncestorOf(focus));
    if (inV1 || !inV2)
        btID3v1_SaveClick();
    if (inV2 || !inV1)
        btID3v2_SaveClick();
}

void TfmMain::btGlobCancelClick() {
    AppDef::GlobCancel = true;
}
