#include "shell/FolderEntries.h"

#include "shell/FileName.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {

// Reads the entries of `folder` until `visit` returns false; with `entryLimit` above 0, also
// after that many entries of any kind, which `limitReached` tells.
bool readEntries(const QString& folder, const std::function<bool(const DirectoryEntry&)>& visit,
                 bool foldersOnly, int entryLimit, bool& limitReached) {
    const QByteArray bytes = fileNameBytes(folder);
    const int fd = ::open(bytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int code = errno;
        ::close(fd);
        errno = code;
        return false;
    }
    int read = 0;
    for (;;) {
        errno = 0; // readdir leaves it at 0 at the end, and sets it on an error
        const dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        if (entryLimit > 0 && ++read > entryLimit) {
            limitReached = true;
            break;
        }
        if (foldersOnly && entry->d_type != DT_DIR && entry->d_type != DT_LNK &&
            entry->d_type != DT_UNKNOWN)
            continue;
        DirectoryEntry item;
        item.isSymLink = entry->d_type == DT_LNK;
        item.isDir = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st {};
            if (entry->d_type == DT_UNKNOWN && ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                item.isSymLink = S_ISLNK(st.st_mode);
            if (::fstatat(fd, name, &st, 0) == 0)
                item.isDir = S_ISDIR(st.st_mode);
        }
        if (foldersOnly && !item.isDir)
            continue;
        item.name = fileNameFromBytes(name);
        if (!visit(item)) {
            ::closedir(dir);
            return true;
        }
    }
    const int code = limitReached ? 0 : errno;
    ::closedir(dir);
    errno = code;
    return code == 0;
}

} // namespace

bool forEachEntry(const QString& folder, const std::function<bool(const DirectoryEntry&)>& visit,
                  bool foldersOnly) {
    bool limitReached = false;
    return readEntries(folder, visit, foldersOnly, 0, limitReached);
}

bool seemsToHaveSubfolders(const QString& folder, int entryLimit) {
    struct stat st {};
    if (::stat(fileNameBytes(folder).constData(), &st) == 0 && st.st_nlink > 2)
        return true;
    bool found = false, limitReached = false;
    readEntries(
        folder,
        [&found](const DirectoryEntry& entry) {
            found = entry.isDir;
            return !found;
        },
        true, entryLimit, limitReached);
    return found || limitReached;
}

} // namespace quillon
