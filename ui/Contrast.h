// Colours chosen for the light default palette, kept readable on any other (a dark theme):
// contrast ratios as the web's accessibility guidelines define them.
#pragma once

#include <QColor>

namespace quillon {

// The contrast ratio of two colours, from 1 (the same) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);

// `wanted` where it stands out from `background` by at least `ratio`; else the same hue made
// lighter on a dark background (darker on a light one) until it does.
QColor readableOn(const QColor& wanted, const QColor& background, double ratio = 4.5);

} // namespace quillon
