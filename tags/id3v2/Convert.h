// A tag's frames carried from revision 2.3 to 2.4 or back: the date, original
// date and people frames mapped to their counterparts, the text encodings
// 2.3 lacks re-encoded, the flags of each frame header moved to where the
// other revision keeps them; every other frame keeps its bytes.
#pragma once

#include "tags/id3v2/Frames.h"

#include <string>
#include <vector>

namespace quillon::id3v2 {

// A frame as the conversion sees it: its 2.3/2.4 id (empty when a 2.2 id has
// none), its status flags in the 2.3 places, and its content, when it could
// be read.
struct FrameToConvert {
    std::string id;
    unsigned char status = 0;
    bool readable = false;
    std::string content;
};

// The frames of a tag of revision `from` (2.2 counts as 2.3) as revision
// `to` writes them, appended to `out` when given, and what cannot be carried
// ("TRDA: no counterpart in 2.4"). Nothing changes when both are the same.
void convertFrames(const std::vector<FrameToConvert>& frames, int from, const Revision& to,
                   Bytes* out, std::vector<std::string>& losses);

// Whether the conversion needs the content of a frame of this id to name
// its losses.
bool contentNamesLosses(std::string_view id);

// The 2.3 places of a frame's status flags, from the flag byte of revision
// `major`.
unsigned char statusAs23(unsigned char status, int major);

} // namespace quillon::id3v2
