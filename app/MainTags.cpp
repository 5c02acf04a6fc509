// The tag commands of the two tag panes: save, remove, undo and clear. They act
// on CurrentFile alone, through AudioFile's tag object of the pane's version.
#include "app/Main.h"

#include "app/AppDef.h"
#include "app/DisplayTexts.h"
#include "app/FailureText.h"
#include "app/TagFields.h"
#include "mpeg/MPEGaudio.h"
#include "shell/DialogService.h"
#include "shell/FileName.h"
#include "ui/InspectorGrid.h"

#include <QAction>

namespace {

const QString kWriteID3v1Question = QStringLiteral("Do you want to write ID3 v.1 tag to \"%1\"?");
const QString kWriteID3v2Question = QStringLiteral("Do you want to write ID3 v.2 tag to \"%1\"?");
const QString kRemoveQuestion = QStringLiteral("Do you want to remove ID3 tag from \"%1\"?");
const QString kUndoQuestion = QStringLiteral("Do you want to undo changes in ID3 tag?");
const QString kClearQuestion = QStringLiteral("Do you want to clear tag?");
const QString kWriteWarning = QStringLiteral("Error writing ID3 tag to \"%1\"");
const QString kRemoveWarning = QStringLiteral("Error removing ID3 tag from \"%1\"");

// A switched-off confirmation goes ahead as if Yes had been answered.
bool confirmed(const QAction* confirmation, const QString& question) {
    return !confirmation->isChecked() || dialogs().confirm(question);
}

// Every row of the pane into the tag, each through its field's setter, as the
// Save of that pane takes it; a number the tag cannot hold stops the save.
template <class Tag>
void takeRows(const InspectorGrid* grid, const std::vector<TagField<Tag>>& fields, Tag& tag) {
    for (const TagField<Tag>& field : fields) {
        const InspectorRow* row =
            grid->row(QString::fromUtf8(field.row.data(), qsizetype(field.row.size())));
        field.set(tag, displayTextToTag(row->text()));
    }
}

} // namespace

std::string TfmMain::currentFileName() const {
    return nativePath(CurrentFile);
}

void TfmMain::btID3v1_SaveClick() {
    if (!ID3v1Modified || !mayWriteLoadedFile())
        return;
    if (!confirmed(bbConfSaveTag, kWriteID3v1Question.arg(displayFileName(CurrentFile)))) {
        btID3v1_UndoClick();
        // Both refused: a list click must not load another file over these edits.
        if (ID3v1Modified)
            m_abandonClick = true;
        return;
    }
    iID3v1->endEdit(true);

    TID3v1& tag = AudioFile->ID3v1Tag();
    takeRows(iID3v1, ID3v1Fields(), tag);

    const std::string fileName = currentFileName();
    if (!tag.Save(fileName)) {
        dialogs().warning(withTagWriteReason(kWriteWarning.arg(displayFileName(CurrentFile))));
        return;
    }
    reloadPane(1);
}

void TfmMain::btID3v2_SaveClick() {
    if (!ID3v2Modified || !mayWriteLoadedFile())
        return;
    if (!confirmed(bbConfSaveTag, kWriteID3v2Question.arg(displayFileName(CurrentFile)))) {
        btID3v2_UndoClick();
        if (ID3v2Modified)
            m_abandonClick = true;
        return;
    }
    iID3v2->endEdit(true);

    TID3v2& tag = AudioFile->ID3v2Tag();
    takeRows(iID3v2, ID3v2Fields(), tag);

    const std::string fileName = currentFileName();
    if (!tag.Save(fileName)) {
        dialogs().warning(withTagWriteReason(kWriteWarning.arg(displayFileName(CurrentFile))));
        return;
    }
    reloadPane(2);
}

// The pane shows the file again as it now is, unmodified.
void TfmMain::reloadPane(int version) {
    // The whole file is read again: a tag written or removed changes the file's size, its
    // time and where the audio starts, which the MPEG band shows. The other pane keeps its
    // rows, edits included.
    const bool valid = AudioFile->Load(currentFileName()) && AudioFile->Valid();
    if (version == 1) {
        SetID3v1Modified(false);
        ShowID3v1();
    } else {
        SetID3v2Modified(false);
        ShowID3v2();
    }
    if (valid)
        ShowMpegInfo();
    else
        ClearInspector(iMpeg);
}

void TfmMain::removeTag(int version) {
    TID3v1& v1 = AudioFile->ID3v1Tag();
    TID3v2& v2 = AudioFile->ID3v2Tag();
    if (!(version == 1 ? v1.Exists() : v2.Exists()) || !mayWriteLoadedFile())
        return;
    if (!confirmed(bbConfRemoveTag, kRemoveQuestion.arg(displayFileName(CurrentFile))))
        return;
    const std::string fileName = currentFileName();
    if (!(version == 1 ? v1.Strip(fileName) : v2.Strip(fileName))) {
        dialogs().warning(withTagWriteReason(kRemoveWarning.arg(displayFileName(CurrentFile))));
        return;
    }
    reloadPane(version);
}

void TfmMain::undoTag(int version) {
    if (!(version == 1 ? ID3v1Modified : ID3v2Modified))
        return;
    if (!confirmed(bbConfUndoTag, kUndoQuestion))
        return;
    (version == 1 ? iID3v1 : iID3v2)->endEdit(false);
    reloadPane(version);
}

void TfmMain::clearTag(int version) {
    InspectorGrid* grid = version == 1 ? iID3v1 : iID3v2;
    // With no file shown the pane is read-only: a cleared, modified pane would
    // make the next list click write an empty tag into the last file loaded,
    // which may not even be an audio file.
    if (grid->row(0)->isReadOnly())
        return;
    if (!confirmed(bbConfClearTag, kClearQuestion))
        return;
    for (int i = 0; i < grid->rowCount(); ++i)
        grid->row(i)->setText(QString());
    if (version == 1)
        SetID3v1Modified(true);
    else
        SetID3v2Modified(true);
}

void TfmMain::btID3v1_RemoveClick() {
    removeTag(1);
}

void TfmMain::btID3v2_RemoveClick() {
    removeTag(2);
}

void TfmMain::btID3v1_UndoClick() {
    undoTag(1);
}

void TfmMain::btID3v2_UndoClick() {
    undoTag(2);
}

void TfmMain::btClearID3v1Click() {
    clearTag(1);
}

void TfmMain::btClearID3v2Click() {
    clearTag(2);
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
