#include "layout/FrameLog.h"

#include <QStringList>
#include <algorithm>
#include <string>

namespace lyremap {

void FrameLog::clear() {
    frames_.clear();
    steps_.clear();
    names_.clear();
    utf8Names_.clear();
    open_.clear();
    lastName_ = {};
}

std::uint32_t FrameLog::addStep(const Node& node, int ordinal) {
    // Steps are the root and elements named widget or frame in some letter case: a few dozen
    // names at the most, so a short search over their UTF-8 text beats hashing every step's
    // name, and no text is converted for a name already known.
    const std::string_view name = node.NodeNameUtf8();
    if (name.data() != lastName_.data() || name.size() != lastName_.size()) {
        auto known = std::find(utf8Names_.begin(), utf8Names_.end(), name);
        if (known == utf8Names_.end()) {
            known = utf8Names_.insert(utf8Names_.end(), std::string(name));
            names_.push_back(node.NodeName());
        }
        lastName_ = name;
        lastNameIndex_ = static_cast<std::uint32_t>(known - utf8Names_.begin());
    }
    const std::uint32_t parent = open_.empty() ? kNoStep : open_.back();
    const std::uint32_t depth = open_.empty() ? 0 : steps_[parent].depth + 1;
    steps_.push_back(Step{parent, lastNameIndex_, ordinal, depth});
    return static_cast<std::uint32_t>(steps_.size() - 1);
}

void FrameLog::rootFound(const Node& root) {
    lastName_ = {};
    open_.push_back(addStep(root, 0));
}

void FrameLog::widgetEntered(const Node& widget, int ordinal) {
    open_.push_back(addStep(widget, ordinal));
}

void FrameLog::widgetLeft() {
    open_.pop_back();
}

void FrameLog::frameDrawn(const Node& frame, int ordinal, const FrameOutcome& outcome) {
    frames_.push_back(Frame{outcome.rect, outcome.solid ? PenStyle::Solid : PenStyle::Dotted,
                            frame.Position(), addStep(frame, ordinal)});
}

QString FrameLog::xpath(std::uint32_t step) const {
    QStringList parts;
    for (std::uint32_t at = step; at != kNoStep; at = steps_[at].parent) {
        const Step& s = steps_[at];
        parts.prepend(s.ordinal > 0 ? names_[s.name] + u'[' + QString::number(s.ordinal) + u']'
                                    : names_[s.name]);
    }
    return u'/' + parts.join(u'/');
}

} // namespace lyremap
