#include "shell/FolderWatch.h"

#include "shell/FileName.h"

#include <QSet>
#include <QSocketNotifier>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace quillon {

FolderWatch::FolderWatch(Watch watch, QObject* parent) : QObject(parent) {
    m_events = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
    if (watch == Watch::NamesAndContents)
        m_events |= IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB;
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &FolderWatch::readEvents);
}

FolderWatch::~FolderWatch() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FolderWatch::addPath(const QString& folder) {
    if (m_fd < 0)
        return false;
    const int wd =
        ::inotify_add_watch(m_fd, fileNameBytes(folder).constData(), m_events | IN_ONLYDIR);
    if (wd < 0)
        return false;
    m_folderOf.insert(wd, folder); // the same folder again gives the same descriptor
    return true;
}

void FolderWatch::removePath(const QString& folder) {
    for (auto it = m_folderOf.begin(); it != m_folderOf.end(); ++it) {
        if (it.value() == folder) {
            ::inotify_rm_watch(m_fd, it.key());
            m_folderOf.erase(it);
            return;
        }
    }
}

void FolderWatch::readEvents() {
    alignas(inotify_event) char buffer[8192];
    QSet<int> changed;
    QSet<int> ended;
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= got;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            at += ssize_t(sizeof(inotify_event) + event.len);
            if (event.mask & IN_IGNORED)
                ended.insert(event.wd); // the folder is gone: its watch went with it
            else
                changed.insert(event.wd);
        }
    }
    for (const int wd : changed) {
        const auto found = m_folderOf.constFind(wd);
        if (found != m_folderOf.constEnd())
            emit directoryChanged(*found);
    }
    for (const int wd : ended)
        m_folderOf.remove(wd);
}

} // namespace quillon
