// Reads and writes the toolbar lines of QMainWindow::saveState(). The layout is Qt's private one
// and carries no version of its own; MainWindowStateCodecTest (tests/ui) guards it.
#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>
#include <functional>

namespace quillon {

namespace MainWindowStateCodec {

// The version BarManager passes to saveState() and restoreState().
constexpr int StateVersion = 0;

// QMainWindow's saved state numbers its docks left, right, top, bottom.
constexpr Qt::ToolBarArea Docks[] = {Qt::LeftToolBarArea, Qt::RightToolBarArea, Qt::TopToolBarArea,
                                     Qt::BottomToolBarArea};
// The index of the area in Docks; the top dock's for anything else.
int dockIndex(Qt::ToolBarArea area);

// One toolbar on a line of a dock.
struct ToolBarEntry {
    QString name; // the toolbar's objectName()
    uchar shown = 1;
    int pos = 0;    // the edge along the line
    int size = -1;  // the extent along the line it asks for; -1 for its own
    uint geom0 = 0; // bit 0: floating; the floating rectangle in the rest of both words
    uint geom1 = 0;

    bool floating() const { return geom0 & 1; }
    QRect floatRect() const;
    // Marks the entry floating at `rect`.
    void setFloatRect(const QRect& rect);
};

struct ToolBarLine {
    int dock = 2; // index in Docks
    QList<ToolBarEntry> entries;
};

struct WindowState {
    QByteArray head; // everything before the toolbar lines, kept as it is
    QList<ToolBarLine> lines;
};

// A toolbar's place as the lines of a dock show it.
struct ToolBarPlace {
    QString name;
    Qt::ToolBarArea area = Qt::TopToolBarArea;
    int line = 0; // lines are ordered by it; read back, they count from 0 in each dock
    int left = 0; // the edge along the line
    bool shown = true;
    bool floating = false;
    QRect floatRect;
};

// A bar's own extent along a line in the area (its size hint's width or height); negative for
// a bar that is not to be placed.
using ExtentOf = std::function<int(const QString& name, Qt::ToolBarArea area)>;

// Where Qt puts the bars of the lines: it lays a line out from the bars' preferred sizes, the
// last one taking the rest, so a bar's edge is the sum of the extents before it.
QList<ToolBarPlace> placesOf(const QList<ToolBarLine>& lines, const ExtentOf& extentOf);
// Lines that put the bars at their places: the gap to the next bar on a line becomes a bar's
// preferred size, but never less than its own extent.
QList<ToolBarLine> linesOf(const QList<ToolBarPlace>& places, const ExtentOf& extentOf);

// Splits a saved state into its head and toolbar lines. Only a window without dock widgets is
// understood; false otherwise or for bytes not laid out this way.
bool decode(const QByteArray& bytes, WindowState* state);
// The saved state with the head and the lines given.
QByteArray encode(const WindowState& state);

} // namespace MainWindowStateCodec

} // namespace quillon
