#include "ui/Contrast.h"

#include <cmath>

namespace quillon {

namespace {

double channel(double value) {
    return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& color) {
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
           0.0722 * channel(color.blueF());
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableOn(const QColor& wanted, const QColor& background, double ratio) {
    if (contrastRatio(wanted, background) >= ratio)
        return wanted;
    const QColor end = luminance(background) < 0.18 ? QColor(Qt::white) : QColor(Qt::black);
    // Blend towards white or black in small steps; the end itself always reaches 4.5 or more
    // against a background on the other side of mid-grey.
    for (int step = 1; step <= 20; ++step) {
        const double t = step / 20.0;
        const QColor mixed =
            QColor::fromRgbF(float(wanted.redF() + (end.redF() - wanted.redF()) * t),
                             float(wanted.greenF() + (end.greenF() - wanted.greenF()) * t),
                             float(wanted.blueF() + (end.blueF() - wanted.blueF()) * t));
        if (contrastRatio(mixed, background) >= ratio)
            return mixed;
    }
    return end;
}

} // namespace quillon
