// Frames the widget walk never reaches. The walk passes over elements of other names with all
// they hold, frames directly under the root, widgets inside frames and prefixed names; the
// frames inside them are never drawn. Given which elements a walk visited, a plain traversal of
// the document finds the outermost elements it did not visit that are, or hold, a frame.
#pragma once

#include "layout/xml/XmlDocument.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace lyremap {

// The elements one walk visited: its root, every widget entered and every frame drawn.
class VisitedElements {
public:
    void clear() {
        plain_.clear();
        viaReference_.clear();
    }
    void add(const Node& element) {
        const std::uint64_t key = element.key();
        if (key >> 32 == kPlain) {
            if ((key & kPlain) >= plain_.size())
                plain_.resize(std::max<std::size_t>(2 * plain_.size(), (key & kPlain) + 1));
            plain_[key & kPlain] = true;
        } else {
            viaReference_.insert(key);
        }
    }
    bool contains(const Node& node) const {
        const std::uint64_t key = node.key();
        if (key >> 32 == kPlain)
            return (key & kPlain) < plain_.size() && plain_[key & kPlain];
        return viaReference_.count(key) != 0;
    }

private:
    // Nodes not reached through an entity reference, the walk's own, are marked by their
    // number; the few others are kept in a set.
    static constexpr std::uint64_t kPlain = 0xFFFFFFFFu;
    std::vector<bool> plain_;
    std::unordered_set<std::uint64_t> viaReference_;
};

// An outermost element the walk never visited, and how many frames it holds (itself included).
struct UnreachedElement {
    Node element;
    Node parent; // the element or entity reference it stands in
    int frames = 0;
};

// Why the walk passes ELEMENT by, in a few words, e.g. "a frame directly under the root".
QString unreachedReason(const UnreachedElement& unreached, const Node& root);

// The outermost elements under ROOT that VISITED does not hold and that are or hold an element
// named frame (in any letter case), in document order. Entity references are looked through.
std::vector<UnreachedElement> findUnreachedFrames(const Node& root, const VisitedElements& visited);

} // namespace lyremap
