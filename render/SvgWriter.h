// Writes a drawn map as SVG: the white map, its dashed border and every outline as a path of its
// own, in drawing order. Each edge is a one-pixel stroke along the middle of its pixel row or
// column, dashed by the pen's own pattern and starting where the map's pattern starts, so that
// a renderer that draws strokes exactly (rsvg-convert does) gives the map's pixels at scale 1.
#pragma once

#include "render/DrawnMap.h"

#include <QIODevice>

namespace lyremap {

// Writes MAP to DEVICE as an SVG SCALE times the map's size. Throws WriteError when DEVICE
// refuses the bytes.
void writeSvg(const DrawnMap& map, int scale, QIODevice& device);

} // namespace lyremap
