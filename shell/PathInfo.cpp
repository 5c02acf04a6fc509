#include "shell/PathInfo.h"

#include "shell/FileName.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

int moveWithoutReplacing(const QString& from, const QString& to) {
    const QByteArray source = fileNameBytes(from);
    const QByteArray target = fileNameBytes(to);
    // A NUL would cut the path short of the one the user agreed to.
    if (source.contains('\0') || target.contains('\0'))
        return EINVAL;
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    if (::link(source.constData(), target.constData()) != 0)
        return errno;
    if (::unlink(source.constData()) != 0) {
        const int code = errno;
        ::unlink(target.constData());
        return code;
    }
    return 0;
}

} // namespace quillon
