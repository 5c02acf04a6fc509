// Rebuilds a file with a new head: the new bytes first, then the old file from
// a given offset to its end. When the head fits the room of the old one, only
// its bytes are written, in place under a journal (tags/Journal.h). Else the
// new content is written beside the file under a name of its own and replaces
// it in one rename, so the file is either wholly old or wholly new, and
// nothing else in the folder is touched but what saves killed midway left
// there; a file with other links or of another owner is rewritten in place
// under the journal instead, so that it stays the same file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

struct RebuildPlan {
    std::vector<unsigned char> head; // written first
    std::int64_t keepFrom = 0;       // the old file's bytes from here on follow
    // Grows the head with zero padding to a size and says so in its header;
    // false when it cannot. Without it the head is written as it is.
    std::function<bool(std::vector<unsigned char>& head, std::int64_t size)> padTo;
};

// Called with the original opened for reading and locked, and its size; gives
// the plan, or nothing to give up without touching the file (after recording
// why with setWriteError, or a general reason is given).
using RebuildPlanner = std::function<std::optional<RebuildPlan>(int fd, std::int64_t fileSize)>;

// Never throws. A link is followed so that it stays a link. On failure,
// lastWriteError() says why. In an open WriteBatch, a write in place is
// gathered and true says so; the batch tells how it went.
bool rebuildFile(const std::string& fileName, const RebuildPlanner& planner);

// Removes from `folder` the new content that saves killed midway left under
// its own name (where the file system has no unnamed files, such as FAT). A
// save still running holds a lock on its new content, which is kept.
void removeDeadLeftovers(const std::string& folder);

} // namespace quillon
