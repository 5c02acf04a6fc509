#include "ui/DropFilesTarget.h"

#include <QAbstractScrollArea>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace quillon {

DropFilesTarget::DropFilesTarget(QWidget* target) : QObject(target), m_target(target) {
    auto* scrollArea = qobject_cast<QAbstractScrollArea*>(target);
    m_receiver = scrollArea ? scrollArea->viewport() : target;
    m_receiver->setAcceptDrops(true);
    m_receiver->installEventFilter(this);
}

QStringList DropFilesTarget::localPaths(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    return paths;
}

bool DropFilesTarget::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_receiver || !m_target)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (localPaths(drag->mimeData()).isEmpty())
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList paths = localPaths(drop->mimeData());
        if (paths.isEmpty())
            return false;
        drop->acceptProposedAction();
        const QPoint pos = m_receiver->mapTo(m_target, drop->position().toPoint());
        emit dropped(paths, pos);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

} // namespace quillon
