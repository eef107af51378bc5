// The widget walk: turns a layout document's widgets and frames into outlined rectangles.
//
// DrawWidget draws every frame child of a widget in document order, each frame moving the
// origin to its own top-left corner, then walks every nested widget from the origin the frames
// left. Element names "widget" and "frame" match in any letter case. A frame's x, y, width and
// height are converted with attributeToInteger; a value that does not convert, or a sum that
// leaves the 32-bit range, falls back to the origin (x, y) or to 24 pixels (width, height), the
// latter summed with 32-bit wrap-around. border "yes" in any case draws solid, else dotted.
// Failures other than a conversion pass out unchanged and end the walk; what was drawn stays.
#pragma once

#include "layout/xml/XmlDocument.h"
#include "map/MapCanvas.h"

#include <QLocale>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace lyremap {

class WidgetWalk {
public:
    // A walk drawing onto CANVAS, reading numbers the way LOCALE writes them.
    WidgetWalk(MapCanvas& canvas, QLocale locale);

    ~WidgetWalk();

    // Walks the widget NODE and everything nested in it from origin (X, Y). The walk keeps
    // its own stack, so no nesting depth can exhaust the call stack. In a compact tree whose
    // elements carry all their attributes it reads the tree directly, to the same effect.
    void DrawWidget(const Node& node, std::int32_t X, std::int32_t Y);
    // Draws the frame NODE relative to (X, Y) and moves (X, Y) to its top-left corner.
    void DrawFrame(const Node& node, std::int32_t& X, std::int32_t& Y);

private:
    struct CompactState;

    void drawFrames(const NodeList& children, std::int32_t& X, std::int32_t& Y);
    // The attribute KEY (QNAME as text) of NODE as an integer; nothing when it is absent or
    // does not convert.
    std::optional<std::int32_t> readInteger(const Node& node, const AttributeKey& key,
                                            QStringView qname) const;
    // An attribute's text as an integer; nothing when it does not convert.
    std::optional<std::int32_t> integerFrom(std::string_view utf8) const;
    std::optional<std::int32_t> integerFrom(const std::optional<QString>& value) const;
    // Draws the frame whose attributes gave these values relative to (X, Y), moving (X, Y).
    void placeFrame(std::optional<std::int32_t> x, std::optional<std::int32_t> y,
                    std::optional<std::int32_t> width, std::optional<std::int32_t> height,
                    bool solid, std::int32_t& X, std::int32_t& Y);
    // DrawWidget on a compact tree (WidgetWalkCompact.cpp).
    void drawCompactWidget(const detail::CompactPosition& at, std::int32_t X, std::int32_t Y);
    void drawCompactFrame(std::uint32_t index, std::int32_t& X, std::int32_t& Y);

    MapCanvas& canvas_;
    QLocale locale_;
    // The names of the frame attributes, prepared for asking every frame.
    const AttributeKey x_{"x"}, y_{"y"}, width_{"width"}, height_{"height"}, border_{"border"};
    // What the compact walk has learnt of the tree it walks last.
    std::unique_ptr<CompactState> compact_;
};

} // namespace lyremap
