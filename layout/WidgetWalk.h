// The widget walk: turns a layout document's widgets and frames into outlined rectangles.
//
// DrawWidget draws every frame child of a widget in document order, each frame moving the
// origin to its own top-left corner, then walks every nested widget from the origin the frames
// left. Element names "widget" and "frame" match in any letter case. A frame's x, y, width and
// height are converted with attributeToInteger; a value that does not convert, or a sum that
// leaves the 32-bit range, falls back to the origin (x, y) or to 24 pixels (width, height), the
// latter summed with 32-bit wrap-around. border "yes" in any case draws solid, else dotted.
// Failures other than a conversion pass out unchanged and end the walk; what was drawn stays.
// A listener, when set, is told of every widget entered and left, every frame drawn and
// every child passed over.
#pragma once

#include "layout/WalkListener.h"
#include "layout/xml/XmlDocument.h"
#include "map/MapCanvas.h"

#include <QLocale>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace lyremap {

class WidgetWalk {
public:
    // A walk drawing onto CANVAS, reading numbers the way LOCALE writes them.
    WidgetWalk(MapCanvas& canvas, QLocale locale);

    // Tells LISTENER what the walk does from now on; null for nobody. Not owned.
    void setListener(WalkListener* listener) { listener_ = listener; }

    // Walks the widget NODE and everything nested in it from origin (X, Y). The walk keeps
    // its own stack, so no nesting depth can exhaust the call stack. ORDINAL is NODE's place
    // among its parent's children of the same name, for the listener.
    void DrawWidget(const Node& node, std::int32_t X, std::int32_t Y, int ordinal = 1);
    // Draws the frame NODE relative to (X, Y) and moves (X, Y) to its top-left corner.
    void DrawFrame(const Node& node, std::int32_t& X, std::int32_t& Y);
    // Walks every child of the layout's ROOT named widget (in any letter case) from (0, 0),
    // telling the listener of the root first.
    void walkRoot(const Node& root);

private:
    // The frame NODE's rectangle and pen relative to (X, Y).
    FrameOutcome placeFrame(const Node& node, std::int32_t X, std::int32_t Y) const;
    // Draws the frame NODE, the ORDINAL-th of its name, and moves (X, Y).
    void drawFrame(const Node& node, int ordinal, std::int32_t& X, std::int32_t& Y);
    // An attribute's text as an integer; nothing when it is absent or does not convert.
    std::optional<std::int32_t> integerFrom(const std::optional<std::string_view>& utf8) const;

    // Whether a node name is "frame" or "widget", remembered by where the document holds the
    // name: within one walk every node of a name shows the same text at the same place.
    struct NameVerdict {
        const char* name = nullptr;
        bool frame = false;
        bool widget = false;
    };
    const NameVerdict& verdictFor(std::string_view name);

    MapCanvas& canvas_;
    QLocale locale_;
    WalkListener* listener_ = nullptr;
    std::array<NameVerdict, 64> verdicts_{};
    // The names of the frame attributes, prepared for asking every frame.
    const AttributeSet frameAttributes_{"x", "y", "width", "height", "border"};
};

} // namespace lyremap
