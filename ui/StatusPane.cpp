#include "ui/StatusPane.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>

namespace quillon {

namespace {
constexpr int Margin = 3;
constexpr int GlyphGap = 3;
} // namespace

StatusPane::StatusPane(const QString& text, int width, QWidget* parent)
    : QFrame(parent), m_width(width) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setText(text);
}

void StatusPane::setText(const QString& text) {
    m_text = text;
    setAccessibleName(text);
    fitWidth();
    update();
}

// The width asked for, or what the whole text and the glyph need in the pane's font (larger
// fonts, scaled screens).
void StatusPane::fitWidth() {
    if (m_width == Stretching) {
        setMinimumWidth(2 * Margin + 2 * frameWidth());
        return;
    }
    const int glyph = m_glyph.isNull() ? 0 : 16 + GlyphGap;
    const int needed =
        fontMetrics().horizontalAdvance(m_text) + glyph + 2 * Margin + 2 * frameWidth() + 2;
    setFixedWidth(qMax(m_width, needed));
}

void StatusPane::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitWidth();
}

void StatusPane::setAlignment(Qt::Alignment alignment) {
    m_alignment = alignment;
    update();
}

void StatusPane::setGlyph(const QIcon& glyph) {
    m_glyph = glyph;
    fitWidth();
    update();
}

void StatusPane::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (m_text.isEmpty())
        return;
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(Margin, 0, -Margin, 0);
    const int glyphSize = m_glyph.isNull() ? 0 : qMin(16, area.height());
    const int glyphSpace = glyphSize > 0 ? glyphSize + GlyphGap : 0;
    const QString shown =
        fontMetrics().elidedText(m_text, Qt::ElideRight, qMax(0, area.width() - glyphSpace));
    // Glyph and text move together, so a centred pane centres both.
    const QSize content(glyphSpace + fontMetrics().horizontalAdvance(shown), area.height());
    const QRect block = QStyle::alignedRect(layoutDirection(), m_alignment | Qt::AlignVCenter,
                                            content.boundedTo(area.size()), area);
    if (glyphSize > 0) {
        const QRect glyphRect(block.left(), block.top() + (block.height() - glyphSize) / 2,
                              glyphSize, glyphSize);
        m_glyph.paint(&painter, glyphRect);
    }
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(block.adjusted(glyphSpace, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, shown);
}

} // namespace quillon
