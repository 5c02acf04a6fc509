#include "ui/StatusBar.h"

#include <QPushButton>

namespace quillon {

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
}

StatusPane* StatusBar::addPane(const QString& text, int width, Qt::Alignment alignment,
                               const QIcon& glyph) {
    auto* pane = new StatusPane(text, width, this);
    pane->setAlignment(alignment);
    pane->setGlyph(glyph);
    addWidget(pane);
    return pane;
}

StatusPane* StatusBar::addStretchingPane() {
    auto* pane = new StatusPane(QString(), StatusPane::Stretching, this);
    addWidget(pane, 1);
    return pane;
}

SegmentProgressBar* StatusBar::addProgressBar(int width) {
    auto* bar = new SegmentProgressBar(this);
    bar->setFixedWidth(width);
    addWidget(bar);
    return bar;
}

QPushButton* StatusBar::addFlatButton(const QString& text, int width) {
    auto* button = new QPushButton(text, this);
    button->setFlat(true);
    button->setFixedWidth(width);
    button->setAccessibleName(text);
    addWidget(button);
    button->hide();
    return button;
}

} // namespace quillon
