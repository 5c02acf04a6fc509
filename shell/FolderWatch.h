// Watches folders for changes to their entries (inotify), by the bytes of their paths: unlike
// QFileSystemWatcher, it also watches a folder whose path is not UTF-8.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace quillon {

class FolderWatch : public QObject {
    Q_OBJECT

public:
    // Names: entries made, removed or renamed, and the folder itself removed or moved.
    // Contents adds entries written to or whose attributes changed.
    enum class Watch { Names, NamesAndContents };

    explicit FolderWatch(Watch watch = Watch::Names, QObject* parent = nullptr);
    ~FolderWatch() override;

    // False when the folder cannot be watched (gone, or the system's limit reached).
    bool addPath(const QString& folder);
    void removePath(const QString& folder);

signals:
    // Once per batch of events of one folder.
    void directoryChanged(const QString& folder);

private:
    void readEvents();

    int m_fd = -1;
    quint32 m_events = 0;
    QSocketNotifier* m_notifier = nullptr;
    QHash<int, QString> m_folderOf; // watch descriptor to the path it was added as
};

} // namespace quillon
