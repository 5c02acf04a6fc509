// What the file system says of a path, and a rename that never replaces, by the path's bytes.
#pragma once

#include <QString>
#include <cstdint>
#include <ctime>
#include <sys/types.h>

namespace quillon {

// What lstat or stat says of a path.
struct PathInfo {
    bool exists = false;
    bool isDir = false;     // after following links when asked to
    bool isFile = false;    // a regular file, after following links when asked to
    bool isSymLink = false; // the path itself
    mode_t mode = 0;
    std::int64_t size = 0;
    timespec modified{};
    dev_t device = 0;
    ino_t inode = 0;
    uid_t owner = 0;
};
PathInfo pathInfo(const QString& path, bool followLinks = true);
bool pathExists(const QString& path);  // without following a final link
bool isDirectory(const QString& path); // following links

// Renames `from` to `to` (paths whose bytes FileName.h carries), never replacing an existing
// entry as rename(2) would do silently. Returns 0, or the error number of the step that failed.
int moveWithoutReplacing(const QString& from, const QString& to);

} // namespace quillon
