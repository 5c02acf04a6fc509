#include "app/LoadedFile.h"

#include "shell/DialogService.h"
#include "shell/FileName.h"

namespace quillon {

namespace {

const QString kChangedQuestion =
    QStringLiteral("\"%1\" changed on disk since it was loaded. Write the tag anyway?");

} // namespace

LoadedFile::Identity LoadedFile::identityOf(const QString& path) {
    FileStamp stamp;
    if (!stampOf(nativePath(path), stamp))
        return std::nullopt;
    return stamp;
}

void LoadedFile::remember(const FileStamp& stamp) {
    m_loaded = stamp;
    m_beforeOwnWrite.reset();
}

bool LoadedFile::mayWrite(const QString& path) {
    const Identity now = identityOf(path);
    if (!now || now == m_loaded ||
        dialogs().confirmDefaultNo(kChangedQuestion.arg(displayFileName(path)))) {
        m_beforeOwnWrite = now;
        return true;
    }
    return false;
}

void LoadedFile::noteOwnWrite(const QString& path) {
    // A pane shown again without a write of ours (an Undo, or a write that failed) leaves the
    // loaded file as it was, so the other pane's edits are still checked against it.
    if (!m_beforeOwnWrite)
        return;
    const Identity now = identityOf(path);
    if (now != m_beforeOwnWrite)
        m_loaded = now;
    m_beforeOwnWrite.reset();
}

} // namespace quillon
