// The rows of the inspector's three bands, each described once: its name, caption and kind,
// the tag field it shows, and where the band puts it. The window builds its grids from these;
// the field lists, the band texts and quillon-probe take their captions and order from them.
#pragma once

#include <string_view>
#include <vector>

namespace quillon {

enum class RowKind {
    Text,
    Number,    // a tag's whole number, shown as text
    Genre,     // picked from the genre table, or typed
    Link,      // a web address the user can open
    Check,     // "True" or "False", shown as a check box
    LongText,  // text of several lines: the row shows the first, a dialog edits it whole
    Composite, // no text of its own: its members side by side on one line
};

struct BandRow {
    std::string_view name;    // "iID3v1_Title": the row's name in the window
    std::string_view caption; // "Title"; none for a composite
    RowKind kind = RowKind::Text;
    std::string_view field = {}; // the tag field shown ("title"); none for other rows
    // A member of a composite row: the composite, and the member's width on its line (0: a
    // share of what the line leaves, by what the texts need), the least it shrinks to, and a
    // text it always shows whole.
    std::string_view composite = {};
    int width = 0;
    int minWidth = 0;
    std::string_view fitText = {};
    bool centred = false;
};

struct BandLayout {
    std::string_view grid;    // "iID3v1": the grid's name in the window
    std::string_view caption; // "ID3v1 Tag"
    int dividerPosition;
    int height;                // of the band when expanded
    std::vector<BandRow> rows; // in the order the grid declares them
    // The rows with text as shown, top to bottom; the members of a composite sit together on
    // its line, in this order. A row left out is shown after them while it has something to
    // say (the MPEG band's VBR row).
    std::vector<std::string_view> shown;
};

const BandLayout& ID3v1Band();
const BandLayout& ID3v2Band();
const BandLayout& MpegBand();

// The row of the band with this name; nullptr for none.
const BandRow* findRow(const BandLayout& band, std::string_view name);
// The lines of the band, top to bottom: the shown rows with each composite's members replaced
// by the composite.
std::vector<const BandRow*> bandLines(const BandLayout& band);
// The members of a composite row, in their order on its line.
std::vector<const BandRow*> membersOf(const BandLayout& band, std::string_view composite);
// The rows with text in the order they are shown, those left out of the lines last.
std::vector<const BandRow*> displayOrder(const BandLayout& band);

} // namespace quillon
