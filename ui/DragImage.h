// An image the user drags from: pressing the mouse on it and moving it starts an in-window drag
// whose data names the image, so that drop targets can tell which image the drag came from.
#pragma once

#include <QLabel>
#include <QPoint>
#include <functional>

class QDrag;
class QMimeData;

namespace quillon {

class DragImage : public QLabel {
    Q_OBJECT

public:
    static const char* const MimeType; // the format that carries the image's object name

    explicit DragImage(QWidget* parent = nullptr);

    // The data a drag from this image carries (the caller owns it).
    QMimeData* createMimeData();
    // The image a drag's data came from; nullptr for any other drag, or once the image is gone.
    static DragImage* draggedFrom(const QMimeData* data);

    // Runs a started drag and takes it; by default QDrag::exec. Tests swap it, since a real
    // drag returns at once on a headless screen. An empty function restores the default.
    using DragRunner = std::function<void(QDrag* drag)>;
    static void setDragRunner(DragRunner runner);

signals:
    // A press and release that started no drag.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void startDrag();

    QPoint m_pressPos;
    bool m_pressed = false;
};

} // namespace quillon
