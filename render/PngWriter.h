// Writes a drawn map as a PNG: one bit per pixel, black and white, each map pixel SCALE by SCALE.
#pragma once

#include "render/DrawnMap.h"

#include <QIODevice>

namespace lyremap {

// Encodes MAP's pixels, enlarged SCALE times, to DEVICE. Throws WriteError when the encoder
// fails.
void writePng(const DrawnMap& map, int scale, QIODevice& device);

// Encodes IMAGE as it is to DEVICE. Throws WriteError when the encoder fails.
void writePngImage(const QImage& image, QIODevice& device);

} // namespace lyremap
