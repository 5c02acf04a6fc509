// Tag edits belong to the file they were made on: a save, a removal or the save a list click
// runs first asks before writing when CurrentFile now names another file, or a changed one.
#include "app/Main.h"

#include "mpeg/MPEGaudio.h"
#include "shell/DialogService.h"
#include "shell/FileName.h"

namespace {

const QString kChangedQuestion =
    QStringLiteral("\"%1\" changed on disk since it was loaded. Write the tag anyway?");

} // namespace

TfmMain::FileIdentity TfmMain::identityOf(const QString& path) {
    FileStamp stamp;
    if (!stampOf(nativePath(path), stamp))
        return std::nullopt;
    return stamp;
}

void TfmMain::rememberLoadedFile() {
    // What the analysis saw as it read the file: the file is not asked again.
    m_loadedFile = AudioFile->fileStamp();
    m_beforeOwnWrite.reset();
}

bool TfmMain::mayWriteLoadedFile() {
    const FileIdentity now = identityOf(CurrentFile);
    // A file that is gone is left to the write, which fails and says so.
    if (!now || now == m_loadedFile ||
        dialogs().confirmDefaultNo(kChangedQuestion.arg(displayFileName(CurrentFile)))) {
        m_beforeOwnWrite = now;
        return true;
    }
    return false;
}

void TfmMain::noteOwnWrite() {
    // A pane shown again without a write of ours (an Undo, or a write that failed) leaves the
    // loaded file as it was, so the other pane's edits are still checked against it.
    if (!m_beforeOwnWrite)
        return;
    const FileIdentity now = identityOf(CurrentFile);
    if (now != m_beforeOwnWrite)
        m_loadedFile = now;
    m_beforeOwnWrite.reset();
}
