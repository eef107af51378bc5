// The XPaths of a frame log's steps as UTF-8 text, for writing many of them: the path of the
// widget last asked about and of each of its ancestors is kept as one text on a stack, so a
// frame's path is that text and one more step. Steps asked for in drawing order, as the log
// holds its frames, change the stack by a step or two at a time; any other order is answered
// too, by rebuilding those entries of the stack that differ.
#pragma once

#include "layout/FrameLog.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <string_view>
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
        out += parentPath(step);
        appendStep(out, step);
    }

    // The path of STEP's parent, empty for a step without one; valid until the next call.
    std::string_view parentPath(std::uint32_t step) {
        const std::uint32_t parent = log_.steps()[step].parent;
        if (parent == FrameLog::kNoStep)
            return {};
        reach(parent);
        return chainText_;
    }
    // The most bytes writeStep() writes for STEP.
    std::size_t stepRoom(std::uint32_t step) const {
        return names_[log_.steps()[step].name].size() + 16;
    }
    // Writes the last step of STEP's path, "/NAME" or "/NAME[ORDINAL]", at AT; returns its end.
    char* writeStep(char* at, std::uint32_t step) const {
        const FrameLog::Step& s = log_.steps()[step];
        *at++ = '/';
        at = std::copy(names_[s.name].begin(), names_[s.name].end(), at);
        if (s.ordinal > 0) {
            *at++ = '[';
            at = std::to_chars(at, at + 12, s.ordinal).ptr;
            *at++ = ']';
        }
        return at;
    }

private:
    // One widget of the chain, and where its path ends in chainText_.
    struct Link {
        std::uint32_t step;
        std::size_t end;
    };

    // Appends the last step of STEP's path to OUT.
    void appendStep(std::string& out, std::uint32_t step) const {
        const std::size_t start = out.size();
        out.resize(start + stepRoom(step));
        out.resize(std::size_t(writeStep(out.data() + start, step) - out.data()));
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
            appendStep(chainText_, *added);
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
