// The faces the window and the About box draw their texts with: the designed ones where they
// can be drawn sharply, scalable stand-ins with the same metrics elsewhere.
#pragma once

#include <QFont>

namespace quillon {

// The window's font: MS Sans Serif 8 pt.
QFont windowFont();
// The status bar's font: Tahoma 8 pt.
QFont statusFont();
// Makes the designed faces known (Wine's metric-compatible copies, where installed) and points
// their names at the stand-ins. Called by the functions above; the About box calls it before
// asking for "MS Sans Serif" by name.
void registerWindowFaces();
// Whether the screens draw at more than one pixel per unit, where a bitmap face would be scaled.
bool drawsScaled();

} // namespace quillon
