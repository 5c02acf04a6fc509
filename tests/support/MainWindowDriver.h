// How the window's tests and benchmarks reach its widgets: by the object names the user's
// settings and the window's parts know them by, never through the window's own members. A
// missing name, or one that names two objects of a type, fails with the name in the message.
#pragma once

#include "ui/DragImage.h"
#include "ui/InspectorGrid.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <memory>
#include <stdexcept>
#include <string>

namespace quillon {

class MainWindowDriver {
public:
    explicit MainWindowDriver(QWidget& window) : m_window(window) {}

    // The one object of type T with this name in the window.
    template <class T = QWidget> T* find(const QString& name) const {
        const QList<T*> found = m_window.findChildren<T*>(name);
        if (found.size() != 1) {
            throw std::logic_error(std::to_string(found.size()) + " objects of type " +
                                   T::staticMetaObject.className() + " named \"" +
                                   name.toStdString() + "\" in the window, instead of one");
        }
        return found.front();
    }
    InspectorGrid* grid(const QString& name) const { return find<InspectorGrid>(name); }
    QAction* action(const QString& name) const { return find<QAction>(name); }
    // A row of one of the inspector's grids ("iID3v1_Title").
    InspectorRow* row(const QString& name) const {
        for (const InspectorGrid* grid : m_window.findChildren<InspectorGrid*>()) {
            InspectorRow* row = grid->row(name);
            if (row && row->name() == name)
                return row;
        }
        throw std::logic_error("no inspector row named \"" + name.toStdString() + "\"");
    }

    // What a drag of a tag pane's image ("imID3v1") carries.
    std::unique_ptr<QMimeData> imageDrag(const QString& image) const {
        return std::unique_ptr<QMimeData>(find<DragImage>(image)->createMimeData());
    }

private:
    QWidget& m_window;
};

inline std::unique_ptr<QMimeData> filesDrag(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}

// The drop alone, as if the target had taken the drag: what its drop handler does then.
inline bool dropOnly(QWidget* at, const QMimeData* data) {
    QDropEvent dropped(at->rect().center(), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(at, &dropped);
    return dropped.isAccepted();
}

// Enter, move and, when both are accepted, drop; as Qt delivers them, bubbling up from the
// widget at the point (a real drag ends at once on a headless screen). Returns whether the
// target took the drop.
inline bool dragAndDrop(QWidget* at, const QMimeData* data, bool drop = true) {
    const QPoint pos = at->rect().center();
    QDragEnterEvent enter(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(at, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(at, &move);
    if (!move.isAccepted() || !drop) {
        QDragLeaveEvent leave;
        QApplication::sendEvent(at, &leave);
        return move.isAccepted();
    }
    return dropOnly(at, data);
}

} // namespace quillon
