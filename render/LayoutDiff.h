// Which frames of two opens differ. The two walks' element trees are matched level by level:
// the children of two matched widgets are aligned in order, widgets and frames by their element
// name, preferring children whose whole subtree is the same, so that a widget inserted or removed
// leaves its siblings matched. Subtrees are compared with each frame placed relative to its own
// origin, so a frame moved with everything after it still matches; the rectangles compared are
// the drawn ones, so every frame whose rectangle changed is reported, and no other.
#pragma once

#include "layout/FrameLog.h"

#include <cstdint>
#include <vector>

namespace lyremap {

// One difference between a frame of the old open and its match in the new one.
struct FrameChange {
    enum class Kind : std::uint8_t {
        Moved,    // same size, another place
        Resized,  // another size, whether or not it also moved
        Restyled, // another pen; a frame also moved or resized has a change of each kind
        Added,    // only in the new open
        Removed,  // only in the old open
    };
    static constexpr std::uint32_t kNoFrame = 0xFFFFFFFFu;

    Kind kind;
    std::uint32_t oldFrame = kNoFrame; // index into the old log's frames; none for Added
    std::uint32_t newFrame = kNoFrame; // index into the new log's frames; none for Removed
};

// The changes from OLD_LOG to NEW_LOG, in drawing order: a matched frame's where the new open
// drew it, an unmatched one's where its own open did, removals before additions at one place.
std::vector<FrameChange> diffFrames(const FrameLog& oldLog, const FrameLog& newLog);

} // namespace lyremap
