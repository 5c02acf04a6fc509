// Icons and type names for the file list, looked up once per file name suffix: the file-system
// model asks for every file as it arrives, and a MIME lookup per file stalls the GUI thread on
// large folders. Called from the model's gatherer thread too, hence the lock.
#pragma once

#include <QFileIconProvider>
#include <QHash>
#include <QMutex>

class FileIconCache : public QFileIconProvider {
public:
    QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;

private:
    struct Entry {
        QIcon icon;
        QString type;
    };
    Entry entryFor(const QFileInfo& info) const;

    mutable QMutex m_lock;
    mutable QHash<QString, Entry> m_bySuffix;
};
