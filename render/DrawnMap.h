// What one open drew, in the two forms the map writers need: the pixels, and the outlines in the
// order they were drawn (for formats that keep each outline as a shape of its own).
#pragma once

#include "map/MapTypes.h"

#include <QImage>
#include <span>

namespace lyremap {

// One DrawRectangle of the walk: the rectangle as it was handed to the map, and its pen.
struct DrawnOutline {
    MapRect rect;
    PenStyle pen;
};

struct DrawnMap {
    // The map as the viewer shows it: the raster, or a blank white area when none was made.
    QImage pixels;
    // True when the raster exists: a white map with a dashed border, cleared by the open.
    bool cleared = false;
    // Every outline the open drew after clearing the map; empty unless they were recorded.
    std::span<const DrawnOutline> outlines;
};

} // namespace lyremap
