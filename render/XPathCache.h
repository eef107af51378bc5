// The XPaths of a frame log's steps as UTF-8 text, for writing many of them: a widget's path is
// made once from its parent's and kept, a frame's is its widget's and one more step, added
// where it is written.
#pragma once

#include "layout/FrameLog.h"

#include <charconv>
#include <string>
#include <vector>

namespace lyremap {

class XPathCache {
public:
    // Paths of LOG's steps, with NAMES (one for each of LOG's names, in its order) as the
    // texts of the element names: the names themselves, or as a format must write them.
    XPathCache(const FrameLog& log, std::vector<std::string> names)
        : log_(log), paths_(log.steps().size()), names_(std::move(names)) {}

    // Appends the path of the frame or widget STEP to OUT.
    void append(std::string& out, std::uint32_t step) {
        const FrameLog::Step& s = log_.steps()[step];
        if (s.parent != FrameLog::kNoStep)
            out += parentPath(s.parent);
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
    const std::string& parentPath(std::uint32_t step) {
        std::string& path = paths_[step];
        // As deep as the widgets nest, which the parser keeps to 256 levels.
        if (path.empty())
            append(path, step);
        return path;
    }

    const FrameLog& log_;
    std::vector<std::string> paths_;
    std::vector<std::string> names_;
};

} // namespace lyremap
