// Rebuilds a file with a new head: the new bytes first, then the old file from
// a given offset to its end. The new content is written beside the file under
// a name of its own and replaces it in one rename, so the file is either
// wholly old or wholly new, and nothing else in the folder is touched but what
// saves killed midway left there.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct RebuildPlan {
    std::vector<unsigned char> head; // written first
    std::int64_t keepFrom = 0;       // the old file's bytes from here on follow
};

// Called with the original opened for reading and locked, and its size; gives
// the plan, or nothing to give up without touching the file (after recording
// why with setWriteError, or a general reason is given).
using RebuildPlanner = std::function<std::optional<RebuildPlan>(int fd, std::int64_t fileSize)>;

// Never throws. A link is followed so that it stays a link. On failure,
// lastWriteError() says why.
bool rebuildFile(const std::string& fileName, const RebuildPlanner& planner);

// Removes from `folder` the new content that saves killed midway left under
// its own name (where the file system has no unnamed files, such as FAT). A
// save still running holds a lock on its new content, which is kept.
void removeDeadLeftovers(const std::string& folder);
