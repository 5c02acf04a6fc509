#include "shell/PathInfo.h"

#include "shell/FileName.h"

#include <sys/stat.h>

namespace quillon {

PathInfo pathInfo(const QString& path, bool followLinks) {
    PathInfo info;
    const QByteArray bytes = fileNameBytes(path);
    struct stat st {};
    if (::lstat(bytes.constData(), &st) != 0)
        return info;
    info.exists = true;
    info.isSymLink = S_ISLNK(st.st_mode);
    if (info.isSymLink && followLinks) {
        struct stat target {};
        if (::stat(bytes.constData(), &target) == 0)
            st = target;
    }
    info.isDir = S_ISDIR(st.st_mode);
    info.isFile = S_ISREG(st.st_mode);
    info.mode = st.st_mode;
    info.size = st.st_size;
    info.modified = st.st_mtim;
    info.device = st.st_dev;
    info.inode = st.st_ino;
    info.owner = st.st_uid;
    return info;
}

bool pathExists(const QString& path) {
    return pathInfo(path, false).exists;
}

bool isDirectory(const QString& path) {
    return pathInfo(path, true).isDir;
}

} // namespace quillon
