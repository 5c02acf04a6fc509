#include "shell/HomeFolder.h"

#include "shell/FileName.h"

#include <QDir>
#include <climits>
#include <unistd.h>

namespace quillon {

QString homeFolder() {
    const QByteArray home = qgetenv("HOME");
    if (!home.startsWith('/'))
        return QDir::homePath();
    return QDir::cleanPath(fileNameFromBytes(home));
}

QString absolutePath(const QString& path) {
    if (path.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(path);
    char buffer[PATH_MAX];
    const QString here =
        ::getcwd(buffer, sizeof buffer) ? fileNameFromBytes(buffer) : QDir::currentPath();
    return QDir::cleanPath(childPath(here, path));
}

} // namespace quillon
