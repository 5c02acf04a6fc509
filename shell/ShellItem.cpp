#include "shell/ShellItem.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>

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
        item.m_displayName = QFileInfo(item.m_path).fileName();
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
    const QFileInfo info(m_path);
    if (info.isRoot())
        return provider.icon(QAbstractFileIconProvider::Drive);
    return provider.icon(info);
}

ShellItem::Attributes ShellItem::attributes() const {
    if (m_kind == Kind::Desktop)
        return Folder;
    const QFileInfo info(m_path);
    if (m_kind == Kind::Null || !info.exists())
        return {};
    Attributes result = FileSystem | HasPropertySheet;
    if (info.isDir())
        result |= Folder;
    if (info.isReadable())
        result |= CanCopy;
    if (!info.isWritable())
        result |= ReadOnly;
    return result;
}
