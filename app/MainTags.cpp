// The tag commands of the two tag panes: save, remove, undo and clear. They act
// on CurrentFile alone, through AudioFile's tag object of the pane's version.
#include "app/Main.h"

#include "app/AppDef.h"
#include "app/DisplayTexts.h"
#include "mpeg/MPEGaudio.h"
#include "shell/DialogService.h"
#include "tags/TagText.h"
#include "ui/InspectorGrid.h"

#include <QAction>
#include <QFile>
#include <stdexcept>

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

std::string tagText(const InspectorRow* row) {
    return displayTextToTag(row->text());
}

// The ID3v1 text setters are handed at most 255 characters; they trim, then cut.
std::string shortTagText(const InspectorRow* row) {
    std::string text = tagText(row);
    if (text.size() > 255)
        text.resize(255);
    return text;
}

// The first genre whose name equals the text exactly; 255 (no genre) otherwise.
std::uint8_t genreIdOf(const std::string& name) {
    if (!name.empty()) {
        for (int i = 0; i < GenreCount; ++i) {
            if (GenreNames[i] == name)
                return static_cast<std::uint8_t>(i);
        }
    }
    return 255;
}

// The whole text as a number: anything that is not a number in full counts as
// no track, while a number that does not fit a track stops the save.
std::uint8_t trackOf(const InspectorRow* row) {
    const std::int32_t track = parseWholeInt32(tagText(row)).value_or(0);
    if (track < 0 || track > 255)
        throw std::range_error("Range check error");
    return static_cast<std::uint8_t>(track);
}

} // namespace

std::string TfmMain::currentFileName() const {
    return QFile::encodeName(CurrentFile).toStdString();
}

void TfmMain::btID3v1_SaveClick() {
    if (!ID3v1Modified)
        return;
    if (!confirmed(bbConfSaveTag, kWriteID3v1Question.arg(CurrentFile))) {
        btID3v1_UndoClick();
        // Both refused: a list click must not load another file over these edits.
        if (ID3v1Modified)
            m_abandonClick = true;
        return;
    }
    iID3v1->endEdit(true);

    TID3v1& tag = AudioFile->ID3v1Tag();
    tag.SetTitle(shortTagText(iID3v1_Title));
    tag.SetArtist(shortTagText(iID3v1_Artist));
    tag.SetAlbum(shortTagText(iID3v1_Album));
    tag.SetYear(shortTagText(iID3v1_Year));
    tag.SetGenreId(genreIdOf(tagText(iID3v1_Genre)));
    tag.SetTrack(trackOf(iID3v1_Track));
    tag.SetComment(shortTagText(iID3v1_Comment));

    const std::string fileName = currentFileName();
    if (!tag.Save(fileName)) {
        dialogs().warning(kWriteWarning.arg(CurrentFile));
        return;
    }
    reloadPane(1);
}

void TfmMain::btID3v2_SaveClick() {
    if (!ID3v2Modified)
        return;
    if (!confirmed(bbConfSaveTag, kWriteID3v2Question.arg(CurrentFile))) {
        btID3v2_UndoClick();
        if (ID3v2Modified)
            m_abandonClick = true;
        return;
    }
    iID3v2->endEdit(true);

    TID3v2& tag = AudioFile->ID3v2Tag();
    tag.SetTitle(tagText(iID3v2_Title));
    tag.SetArtist(tagText(iID3v2_Artist));
    tag.SetAlbum(tagText(iID3v2_Album));
    tag.SetYear(tagText(iID3v2_Year));
    tag.SetGenre(tagText(iID3v2_Genre));
    tag.SetTrack(trackOf(iID3v2_Track));
    tag.SetComment(tagText(iID3v2_Comment));
    tag.SetComposer(tagText(iID3v2_Composer));
    tag.SetEncoder(tagText(iID3v2_Encoder));
    tag.SetCopyright(tagText(iID3v2_Copyright));
    tag.SetLanguage(tagText(iID3v2_Language));
    tag.SetURL(tagText(iID3v2_URL));

    const std::string fileName = currentFileName();
    if (!tag.Save(fileName)) {
        dialogs().warning(kWriteWarning.arg(CurrentFile));
        return;
    }
    reloadPane(2);
}

// The pane shows the file again as it now is, unmodified.
void TfmMain::reloadPane(int version) {
    const std::string fileName = currentFileName();
    if (version == 1) {
        AudioFile->ID3v1Tag().Load(fileName);
        SetID3v1Modified(false);
        ShowID3v1();
    } else {
        AudioFile->ID3v2Tag().Load(fileName);
        SetID3v2Modified(false);
        ShowID3v2();
    }
}

void TfmMain::removeTag(int version) {
    TID3v1& v1 = AudioFile->ID3v1Tag();
    TID3v2& v2 = AudioFile->ID3v2Tag();
    if (!(version == 1 ? v1.Exists() : v2.Exists()))
        return;
    if (!confirmed(bbConfRemoveTag, kRemoveQuestion.arg(CurrentFile)))
        return;
    const std::string fileName = currentFileName();
    if (!(version == 1 ? v1.Strip(fileName) : v2.Strip(fileName))) {
        dialogs().warning(kRemoveWarning.arg(CurrentFile));
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

void TfmMain::btGlobCancelClick() {
    AppDef::GlobCancel = true;
}
