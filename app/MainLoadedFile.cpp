// Tag edits belong to the file they were made on: a save, a removal or the save a list click
// runs first asks before writing when CurrentFile now names another file, or a changed one.
#include "app/Main.h"

#include "shell/DialogService.h"
#include "shell/FileName.h"

#include <sys/stat.h>

namespace {

const QString kChangedQuestion =
    QStringLiteral("\"%1\" changed on disk since it was loaded. Write the tag anyway?");

} // namespace

TfmMain::FileIdentity TfmMain::identityOf(const QString& path) {
    struct stat info {};
    if (path.isEmpty() || ::stat(fileNameBytes(path).constData(), &info) != 0)
        return {};
    return {true,
            quint64(info.st_dev),
            quint64(info.st_ino),
            qint64(info.st_size),
            qint64(info.st_mtim.tv_sec),
            qint64(info.st_mtim.tv_nsec)};
}

void TfmMain::rememberLoadedFile() {
    m_loadedFile = identityOf(CurrentFile);
    m_beforeOwnWrite = {};
}

bool TfmMain::mayWriteLoadedFile() {
    const FileIdentity now = identityOf(CurrentFile);
    // A file that is gone is left to the write, which fails and says so.
    if (!now.known || now == m_loadedFile ||
        dialogs().confirmDefaultNo(kChangedQuestion.arg(displayFileName(CurrentFile)))) {
        m_beforeOwnWrite = now;
        return true;
    }
    // The edits stay; a list click must not load another file over them.
    m_abandonClick = true;
    return false;
}

void TfmMain::noteOwnWrite() {
    // A pane shown again without a write of ours (an Undo, or a write that failed) leaves the
    // loaded file as it was, so the other pane's edits are still checked against it.
    if (!m_beforeOwnWrite.known)
        return;
    const FileIdentity now = identityOf(CurrentFile);
    if (now != m_beforeOwnWrite)
        m_loadedFile = now;
    m_beforeOwnWrite = {};
}
