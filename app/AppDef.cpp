#include "app/AppDef.h"

#include <QFileInfo>

namespace AppDef {
QString AppPath;
QString IniFileName;
QString LastFolder;
QString LastDataFile;

void initPaths(const QString& executablePath) {
    const QFileInfo info(executablePath);
    AppPath = info.absolutePath();
    if (!AppPath.endsWith('/'))
        AppPath += '/';
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf('.');
    IniFileName = AppPath + (dot > 0 ? name.left(dot) : name) + ".ini";
}
} // namespace AppDef
