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
    metrics.image =
        QRect(scaled(metrics.image.left(), factor), scaled(metrics.image.top(), factor),
              scaled(metrics.image.width(), factor), scaled(metrics.image.height(), factor));
    // The panel border and the sunken edge keep their width; the status bar takes what the
    // panel leaves below it.
    metrics.statusHeight = metrics.client.height() - metrics.image.height() -
                           2 * (metrics.panelBorder + metrics.scrollEdge);
    return metrics;
}

} // namespace lyremap
