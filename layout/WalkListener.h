// What the widget walk tells an observer about each widget and frame, in drawing order, so that
// tools can say where a frame came from without walking the document a second time.
//
// An ordinal is an element's 1-based place among the children of its parent whose name is
// written exactly the same way: the index of an XPath step such as widget[2].
#pragma once

#include "layout/xml/XmlDocument.h"
#include "map/MapTypes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace lyremap {

// Why a frame's coordinate fell back to its default, if it did.
enum class Fallback : std::uint8_t {
    None,       // the attribute gave the value
    Absent,     // no such attribute
    NotANumber, // present, but no conversion reads it (or it is beyond the 32-bit range)
    OutOfRange, // it converts, but adding it to its base leaves the 32-bit range
};

// What the walk made of one frame.
struct FrameOutcome {
    MapRect rect;
    bool solid = false;
    // The origin the frame was placed from.
    std::int32_t originX = 0;
    std::int32_t originY = 0;
    // For x, y, width and height in that order: whether and why each took its default.
    std::array<Fallback, 4> fallback{};
    // The texts the walk read for x, y, width, height and border, as AttributeValue gives
    // them; views into the document, valid while it is held.
    std::array<std::optional<std::string_view>, 5> values{};
};

class WalkListener {
public:
    virtual ~WalkListener() = default;
    // The open found the layout's root element ROOT and is about to walk its widgets.
    virtual void rootFound(const Node& root) = 0;
    // The walk enters WIDGET, the ORDINAL-th of its name under its parent.
    virtual void widgetEntered(const Node& widget, int ordinal) = 0;
    // The walk is done with the widget it entered last, and with everything inside it.
    virtual void widgetLeft() = 0;
    // FRAME, the ORDINAL-th of its name under the current widget, was drawn as OUTCOME.
    virtual void frameDrawn(const Node& frame, int ordinal, const FrameOutcome& outcome) = 0;
    // The walk passes CHILD of PARENT (the root or an entered widget) by, with everything in
    // it: a child that is neither drawn nor entered, such as text, an element of another name
    // or a frame directly under the root. A drawn frame's own children are never looked at.
    virtual void passedOver(const Node& child, const Node& parent) = 0;
    // The walk told so far, from rootFound on, does not count: the open failed while it ran
    // (it may run while the file is still being read). Forget it; another walk may follow.
    virtual void walkUndone() = 0;
};

} // namespace lyremap
