// imgMap: the widget that shows the map raster at 1:1 from its top-left corner. It owns the map
// surface. Until the raster exists it paints nothing, so its background shows through.
#pragma once

#include "map/MapSurface.h"

#include <QWidget>

namespace lyremap {

class MapImage final : public QWidget, public MapView {
    Q_OBJECT
public:
    // An image of SIZE device pixels whose surface makes its raster at that size.
    explicit MapImage(QSize size, QWidget* parent = nullptr);

    MapSurface& surface() { return surface_; }
    const MapSurface& surface() const { return surface_; }

    void mapChanged() override;
    void mapRefresh() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MapSurface surface_;
};

} // namespace lyremap
