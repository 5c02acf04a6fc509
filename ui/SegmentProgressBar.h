// A progress bar drawn as a row of separate LED-like blocks, without a percentage text.
#pragma once

#include <QProgressBar>

namespace quillon {

class SegmentProgressBar : public QProgressBar {
    Q_OBJECT

public:
    explicit SegmentProgressBar(QWidget* parent = nullptr);

    // Blocks lit for the current value.
    int litSegments() const;
    int segmentCount() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect segmentArea() const;
};

} // namespace quillon
