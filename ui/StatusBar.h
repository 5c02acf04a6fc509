// The window's status bar: fixed-width panes left to right, a segment progress bar and a
// flat button, each added in display order.
#pragma once

#include "ui/SegmentProgressBar.h"
#include "ui/StatusPane.h"

#include <QStatusBar>

class QPushButton;

namespace quillon {

class StatusBar : public QStatusBar {
    Q_OBJECT

public:
    explicit StatusBar(QWidget* parent = nullptr);

    StatusPane* addPane(const QString& text, int width, Qt::Alignment alignment = Qt::AlignLeft,
                        const QIcon& glyph = QIcon());
    // A pane that takes the room the others leave, at least none: a note that must not make
    // the window wider. Its text is cut where the room ends.
    StatusPane* addStretchingPane();
    SegmentProgressBar* addProgressBar(int width);
    // Flat and hidden until the program shows it.
    QPushButton* addFlatButton(const QString& text, int width);
};

} // namespace quillon
