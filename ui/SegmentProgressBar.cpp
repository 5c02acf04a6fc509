#include "ui/SegmentProgressBar.h"

#include <QPainter>

namespace quillon {

namespace {
constexpr int SegmentWidth = 7;
constexpr int SegmentGap = 2;
constexpr int Border = 2;
} // namespace

SegmentProgressBar::SegmentProgressBar(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
}

QRect SegmentProgressBar::segmentArea() const {
    return rect().adjusted(Border, Border, -Border, -Border);
}

int SegmentProgressBar::segmentCount() const {
    return qMax(0, (segmentArea().width() + SegmentGap) / (SegmentWidth + SegmentGap));
}

int SegmentProgressBar::litSegments() const {
    const qint64 span = qint64(maximum()) - minimum();
    if (span <= 0 || value() < minimum())
        return 0;
    return int(qint64(segmentCount()) * (qint64(value()) - minimum()) / span);
}

void SegmentProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    const QRect area = segmentArea();
    const int lit = litSegments();
    const QColor color = palette().color(QPalette::Highlight);
    for (int i = 0; i < lit; ++i) {
        const int x = area.left() + i * (SegmentWidth + SegmentGap);
        painter.fillRect(QRect(x, area.top(), SegmentWidth, area.height()), color);
    }
}

} // namespace quillon
