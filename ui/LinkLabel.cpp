#include "ui/LinkLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace quillon {

LinkLabel::LinkLabel(const QString& text, const QString& address, QWidget* parent)
    : QLabel(parent), m_address(address) {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    QPalette linkPalette = palette();
    linkPalette.setColor(QPalette::WindowText, linkPalette.color(QPalette::Link));
    setPalette(linkPalette);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setTextFormat(Qt::PlainText);
    setLinkText(text);
}

void LinkLabel::setLinkText(const QString& text) {
    setText(text);
    setAccessibleName(text);
}

void LinkLabel::activate() {
    const QString address = (m_address.isEmpty() ? text() : m_address).trimmed();
    if (address.isEmpty())
        return;
    emit activated(address);
    if (m_opener)
        m_opener(address);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        activate();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        activate();
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

} // namespace quillon
