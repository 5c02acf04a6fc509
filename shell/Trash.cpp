#include "shell/Trash.h"

#include "shell/FileName.h"
#include "shell/HomeFolder.h"

#include <QDateTime>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {

Trash::DeviceProbe g_deviceProbe;

std::optional<quint64> deviceOf(const QByteArray& path) {
    if (g_deviceProbe)
        return g_deviceProbe(path);
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0)
        return std::nullopt;
    return quint64(info.st_dev);
}

QByteArray parentOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray realPath(const QByteArray& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.constData(), resolved) ? QByteArray(resolved) : QByteArray();
}

// Makes the folder and the ones above it that are missing.
void makePath(const QByteArray& path) {
    if (path.isEmpty() || path == "/" || ::mkdir(path.constData(), 0700) == 0 || errno == EEXIST)
        return;
    if (errno == ENOENT) {
        makePath(parentOf(path));
        ::mkdir(path.constData(), 0700);
    }
}

QString reasonOf(int code) {
    return qt_error_string(code);
}

// A folder of ours in a trash: made 0700 when missing; an existing one must be a real folder.
bool ensureFolder(const QByteArray& path, bool ownedByUs = false) {
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0)
        return false;
    if (!S_ISDIR(info.st_mode) || (ownedByUs && info.st_uid != ::getuid())) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

QByteArray homeTrash() {
    QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    if (!dataHome.startsWith('/'))
        dataHome = fileNameBytes(homeFolder()) + "/.local/share";
    return dataHome + "/Trash";
}

// The highest folder above the item still on its file system: where that file system is mounted.
QByteArray topDirOf(const QByteArray& item, quint64 device) {
    QByteArray top = parentOf(item);
    while (top != "/") {
        const QByteArray up = parentOf(top);
        if (deviceOf(up) != device)
            break;
        top = up;
    }
    return top;
}

// The trash of another file system: $topdir/.Trash/$uid when the administrator made .Trash
// (a real folder with the sticky bit), else $topdir/.Trash-$uid; empty when neither will do.
QByteArray topDirTrash(const QByteArray& top) {
    const QByteArray base = top == "/" ? QByteArray() : top;
    const QByteArray uid = QByteArray::number(qulonglong(::getuid()));
    const QByteArray shared = base + "/.Trash";
    struct stat info {};
    if (::lstat(shared.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
        (info.st_mode & S_ISVTX)) {
        const QByteArray mine = shared + '/' + uid;
        if (ensureFolder(mine, true))
            return mine;
    }
    const QByteArray mine = base + "/.Trash-" + uid;
    return ensureFolder(mine, true) ? mine : QByteArray();
}

// "name", then "name.2.ext", "name.3.ext"...
QByteArray candidateName(const QByteArray& name, int n) {
    if (n == 1)
        return name;
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArray number = '.' + QByteArray::number(n);
    return dot > 0 ? name.left(dot) + number + name.mid(dot) : name + number;
}

bool fail(QString* error, const QString& reason) {
    if (error)
        *error = reason;
    return false;
}

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

void Trash::setDeviceProbe(DeviceProbe probe) {
    g_deviceProbe = std::move(probe);
}

bool Trash::moveToTrash(const QString& path, QString* error) {
    const QString absolute = absolutePath(path);
    const QByteArray name = fileNameBytes(fileNameOf(absolute));
    // The folder part resolved, the item itself not: a link goes to the trash as the link.
    const QByteArray folder = realPath(fileNameBytes(folderOf(absolute)));
    if (name.isEmpty() || folder.isEmpty())
        return fail(error, reasonOf(ENOENT));
    const QByteArray item = (folder == "/" ? QByteArray() : folder) + '/' + name;
    const std::optional<quint64> device = deviceOf(item);
    if (!device)
        return fail(error, reasonOf(errno ? errno : ENOENT));

    // The home trash is made when it is missing, then used for whatever shares its file system.
    QByteArray trash = homeTrash();
    makePath(parentOf(trash));
    QByteArray shownPath = item;
    if (deviceOf(realPath(parentOf(trash))) == device) {
        if (!ensureFolder(trash))
            return fail(error, reasonOf(errno));
    } else {
        const QByteArray top = topDirOf(item, *device);
        trash = topDirTrash(top);
        if (trash.isEmpty())
            return fail(error, QStringLiteral("The trash is not available there"));
        shownPath = item.mid(top == "/" ? 1 : top.size() + 1);
    }
    const QByteArray files = trash + "/files";
    const QByteArray infos = trash + "/info";
    if (!ensureFolder(files) || !ensureFolder(infos))
        return fail(error, reasonOf(errno));

    // The information file is made first, under a name no one holds, and so claims the name.
    QByteArray infoFile;
    QByteArray target;
    int fd = -1;
    for (int n = 1; fd < 0; ++n) {
        const QByteArray candidate = candidateName(name, n);
        infoFile = infos + '/' + candidate + ".trashinfo";
        target = files + '/' + candidate;
        fd = ::open(infoFile.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return fail(error, reasonOf(errno));
        struct stat taken {};
        if (fd >= 0 && ::lstat(target.constData(), &taken) == 0) {
            ::close(fd);
            ::unlink(infoFile.constData());
            fd = -1;
        }
    }
    const QByteArray text =
        "[Trash Info]\nPath=" + shownPath.toPercentEncoding("/") + "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toLatin1() +
        '\n';
    const bool written = writeAll(fd, text);
    int code = errno;
    if (::close(fd) != 0 && written) {
        code = errno;
        ::unlink(infoFile.constData());
        return fail(error, reasonOf(code));
    }
    if (!written) {
        ::unlink(infoFile.constData());
        return fail(error, reasonOf(code));
    }
    if (::rename(item.constData(), target.constData()) != 0) {
        code = errno;
        ::unlink(infoFile.constData());
        return fail(error, reasonOf(code));
    }
    return true;
}

} // namespace quillon
