// The inspector's grids as the bands' row descriptions (display/BandRows.h) lay them out.
#pragma once

namespace quillon {

class InspectorGrid;
struct BandLayout;

// A grid named after the band, with its rows, their captions, kinds and places on the lines.
InspectorGrid* createBandGrid(const BandLayout& band);

} // namespace quillon
