#include "app/AppDef.h"

#include "shell/FileName.h"
#include "shell/HomeFolder.h"
#include "shell/PathInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace quillon {

namespace AppDef {
QString AppPath;
QString IniFileName;
QByteArray LastFolder;
QByteArray LastDataFile;
bool GlobCancel = false;

namespace {
DriveProbe driveProbe;
} // namespace

void initPaths(const QString& executablePath) {
    const QString path = absolutePath(executablePath);
    AppPath = folderOf(path);
    if (!AppPath.endsWith('/'))
        AppPath += '/';
    const QString name = fileNameOf(path);
    const qsizetype dot = name.lastIndexOf('.');
    IniFileName = AppPath + (dot > 0 ? name.left(dot) : name) + ".ini";
    // Installed where its user may not write (for everyone) and with no settings file there,
    // the settings go to the user's configuration folder instead. A file that is there stays
    // the one read and written, and a failure to write it is still reported.
    const QByteArray folder = fileNameBytes(AppPath);
    const bool closed = ::faccessat(AT_FDCWD, folder.constData(), W_OK, AT_EACCESS) != 0 &&
                        (errno == EACCES || errno == EROFS || errno == EPERM);
    if (closed && !pathExists(IniFileName)) {
        const QString config =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/quillon";
        QDir().mkpath(config);
        IniFileName = config + "/quillon.ini";
    }
}

DriveKind driveKindOf(const QString& fileName) {
    if (driveProbe)
        return driveProbe(fileName);
    const QStorageInfo storage(QFileInfo(fileName).absolutePath());
    if (!storage.isValid() || !storage.isReady())
        return DriveKind::Unknown;
    const QByteArray type = storage.fileSystemType().toLower();
    return type == "iso9660" || type == "udf" ? DriveKind::Optical : DriveKind::Ordinary;
}

QString executablePath() {
    // Qt decodes the link's bytes, turning those that are not UTF-8 into U+FFFD.
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    return length > 0 ? fileNameFromBytes(QByteArrayView(path, length))
                      : QCoreApplication::applicationFilePath();
}

void setDriveProbe(DriveProbe probe) {
    driveProbe = std::move(probe);
}
} // namespace AppDef

} // namespace quillon
