#include "render/LayoutRenderer.h"

namespace lyremap {

LayoutRenderer::LayoutRenderer(std::FILE* trace, bool keepOutlines) : target_(&surface_) {
    if (trace)
        target_ = &tracer_.emplace(*target_, trace);
    if (keepOutlines)
        target_ = &recorder_.emplace(*target_);
}

OpenOutcome LayoutRenderer::open(const QString& path, WalkListener* listener) {
    if (recorder_)
        recorder_->clear();
    return OpenLayout(xmlDoc_, *target_, path, QLocale::system(), listener);
}

DrawnMap LayoutRenderer::drawn() const {
    DrawnMap map;
    map.cleared = surface_.hasRaster();
    if (map.cleared) {
        map.pixels = surface_.raster();
    } else {
        map.pixels = QImage(surface_.size(), QImage::Format_RGB32);
        map.pixels.fill(Qt::white);
    }
    if (recorder_)
        map.outlines = recorder_->outlines();
    return map;
}

} // namespace lyremap
