// The XPaths of a frame log's steps as UTF-8 text, for writing many of them: the path of the
// widget last asked about and of each of its ancestors is kept as one text on a stack, so a
// frame's path is that text and one more step. Steps asked for in drawing order, as the log
// holds its frames, change the stack by a step or two at a time; any other order is answered
// too, by rebuilding the part of the stack that differs.
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
        : log_(log), names_(std::move(names)) {}

    // Appends the path of the frame or widget STEP to OUT.
    void append(std::string& out, std::uint32_t step) {
        const FrameLog::Step& s = log_.steps()[step];
        if (s.parent != FrameLog::kNoStep) {
            reach(s.parent);
            out += chainText_;
        }
        appendStep(out, s);
    }

private:
    // One widget of the chain, and where its path ends in chainText_.
    struct Link {
        std::uint32_t step;
        std::size_t end;
    };

    void appendStep(std::string& out, const FrameLog::Step& s) const {
        out += '/';
        out += names_[s.name];
        if (s.ordinal > 0) {
            char digits[16];
            out += '[';
            out.append(digits, std::to_chars(digits, digits + sizeof digits, s.ordinal).ptr);
            out += ']';
        }
    }

    // Makes the chain end at STEP: keeps the ancestors it shares with the chain, and adds the
    // others. The depths say where on the chain an ancestor would stand.
    void reach(std::uint32_t step) {
        if (!chain_.empty() && chain_.back().step == step)
            return;
        added_.clear();
        std::uint32_t at = step;
        while (at != FrameLog::kNoStep) {
            const std::uint32_t depth = log_.steps()[at].depth;
            if (depth < chain_.size() && chain_[depth].step == at)
                break;
            added_.push_back(at);
            at = log_.steps()[at].parent;
        }
        chain_.resize(at == FrameLog::kNoStep ? 0 : log_.steps()[at].depth + 1);
        chainText_.resize(chain_.empty() ? 0 : chain_.back().end);
        for (auto added = added_.rbegin(); added != added_.rend(); ++added) {
            appendStep(chainText_, log_.steps()[*added]);
            chain_.push_back(Link{*added, chainText_.size()});
        }
    }

    const FrameLog& log_;
    std::vector<std::string> names_;
    std::vector<Link> chain_;          // the root first, at index = depth
    std::string chainText_;            // the path of the chain's last widget
    std::vector<std::uint32_t> added_; // scratch: steps to put on the chain, deepest first
};

} // namespace lyremap
