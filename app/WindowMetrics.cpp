#include "app/WindowMetrics.h"

#include <cmath>

namespace lyremap {

namespace {

constexpr double DesignDotsPerInch = 96.0;

int scaled(int value, double factor) {
    return int(std::lround(value * factor));
}

} // namespace

WindowMetrics windowMetrics(double dotsPerInch) {
    WindowMetrics metrics;
    if (!(dotsPerInch > 0)) // unknown density: keep the design
        return metrics;
    const double density = dotsPerInch / DesignDotsPerInch;
    const int designTextHeight = metrics.textHeight;
    metrics.fontPixels = scaled(metrics.fontPixels, density);
    metrics.textHeight = scaled(designTextHeight, density);
    if (metrics.textHeight == designTextHeight)
        return metrics;
    // Each length is scaled on its own, so the image need not fill the scroll box exactly.
    const double factor = double(metrics.textHeight) / designTextHeight;
    metrics.client =
        QSize(scaled(metrics.client.width(), factor), scaled(metrics.client.height(), factor));
    metrics.statusHeight = scaled(metrics.statusHeight, factor);
    metrics.image =
        QRect(scaled(metrics.image.x(), factor), scaled(metrics.image.y(), factor),
              scaled(metrics.image.width(), factor), scaled(metrics.image.height(), factor));
    return metrics;
}

} // namespace lyremap
