// The window's side of the two tag panes: their commands, and what a pane asks of the window
// (the file it shows, the confirmations, a reload).
#include "app/Main.h"

#include "display/DisplayTexts.h"
#include "mpeg/MPEGaudio.h"
#include "shell/DialogService.h"
#include "shell/FileName.h"
#include "ui/BarManager.h"
#include "ui/InspectorGrid.h"

#include <QAction>
#include <QLabel>
#include <algorithm>
#include <optional>
#include <type_traits>
#include <utility>

namespace quillon {

TagPane* TfmMain::paneOfGrid(const QObject* grid) {
    for (TagPane& pane : m_panes) {
        if (grid && grid == pane.widgets().grid)
            return &pane;
    }
    return nullptr;
}

const TagPane* TfmMain::paneOfImage(const QObject* image) const {
    for (const TagPane& pane : m_panes) {
        if (image && image == pane.widgets().image)
            return &pane;
    }
    return nullptr;
}

// A switched-off confirmation goes ahead as if Yes had been answered.
bool TfmMain::confirmed(TagPane::Confirmation which, const QString& question) {
    static const char* const names[] = {"bbConfSaveTag", "bbConfRemoveTag", "bbConfUndoTag",
                                        "bbConfClearTag", "bbConfFillTagFromFile"};
    return !BarManager->action(names[int(which)])->isChecked() || dialogs().confirm(question);
}

void TfmMain::showPane(TagPane& pane) {
    m_loadedFile.noteOwnWrite(CurrentFile);
    pane.show(*AudioFile);
    if (&pane == &m_panes[1])
        showPictures();
    updateWholeTagCommands();
}

// The pane shows the file again as it now is, unmodified.
void TfmMain::reloadPane(TagPane& pane) {
    // The whole file is read again: a tag written or removed changes the file's size, its
    // time and where the audio starts, which the MPEG band shows. The other pane keeps its
    // rows, edits included.
    // The ID3v2 pane's pictures live in the tag object alone: unsaved, they outlast the reload.
    std::optional<std::decay_t<decltype(AudioFile->ID3v2Tag().Pictures())>> pictures;
    if (&pane != &m_panes[1] && m_panes[1].isModified())
        pictures = AudioFile->ID3v2Tag().Pictures();
    const bool valid = AudioFile->Load(nativePath(CurrentFile)) && AudioFile->Valid();
    if (pictures)
        AudioFile->ID3v2Tag().SetPictures(std::move(*pictures));
    pane.setModified(false);
    showPane(pane);
    if (valid)
        ShowMpegInfo();
    else
        ClearInspector(iMpeg);
}

TagPane::Outcome TfmMain::paneCommand(TagPane& pane, TagPane::Outcome (TagPane::*command)()) {
    if (readingInBackground())
        return TagPane::Outcome::Unchanged;
    return (pane.*command)();
}

void TfmMain::saveShortcut() {
    const QWidget* focus = focusWidget();
    const auto holdsFocus = [focus](const TagPane& pane) {
        const QWidget* grid = pane.widgets().grid;
        return focus && (focus == grid || grid->isAncestorOf(focus));
    };
    const bool anyFocused = std::any_of(m_panes.begin(), m_panes.end(), holdsFocus);
    for (TagPane& pane : m_panes) {
        // A row the tag cannot take stops here, as it stops a list click.
        if ((holdsFocus(pane) || !anyFocused) &&
            paneCommand(pane, &TagPane::save) == TagPane::Outcome::Invalid)
            return;
    }
}

} // namespace quillon
