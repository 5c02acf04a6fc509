// A vertical stack of collapsible bands that scrolls when the bands are taller than the
// container.
#pragma once

#include "ui/Band.h"

#include <QList>
#include <QScrollArea>

class QVBoxLayout;

namespace quillon {

class BandContainer : public QScrollArea {
    Q_OBJECT

public:
    explicit BandContainer(QWidget* parent = nullptr);

    // Bands start expanded and stack in the order they are added.
    Band* addBand(const QString& caption, int expandedHeight, QWidget* content = nullptr);
    QList<Band*> bands() const { return m_bands; }

private:
    QWidget* m_stack;
    QVBoxLayout* m_layout;
    QList<Band*> m_bands;
};

} // namespace quillon
