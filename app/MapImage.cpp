#include "app/MapImage.h"

#include <QPainter>

namespace lyremap {

MapImage::MapImage(QSize size, QWidget* parent) : QWidget(parent), surface_(size) {
    surface_.setView(this);
}

void MapImage::mapChanged() {
    update();
}

void MapImage::mapRefresh() {
    repaint();
}

void MapImage::paintEvent(QPaintEvent*) {
    if (!surface_.hasRaster())
        return;
    QPainter painter(this);
    // The raster is in device pixels; drawing it into its size in logical pixels maps one
    // raster pixel onto one screen pixel at any device pixel ratio.
    const QImage& raster = surface_.raster();
    const QRectF target(QPointF(0, 0), QSizeF(raster.size()) / devicePixelRatioF());
    painter.drawImage(target, raster);
}

} // namespace lyremap
