#include "ui/ShellView.h"

#include "shell/DialogService.h"
#include "shell/ShellServices.h"

#include <QDrag>
#include <QDropEvent>
#include <QWidget>

namespace quillon {

void startItemsDrag(QWidget* source, const QStringList& paths, const QPixmap& pixmap) {
    auto* drag = new QDrag(source);
    drag->setMimeData(shellServices().dragData(paths));
    if (!pixmap.isNull())
        drag->setPixmap(pixmap);
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

void answerDragEnter(QDragEnterEvent* event) {
    if (shellServices().droppedPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(ShellServices::dropAction(event->modifiers()));
    event->accept();
}

void answerDragOver(QDragMoveEvent* event, const QString& folder, std::optional<QRect> area) {
    if (folder.isEmpty()) {
        if (area)
            event->ignore(*area);
        else
            event->ignore();
        return;
    }
    event->setDropAction(ShellServices::dropAction(event->modifiers()));
    if (area)
        event->accept(*area);
    else
        event->accept();
}

bool dropIntoFolder(QDropEvent* event, const QString& folder) {
    const Qt::DropAction done =
        folder.isEmpty()
            ? Qt::IgnoreAction
            : shellServices().dropOnFolder(event->mimeData(), folder, event->modifiers());
    if (done == Qt::IgnoreAction) {
        event->ignore();
        return false;
    }
    event->setDropAction(done);
    event->accept();
    return true;
}

void reportRefusedRename(const QString& oldName, const QString& typed) {
    dialogs().error(QStringLiteral("Cannot rename \"%1\" to \"%2\"").arg(oldName, typed));
}

} // namespace quillon
