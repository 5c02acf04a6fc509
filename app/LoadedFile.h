// Tag edits belong to the file they were made on: before a write, the window asks when the file
// its panes were read from is now another file, or a changed one. Our own writes do not count.
#pragma once

#include "tags/FileAccess.h"

#include <QString>
#include <optional>

namespace quillon {

class LoadedFile {
public:
    // The panes now show what was read from the file that `stamp` describes.
    void remember(const FileStamp& stamp);
    // Whether a write to `path` may go ahead: the file is the one loaded, or the user says so.
    // A file that is gone is left to the write, which fails and says so.
    bool mayWrite(const QString& path);
    // As a pane is shown again: a file that our own write to `path` changed is the loaded file.
    void noteOwnWrite(const QString& path);

private:
    // What stat said of a file; nothing for a path that names none.
    using Identity = std::optional<FileStamp>;
    static Identity identityOf(const QString& path);
    Identity m_loaded;
    // The file as it was when mayWrite let a write go ahead; unknown otherwise.
    Identity m_beforeOwnWrite;
};

} // namespace quillon
