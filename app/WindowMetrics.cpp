#include "app/WindowMetrics.h"

#include <cmath>

namespace lyremap {

namespace {

constexpr double DesignDotsPerInch = 96.0;
constexpr int DesignFontPixels = 11;
constexpr int DesignTextHeight = 13;

int scaled(int value, double factor) {
    return int(std::lround(value * factor));
}

} // namespace

WindowMetrics windowMetrics(double dotsPerInch) {
    WindowMetrics metrics;
    if (!(dotsPerInch > 0)) // unknown density: keep the design
        return metrics;
    const double density = dotsPerInch / DesignDotsPerInch;
    metrics.fontPixels = scaled(DesignFontPixels, density);
    const int textHeight = scaled(DesignTextHeight, density);
    if (textHeight == DesignTextHeight)
        return metrics;
    const double factor = double(textHeight) / DesignTextHeight;
    metrics.client =
        QSize(scaled(metrics.client.width(), factor), scaled(metrics.client.height(), factor));
    metrics.statusHeight = scaled(metrics.statusHeight, factor);
    return metrics;
}

} // namespace lyremap
