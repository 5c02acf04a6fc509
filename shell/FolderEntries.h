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

// Whether `folder` holds a folder (or a link to one), answered at once: a link count above 2
// tells of subfolders where the file system counts them; otherwise the entries are read up to
// `entryLimit`, and a folder holding more than that is taken to have some, so that asking never
// reads a huge folder whole. False too when the folder cannot be read.
bool seemsToHaveSubfolders(const QString& folder, int entryLimit = 4096);

} // namespace quillon
