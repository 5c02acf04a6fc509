// Reads and writes the toolbar lines of QMainWindow::saveState(). The layout is Qt's private one
// and carries no version of its own; MainWindowStateCodecTest (tests/ui) guards it.
#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>

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

// Splits a saved state into its head and toolbar lines. Only a window without dock widgets is
// understood; false otherwise or for bytes not laid out this way.
bool decode(const QByteArray& bytes, WindowState* state);
// The saved state with the head and the lines given.
QByteArray encode(const WindowState& state);

} // namespace MainWindowStateCodec
