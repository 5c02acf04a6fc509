#include "ui/BandContainer.h"

#include <QVBoxLayout>

namespace quillon {

BandContainer::BandContainer(QWidget* parent)
    : QScrollArea(parent), m_stack(new QWidget), m_layout(new QVBoxLayout(m_stack)) {
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_layout->addStretch(1);
    setWidget(m_stack);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    // Tab goes straight to the bands' grids, and the area scrolls to whatever takes the focus;
    // the stack itself has nothing to show a focus on.
    setFocusPolicy(Qt::NoFocus);
}

Band* BandContainer::addBand(const QString& caption, int expandedHeight, QWidget* content) {
    auto* band = new Band(caption, expandedHeight, m_stack);
    if (content)
        band->setContent(content);
    m_layout->insertWidget(int(m_bands.size()), band);
    m_bands.append(band);
    return band;
}

} // namespace quillon
