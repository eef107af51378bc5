// The main window's sizes at a given screen density.
//
// The window is designed at 96 pixels per inch for a font whose text is 13 pixels high. At
// another density the font grows with it; when the grown font's text height differs from 13,
// the client area and the status bar grow by (text height / 13), each rounded to the nearest
// pixel. The panel border and the sunken edge keep their width, and the map image fills what
// they leave inside the client area above the status bar.
#pragma once

#include <QSize>

namespace lyremap {

struct WindowMetrics {
    int fontPixels = 11;    // the window font's character height
    QSize client{820, 639}; // the area below the menu bar
    int statusHeight = 19;  // the status bar at the bottom of the client area
    int panelBorder = 8;    // the panel's inner border around the scroll box
    int scrollEdge = 2;     // the scroll box's sunken edge

    // The map image's size: the client area less the status bar, border and edge.
    QSize image() const {
        const int inset = 2 * (panelBorder + scrollEdge);
        return QSize(client.width() - inset, client.height() - statusHeight - inset);
    }
};

// The metrics for a screen of DOTS_PER_INCH pixels per inch.
WindowMetrics windowMetrics(double dotsPerInch);

} // namespace lyremap
