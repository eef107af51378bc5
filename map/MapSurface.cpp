#include "map/MapSurface.h"

#include "map/Exception.h"

#include <algorithm>
#include <utility>

namespace lyremap {

namespace {

constexpr quint32 Black = 0xFF000000u;
constexpr quint32 White = 0xFFFFFFFFu;

// One period of a pen's pattern: the first `on` pixels are drawn, the rest of `period` is gap.
struct Pattern {
    int on;
    int period;
};

Pattern patternOf(PenStyle style) {
    switch (style) {
    case PenStyle::Solid:
        return {1, 1};
    case PenStyle::Dashed:
        return {18, 24};
    case PenStyle::Dotted:
        return {3, 6};
    }
    return {1, 1};
}

// Writes `count` pixels of one colour, `stride` pixels apart.
void fillStrided(quint32* p, qsizetype stride, qint64 count, quint32 colour) {
    if (stride == 1) {
        std::fill_n(p, count, colour);
        return;
    }
    for (; count > 0; --count, p += stride)
        *p = colour;
}

// Writes `count` pixels, `stride` apart, of a pattern that starts `phase` pixels into its period.
// Pattern parts are written in whole runs so a solid or long dash costs one fill each.
void paintRun(quint32* p, qsizetype stride, qint64 count, qint64 phase, Pattern pattern,
              bool gapsWhite) {
    while (count > 0) {
        const bool on = phase < pattern.on;
        const qint64 n = std::min<qint64>(count, (on ? pattern.on : pattern.period) - phase);
        if (on)
            fillStrided(p, stride, n, Black);
        else if (gapsWhite)
            fillStrided(p, stride, n, White);
        p += n * stride;
        count -= n;
        phase += n;
        if (phase == pattern.period)
            phase = 0;
    }
}

} // namespace

MapSurface::MapSurface(QSize size) : size_(size) {}

void MapSurface::ResetMap() {
    fillWhite_ = true;
    if (!hasRaster())
        createRaster();
    pen_ = PenStyle::Dashed;
    const MapRect whole{0, 0, size_.width(), size_.height()};
    fillWhite(whole);
    DrawRectangle(whole);
    RefreshMap();
    fillWhite_ = false;
}

void MapSurface::SetPenStyle(PenStyle style) {
    pen_ = style;
}

void MapSurface::DrawRectangle(const MapRect& rect) {
    requireRaster();
    // Everything below runs in 64 bits: edges and widths of any int32 rectangle fit there.
    qint64 left = rect.Left, right = rect.Right, top = rect.Top, bottom = rect.Bottom;
    if (right < left)
        std::swap(left, right);
    if (bottom < top)
        std::swap(top, bottom);
    if (left == right || top == bottom)
        return;

    const qint64 mapW = raster_.width();
    const qint64 mapH = raster_.height();
    // Columns and rows of the outline that lie on the raster; empty when c0 > c1 or r0 > r1.
    const qint64 c0 = std::max<qint64>(left, 0);
    const qint64 c1 = std::min<qint64>(right - 1, mapW - 1);
    const qint64 r0 = std::max<qint64>(top, 0);
    const qint64 r1 = std::min<qint64>(bottom - 1, mapH - 1);
    if (c0 > c1 || r0 > r1)
        return;

    // bits() detaches the raster from copies handed out earlier, so those keep their pixels.
    uchar* const base = raster_.bits();
    const qsizetype bytesPerLine = raster_.bytesPerLine();
    const qsizetype stride = bytesPerLine / qsizetype(sizeof(quint32));
    const auto pixel = [&](qint64 x, qint64 y) {
        return reinterpret_cast<quint32*>(base + y * bytesPerLine) + x;
    };
    const Pattern pattern = patternOf(pen_);
    const bool white = fillWhite_;

    // Horizontal edges own the corners; the vertical edges run strictly between them, so no
    // gap of one edge ever lands on a dash of another.
    const auto horizontal = [&](qint64 row) {
        if (row >= r0 && row <= r1)
            paintRun(pixel(c0, row), 1, c1 - c0 + 1, (c0 - left) % pattern.period, pattern, white);
    };
    horizontal(top);
    if (bottom - 1 != top)
        horizontal(bottom - 1);

    const qint64 v0 = std::max(top + 1, r0);
    const qint64 v1 = std::min(bottom - 2, r1);
    if (v0 <= v1) {
        const auto vertical = [&](qint64 column) {
            if (column >= c0 && column <= c1)
                paintRun(pixel(column, v0), stride, v1 - v0 + 1, (v0 - top) % pattern.period,
                         pattern, white);
        };
        vertical(left);
        if (right - 1 != left)
            vertical(right - 1);

        // The inside: columns strictly between the vertical edges, on the rows between the
        // horizontal ones.
        const qint64 i0 = std::max(left + 1, c0);
        const qint64 i1 = std::min(right - 2, c1);
        if (white && i0 <= i1)
            for (qint64 row = v0; row <= v1; ++row)
                std::fill_n(pixel(i0, row), i1 - i0 + 1, White);
    }
    changed();
}

void MapSurface::RefreshMap() {
    changePending_ = false;
    if (view_)
        view_->mapRefresh();
}

void MapSurface::createRaster() {
    QImage image(size_, QImage::Format_RGB32);
    // A null image is what QImage gives for a size it cannot allocate or represent.
    if (image.isNull())
        throw Exception(QStringLiteral("Systemressourcen erschöpft."));
    image.fill(White);
    raster_ = std::move(image);
    changed();
}

void MapSurface::requireRaster() const {
    if (!hasRaster())
        throw Exception(QStringLiteral("Leinwand/Bild erlaubt kein Zeichnen"));
}

void MapSurface::fillWhite(const MapRect& rect) {
    requireRaster();
    const qint64 c0 = std::max<qint64>(rect.Left, 0);
    const qint64 c1 = std::min<qint64>(qint64(rect.Right) - 1, raster_.width() - 1);
    const qint64 r0 = std::max<qint64>(rect.Top, 0);
    const qint64 r1 = std::min<qint64>(qint64(rect.Bottom) - 1, raster_.height() - 1);
    if (c0 > c1 || r0 > r1)
        return;
    for (qint64 row = r0; row <= r1; ++row)
        std::fill_n(reinterpret_cast<quint32*>(raster_.scanLine(int(row))) + c0, c1 - c0 + 1,
                    White);
    changed();
}

void MapSurface::changed() {
    if (changePending_)
        return;
    changePending_ = true;
    if (view_)
        view_->mapChanged();
}

} // namespace lyremap
