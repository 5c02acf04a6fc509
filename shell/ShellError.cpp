#include "shell/ShellError.h"

#include "shell/FileName.h"
#include "shell/FileUri.h"
#include "shell/HomeFolder.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {

// Why the path names no folder the shell can open; empty when the system finds none.
QString folderProblem(const QString& pathOrParsingName) {
    QString path = pathOrParsingName.trimmed();
    if (path.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        path = pathFromFileUri(fileNameBytes(path));
    if (path.startsWith(QLatin1Char('~')))
        path.replace(0, 1, homeFolder());
    if (!path.startsWith(QLatin1Char('/')))
        return QStringLiteral("Not a full path");
    const QByteArray bytes = fileNameBytes(path);
    struct stat info {};
    if (::stat(bytes.constData(), &info) != 0)
        return qt_error_string(errno);
    if (!S_ISDIR(info.st_mode))
        return qt_error_string(ENOTDIR);
    if (::access(bytes.constData(), R_OK | X_OK) != 0)
        return qt_error_string(errno);
    return {};
}

} // namespace

ShellError ShellError::invalidFolder(const QString& pathOrParsingName) {
    QString message =
        QStringLiteral("Invalid folder.\n\"%1\"").arg(displayFileName(pathOrParsingName));
    const QString problem = folderProblem(pathOrParsingName);
    if (!problem.isEmpty())
        message += QStringLiteral(": ") + problem;
    return ShellError(message);
}

} // namespace quillon
