// The drawing operations the map offers to its users, as abstract interfaces so the widget walk
// and the open sequence can run against the real raster, a tracer or a test recorder alike.
#pragma once

#include "map/MapTypes.h"

namespace lyremap {

// What the widget walk needs: choose the pen, outline a rectangle.
class MapCanvas {
public:
    virtual ~MapCanvas() = default;

    // Pen style for every following DrawRectangle until it is set again.
    virtual void SetPenStyle(PenStyle style) = 0;
    // Outline one rectangle with the current pen and fill; any coordinates are accepted.
    virtual void DrawRectangle(const MapRect& rect) = 0;
};

// What the open sequence needs besides: clear the map and show it.
class MapTarget : public MapCanvas {
public:
    // Clear the map to white with a dashed border, repaint it, then switch the fill off.
    virtual void ResetMap() = 0;
    // Show the raster's current state at once.
    virtual void RefreshMap() = 0;
    // True when SetPenStyle and DrawRectangle may be called on another thread while this one
    // leaves the map alone, and a ResetMap afterwards undoes them: nothing outside the map
    // sees a drawing call as it happens.
    virtual bool DrawsFromAnyThread() const { return false; }
};

} // namespace lyremap
