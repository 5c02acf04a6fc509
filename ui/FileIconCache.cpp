#include "ui/FileIconCache.h"

#include <QFileInfo>
#include <QMutexLocker>

FileIconCache::Entry FileIconCache::entryFor(const QFileInfo& info) const {
    // Folders, links and special files keep their own look; plain files share one per suffix.
    const QString key = info.isDir()       ? QStringLiteral("/folder")
                        : info.isSymLink() ? QString()
                                           : info.suffix().toLower();
    if (key.isNull())
        return {QFileIconProvider::icon(info), QFileIconProvider::type(info)};
    QMutexLocker locker(&m_lock);
    auto found = m_bySuffix.constFind(key);
    if (found != m_bySuffix.constEnd())
        return *found;
    locker.unlock();
    const Entry entry{QFileIconProvider::icon(info), QFileIconProvider::type(info)};
    locker.relock();
    m_bySuffix.insert(key, entry);
    return entry;
}

QIcon FileIconCache::icon(const QFileInfo& info) const {
    return entryFor(info).icon;
}

QString FileIconCache::type(const QFileInfo& info) const {
    return entryFor(info).type;
}
