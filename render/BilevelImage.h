// The map as a one-bit picture, optionally enlarged: each pixel becomes SCALE by SCALE pixels of
// the same colour, with no smoothing. The map holds only black and white, so one bit per pixel
// loses nothing, and it makes PNG encoding many times faster than 32-bit pixels.
#pragma once

#include <QImage>

namespace lyremap {

// MAP (RGB32, black and white) as a Format_Mono image SCALE times as wide and high, whose
// colour table is black and white. Any pixel that is not white comes out black.
QImage bilevelImage(const QImage& map, int scale);

} // namespace lyremap
