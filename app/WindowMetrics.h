// The main window's sizes at a given screen density, in screen pixels.
//
// The window is designed at 96 pixels per inch for a font whose text is 13 pixels high. At
// another density the font grows with it, and so does its text height, round(13 * dpi / 96).
// When that differs from 13, the client area, the status bar and the map image's place and size
// are each multiplied by (text height / 13) and rounded to the nearest pixel. The panel border
// and the sunken edge keep their width; the panel and the scroll box fill what the client area
// leaves them, and the map raster is made at the image's size.
#pragma once

#include <QRect>
#include <QSize>

namespace lyremap {

struct WindowMetrics {
    int fontPixels = 11;         // the window font's character height
    int textHeight = 13;         // the height of a line of text in that font
    QSize client{820, 639};      // the area below the menu bar
    int statusHeight = 19;       // the status bar at the bottom of the client area
    int panelBorder = 8;         // the panel's inner border around the scroll box
    int scrollEdge = 2;          // the scroll box's sunken edge
    QRect image{0, 0, 800, 600}; // the map image inside the scroll box
};

// The metrics for a screen of DOTS_PER_INCH pixels per inch; the design when it is not positive.
WindowMetrics windowMetrics(double dotsPerInch);

} // namespace lyremap
