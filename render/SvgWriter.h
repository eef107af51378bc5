// Writes a drawn map as SVG: the white map, its dashed border and every outline as a path of its
// own, in drawing order. Each edge is a one-pixel stroke along the middle of its pixel row or
// column, dashed by the pen's own pattern and starting where the map's pattern starts, so that
// a renderer that draws strokes exactly (rsvg-convert does) gives the map's pixels at scale 1.
#pragma once

#include "render/DrawnMap.h"

#include <QIODevice>
#include <QRgb>
#include <span>

namespace lyremap {

// Outlines of one colour, drawn over those of the layers before them.
struct OutlineLayer {
    QRgb colour;
    std::span<const DrawnOutline> outlines;
};

// Writes to DEVICE an SVG of a white map of SIZE, SCALE times enlarged: with the map's dashed
// border in black when CLEARED, then each layer's outlines in turn. Throws WriteError when
// DEVICE refuses the bytes.
void writeSvg(QSize size, bool cleared, std::span<const OutlineLayer> layers, int scale,
              QIODevice& device);

// Writes MAP to DEVICE as an SVG SCALE times the map's size. Throws WriteError when DEVICE
// refuses the bytes.
void writeSvg(const DrawnMap& map, int scale, QIODevice& device);

} // namespace lyremap
