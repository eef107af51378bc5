// Value types shared by the map surface and the widget walk.
#pragma once

#include <algorithm>
#include <cstdint>

namespace lyremap {

// Style of the one-pixel black pen that outlines rectangles.
enum class PenStyle { Solid, Dashed, Dotted };

// A rectangle in 32-bit map coordinates; Right and Bottom are exclusive, so the outline lies on
// column Left, column Right-1, row Top and row Bottom-1. Values are kept exactly as computed:
// nothing here normalises or clips them.
struct MapRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;

    friend bool operator==(const MapRect&, const MapRect&) = default;
};

// The block of pixels a rectangle's outline goes round, in 64 bits (so any sum of edges fits)
// and with its edges in order: a rectangle with Right < Left or Bottom < Top is drawn as the
// same block with those edges swapped. Right and Bottom stay exclusive.
struct PixelBlock {
    std::int64_t Left;
    std::int64_t Top;
    std::int64_t Right;
    std::int64_t Bottom;

    // True when the block has no pixel, and so its outline none either.
    bool empty() const { return Left == Right || Top == Bottom; }
};

// The pixel block of RECT.
inline PixelBlock pixelBlock(const MapRect& rect) {
    return PixelBlock{std::min<std::int64_t>(rect.Left, rect.Right),
                      std::min<std::int64_t>(rect.Top, rect.Bottom),
                      std::max<std::int64_t>(rect.Left, rect.Right),
                      std::max<std::int64_t>(rect.Top, rect.Bottom)};
}

// The lower-case name of a pen style ("solid", "dashed", "dotted").
const char* penStyleName(PenStyle style);

// How a pen's pattern runs along an edge: the first `on` pixels of every `period` are drawn,
// the rest are gaps. Solid is {1, 1}, dashed {18, 24}, dotted {3, 6}.
struct PenPattern {
    int on;
    int period;
};

// The pattern of STYLE.
PenPattern penPattern(PenStyle style);

} // namespace lyremap
