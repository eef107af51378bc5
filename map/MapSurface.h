// The map raster: a fixed-size picture of only black and white pixels that the open sequence
// clears and the widget walk outlines rectangles on. It is created on the first ResetMap and
// kept, at the same size, for the surface's whole life.
//
// Pens are one pixel wide and black. Dashed is 18 pixels on, 6 off; dotted is 3 on, 3 off. On
// every edge the pattern starts at the rectangle's top-left corner: a pixel of a horizontal edge
// at column c is drawn when (c - Left) falls in an "on" part of the pattern, a pixel of a
// vertical edge at row r when (r - Top) does. With the white fill (only inside ResetMap) the
// pattern's gaps and the inside turn white; without fill they are left as they are.
//
// A rectangle with Right < Left or Bottom < Top is drawn as the same pixel block with its edges
// swapped; one with Right == Left or Bottom == Top covers no pixel and draws nothing. Pixels
// outside the raster are clipped; the cost of a rectangle is its visible outline only. Outlines
// drawn without fill are gathered as marks (MapSurfaceMarks) and reach the raster's pixels
// when it is next read or refreshed.
#pragma once

#include "map/MapCanvas.h"
#include "map/MapSurfaceMarks.h"

#include <QImage>
#include <QSize>
#include <array>
#include <vector>

namespace lyremap {

// Whoever shows the raster on screen; a headless surface has none.
class MapView {
public:
    virtual ~MapView() = default;

    // The raster changed: schedule a repaint. Called once per run of changes, not per pixel.
    virtual void mapChanged() = 0;
    // Paint the raster now, before returning.
    virtual void mapRefresh() = 0;
};

class MapSurface final : public MapTarget {
public:
    static constexpr int DefaultWidth = 800;
    static constexpr int DefaultHeight = 600;

    // A surface whose raster, once created, has the given size.
    explicit MapSurface(QSize size = QSize(DefaultWidth, DefaultHeight));

    // The view to notify; not owned, may be null.
    void setView(MapView* view) { view_ = view; }

    void ResetMap() override;
    void SetPenStyle(PenStyle style) override;
    void DrawRectangle(const MapRect& rect) override;
    void RefreshMap() override;
    // Without a view, which hears of every change, drawing touches the surface alone.
    bool DrawsFromAnyThread() const override { return view_ == nullptr; }

    // True once the first ResetMap has created the raster.
    bool hasRaster() const { return !raster_.isNull(); }
    // The raster with everything drawn so far; a null image before the first ResetMap.
    const QImage& raster() const;
    // The size the raster has or will have.
    QSize size() const { return size_; }
    // The current pen style.
    PenStyle penStyle() const { return pen_; }
    // True while rectangles are filled white (from creation until the end of ResetMap).
    bool fillsWhite() const { return fillWhite_; }

private:
    void createRaster();
    void requireRaster() const;
    void fillWhite(const MapRect& rect);
    void changed();
    void applyMarks() const;

    QSize size_;
    // Reading the raster applies the pending marks to it, so both change in const members.
    mutable QImage raster_;
    mutable MapSurfaceMarks marks_;
    // Per pen style, its pattern from phase 0 over the raster's width and one period more, as
    // pixels (made with the raster).
    std::array<std::vector<quint32>, 3> rows_;
    PenStyle pen_ = PenStyle::Solid;
    bool fillWhite_ = true;
    bool changePending_ = false;
    MapView* view_ = nullptr;
};

} // namespace lyremap
