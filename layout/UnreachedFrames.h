// Frames the widget walk never reaches. The walk passes over elements of other names with all
// they hold, frames directly under the root, widgets inside frames and prefixed names; the
// frames inside them are never drawn. The walk tells its listener of every child it passes
// over; each of those, and each child of a drawn frame, is looked at here once.
#pragma once

#include "layout/xml/XmlDocument.h"

#include <vector>

namespace lyremap {

// An outermost element the walk never visited, and how many frames it holds (itself included).
struct UnreachedElement {
    Node element;
    Node parent; // the element or entity reference it stands in
    int frames = 0;
};

// Why the walk passes ELEMENT by, in a few words, e.g. "a frame directly under the root".
QString unreachedReason(const UnreachedElement& unreached, const Node& root);

// Appends to FOUND the outermost elements at or under CHILD, a node of PARENT that the walk
// never visits, that are or hold an element named frame (in any letter case), in document
// order. Entity references are looked through; other nodes hold no elements.
void addUnreachedFrames(const Node& child, const Node& parent,
                        std::vector<UnreachedElement>& found);

} // namespace lyremap
