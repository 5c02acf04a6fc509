// The entries of a folder as readdir gives them, names read by their bytes.
#pragma once

#include <QString>
#include <functional>

namespace quillon {

// One entry of a folder as readdir gives it.
struct DirectoryEntry {
    QString name;
    bool isDir = false; // after following a link
    bool isSymLink = false;
};
// Calls `visit` with each entry of `folder` but "." and "..", until it returns false. The kind
// comes from readdir's d_type, so only links and entries of unknown type cost an fstatat.
// False when the folder cannot be read (errno says why). With `foldersOnly`, other entries are
// skipped before their names are decoded: a folder of 100,000 files costs little more than
// its readdir.
bool forEachEntry(const QString& folder, const std::function<bool(const DirectoryEntry&)>& visit,
                  bool foldersOnly = false);

} // namespace quillon
