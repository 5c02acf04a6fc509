#include "ui/DragImage.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>

namespace quillon {

namespace {

// Within one process the drop sees the drag's own data object, so the image is found by its
// pointer; the name alone could belong to the same image of another window.
class ImageMimeData : public QMimeData {
public:
    explicit ImageMimeData(DragImage* image) : m_image(image) {
        setData(QString::fromLatin1(DragImage::MimeType), image->objectName().toUtf8());
    }
    DragImage* image() const { return m_image; }

private:
    QPointer<DragImage> m_image;
};

DragImage::DragRunner& dragRunner() {
    static DragImage::DragRunner runner;
    return runner;
}

} // namespace

const char* const DragImage::MimeType = "application/x-quillon-drag-image";

DragImage::DragImage(QWidget* parent) : QLabel(parent) {}

QMimeData* DragImage::createMimeData() {
    return new ImageMimeData(this);
}

DragImage* DragImage::draggedFrom(const QMimeData* data) {
    const auto* ours = dynamic_cast<const ImageMimeData*>(data);
    return ours ? ours->image() : nullptr;
}

void DragImage::setDragRunner(DragRunner runner) {
    dragRunner() = std::move(runner);
}

void DragImage::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_pressPos = event->position().toPoint();
        m_pressed = true;
    }
    QLabel::mousePressEvent(event);
}

void DragImage::mouseMoveEvent(QMouseEvent* event) {
    if (m_pressed && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - m_pressPos).manhattanLength() >=
            QApplication::startDragDistance()) {
        m_pressed = false;
        startDrag();
        return;
    }
    QLabel::mouseMoveEvent(event);
}

void DragImage::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = m_pressed && event->button() == Qt::LeftButton;
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}

void DragImage::startDrag() {
    auto* drag = new QDrag(this);
    drag->setMimeData(createMimeData());
    const QPixmap image = pixmap();
    if (!image.isNull()) {
        drag->setPixmap(image);
        drag->setHotSpot(m_pressPos);
    }
    if (dragRunner())
        dragRunner()(drag);
    else
        drag->exec(Qt::CopyAction); // Qt deletes the drag afterwards
}

} // namespace quillon
