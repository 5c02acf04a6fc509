#include "app/AppDef.h"

#include <QFileInfo>
#include <QStorageInfo>

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
    const QFileInfo info(executablePath);
    AppPath = info.absolutePath();
    if (!AppPath.endsWith('/'))
        AppPath += '/';
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf('.');
    IniFileName = AppPath + (dot > 0 ? name.left(dot) : name) + ".ini";
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

void setDriveProbe(DriveProbe probe) {
    driveProbe = std::move(probe);
}
} // namespace AppDef
