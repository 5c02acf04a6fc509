#include "shell/ShellItem.h"

#include "shell/FileName.h"
#include "shell/HomeFolder.h"
#include "shell/PathInfo.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <unistd.h>

namespace quillon {

const QString ShellItem::DesktopParsingName = QStringLiteral("shell:Desktop");

ShellItem ShellItem::desktop() {
    ShellItem item;
    item.m_kind = Kind::Desktop;
    item.m_displayName = QStringLiteral("Desktop");
    return item;
}

ShellItem ShellItem::fromPath(const QString& absolutePath, const QString& displayName) {
    ShellItem item;
    item.m_kind = Kind::FileSystem;
    item.m_path = QDir::cleanPath(absolutePath);
    item.m_displayName = displayName;
    if (item.m_displayName.isEmpty())
        item.m_displayName = displayFileName(fileNameOf(item.m_path));
    if (item.m_displayName.isEmpty())
        item.m_displayName = item.m_path; // the root "/" has no name of its own
    return item;
}

QString ShellItem::parsingPath() const {
    return m_kind == Kind::Desktop ? DesktopParsingName : m_path;
}

QIcon ShellItem::icon() const {
    const QFileIconProvider provider;
    switch (m_kind) {
    case Kind::Null:
        return {};
    case Kind::Desktop:
        return provider.icon(QAbstractFileIconProvider::Desktop);
    case Kind::FileSystem:
        break;
    }
    if (m_path == QLatin1String("/"))
        return provider.icon(QAbstractFileIconProvider::Drive);
    // Qt's file classes cannot reach a name that is not UTF-8: such an item gets its kind's icon.
    if (hasRawBytes(m_path))
        return provider.icon(isDirectory(m_path) ? QAbstractFileIconProvider::Folder
                                                 : QAbstractFileIconProvider::File);
    return provider.icon(QFileInfo(m_path));
}

ShellItem::Attributes ShellItem::attributes() const {
    if (m_kind == Kind::Desktop)
        return Folder;
    if (m_kind == Kind::Null)
        return {};
    const PathInfo info = pathInfo(m_path);
    const QByteArray bytes = fileNameBytes(m_path);
    if (!info.exists || (info.isSymLink && ::access(bytes.constData(), F_OK) != 0))
        return {};
    Attributes result = FileSystem | HasPropertySheet;
    if (info.isDir)
        result |= Folder;
    if (::access(bytes.constData(), R_OK) == 0)
        result |= CanCopy;
    if (::access(bytes.constData(), W_OK) != 0)
        result |= ReadOnly;
    return result;
}

} // namespace quillon
