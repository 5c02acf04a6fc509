#include "shell/ItemProperties.h"

#include "shell/FileName.h"
#include "shell/FolderEntries.h"
#include "shell/HomeFolder.h"
#include "shell/PathInfo.h"

#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {

// Everything under the folder, read by bytes so that no name is left out.
void addContents(const QString& folder, ItemProperties& properties) {
    QStringList names;
    forEachEntry(folder, [&names](const DirectoryEntry& entry) {
        names << entry.name;
        return true;
    });
    for (const QString& name : names) {
        const QString path = childPath(folder, name);
        const PathInfo info = pathInfo(path, false);
        if (info.isDir) {
            ++properties.containedFolders;
            addContents(path, properties);
        } else {
            ++properties.containedFiles;
            if (!info.isSymLink)
                properties.totalSize += info.size;
        }
    }
}

QDateTime timeOf(const timespec& time) {
    return QDateTime::fromMSecsSinceEpoch(qint64(time.tv_sec) * 1000 + time.tv_nsec / 1000000);
}

QFileDevice::Permissions permissionsOf(mode_t mode) {
    static constexpr struct {
        mode_t bit;
        QFileDevice::Permission flag;
    } bits[] = {
        {S_IRUSR, QFileDevice::ReadOwner},  {S_IWUSR, QFileDevice::WriteOwner},
        {S_IXUSR, QFileDevice::ExeOwner},   {S_IRGRP, QFileDevice::ReadGroup},
        {S_IWGRP, QFileDevice::WriteGroup}, {S_IXGRP, QFileDevice::ExeGroup},
        {S_IROTH, QFileDevice::ReadOther},  {S_IWOTH, QFileDevice::WriteOther},
        {S_IXOTH, QFileDevice::ExeOther},
    };
    QFileDevice::Permissions permissions;
    for (const auto& bit : bits)
        if (mode & bit.bit)
            permissions |= bit.flag;
    return permissions;
}

// The type the file dialogs show. Qt's file classes cannot reach a name that is not UTF-8: such
// an item is typed from its kind, a file from its name and first bytes.
QString typeOf(const QString& path, const struct stat& info) {
    if (!hasRawBytes(path))
        return QFileIconProvider().type(QFileInfo(path));
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("Folder");
    QMimeDatabase mimes;
    QMimeType type =
        mimes.mimeTypeForFile(displayFileName(fileNameOf(path)), QMimeDatabase::MatchExtension);
    const int fd = ::open(fileNameBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QFile file;
    if (S_ISREG(info.st_mode) && fd >= 0 &&
        file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        type = mimes.mimeTypeForFileNameAndData(displayFileName(fileNameOf(path)), &file);
    else if (fd >= 0)
        ::close(fd);
    return type.comment().isEmpty() ? type.name() : type.comment();
}

} // namespace

QString permissionText(QFileDevice::Permissions permissions) {
    static constexpr struct {
        QFileDevice::Permission flag;
        char letter;
    } bits[] = {
        {QFileDevice::ReadOwner, 'r'}, {QFileDevice::WriteOwner, 'w'}, {QFileDevice::ExeOwner, 'x'},
        {QFileDevice::ReadGroup, 'r'}, {QFileDevice::WriteGroup, 'w'}, {QFileDevice::ExeGroup, 'x'},
        {QFileDevice::ReadOther, 'r'}, {QFileDevice::WriteOther, 'w'}, {QFileDevice::ExeOther, 'x'},
    };
    QString text;
    for (const auto& bit : bits)
        text += permissions.testFlag(bit.flag) ? QLatin1Char(bit.letter) : QLatin1Char('-');
    return text;
}

ItemProperties collectProperties(const QStringList& paths) {
    ItemProperties properties;
    QString single;
    for (const QString& given : paths) {
        const QString path = absolutePath(given);
        const PathInfo info = pathInfo(path, false);
        if (!info.exists)
            continue;
        single = path;
        if (info.isDir) {
            ++properties.folderCount;
            addContents(path, properties);
        } else {
            ++properties.fileCount;
            if (!info.isSymLink)
                properties.totalSize += info.size;
        }
    }
    if (properties.itemCount() != 1)
        return properties;

    // The details are those of what a link points to, or of the link when it leads nowhere.
    const QByteArray bytes = fileNameBytes(single);
    struct stat info {};
    if (::stat(bytes.constData(), &info) != 0 && ::lstat(bytes.constData(), &info) != 0)
        return properties;
    const bool root = single == QLatin1String("/");
    properties.name = root ? single : displayFileName(fileNameOf(single));
    properties.location = root ? QString() : displayFileName(folderOf(single));
    properties.type = typeOf(single, info);
    properties.modified = timeOf(info.st_mtim);
    properties.accessed = timeOf(info.st_atim);
    properties.permissions = permissionText(permissionsOf(info.st_mode));
    const passwd* user = ::getpwuid(info.st_uid);
    properties.owner = user ? QString::fromLocal8Bit(user->pw_name) : QString();
    const group* itsGroup = ::getgrgid(info.st_gid);
    properties.group = itsGroup ? QString::fromLocal8Bit(itsGroup->gr_name) : QString();
    return properties;
}

} // namespace quillon
