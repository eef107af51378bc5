// --at X,Y: the frames whose rectangle holds one map pixel, listed as
// "PATH:LINE:COLUMN: frame LEFT TOP RIGHT BOTTOM PEN XPATH" in drawing order. A rectangle with
// edges the wrong way round is tested as the block its outline goes round; one of zero width
// or height holds no pixel.
#pragma once

#include "layout/FrameLog.h"

#include <QString>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace lyremap {

// A map pixel.
struct MapPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// Reads "X,Y", two 32-bit integers; nothing when TEXT is not of that form.
std::optional<MapPoint> parseMapPoint(const QString& text);

// Whether RECT's pixel block holds POINT.
bool holds(const MapRect& rect, MapPoint point);

// Writes to STREAM, in UTF-8, the line of each frame of LOG that holds POINT; PATH is the
// layout's absolute name. Returns the number of lines.
std::size_t writeFramesAt(std::FILE* stream, const FrameLog& log, MapPoint point,
                          const QString& path);

} // namespace lyremap
