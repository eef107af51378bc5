// The XPaths of a frame log's steps as UTF-8 text, for writing many of them: a widget's path is
// made once from its parent's and kept, a frame's is its widget's and one more step, added
// where it is written.
#pragma once

#include "layout/FrameLog.h"

#include <charconv>
#include <string>
#include <unordered_map>
#include <vector>

namespace lyremap {

class XPathCache {
public:
    // Paths of LOG's steps, with NAMES (one for each of LOG's names, in its order) as the
    // texts of the element names: the names themselves, or as a format must write them.
    XPathCache(const FrameLog& log, std::vector<std::string> names)
        : log_(log), names_(std::move(names)) {}

    // Appends the path of the frame or widget STEP to OUT.
    void append(std::string& out, std::uint32_t step) {
        const FrameLog::Step& s = log_.steps()[step];
        if (s.parent != FrameLog::kNoStep) {
            const Place parent = parentPath(s.parent);
            out.append(arena_, parent.start, parent.size);
        }
        out += '/';
        out += names_[s.name];
        if (s.ordinal > 0) {
            char digits[16];
            out += '[';
            out.append(digits, std::to_chars(digits, digits + sizeof digits, s.ordinal).ptr);
            out += ']';
        }
    }

private:
    // Where a widget's path lies in the arena.
    struct Place {
        std::size_t start = 0;
        std::size_t size = 0;
    };

    Place parentPath(std::uint32_t step) {
        // As deep as the widgets nest, which the parser keeps to 256 levels.
        // A widget's frames come one after another: the last one asked for is kept at hand.
        if (step == lastStep_)
            return lastPlace_;
        if (const auto known = places_.find(step); known != places_.end()) {
            lastStep_ = step;
            lastPlace_ = known->second;
            return lastPlace_;
        }
        std::string path;
        append(path, step);
        const Place place{arena_.size(), path.size()};
        arena_ += path;
        places_.emplace(step, place);
        return place;
    }

    const FrameLog& log_;
    std::unordered_map<std::uint32_t, Place> places_; // by step, of the widgets made so far
    std::uint32_t lastStep_ = FrameLog::kNoStep;
    Place lastPlace_;
    std::string arena_; // every widget path made so far, one after another
    std::vector<std::string> names_;
};

} // namespace lyremap
