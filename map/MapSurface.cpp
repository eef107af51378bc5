#include "map/MapSurface.h"

#include "base/Exception.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace lyremap {

namespace {

constexpr quint32 Black = 0xFF000000u;
constexpr quint32 White = 0xFFFFFFFFu;

const PatternBits& patternBitsOf(PenStyle style) {
    static const PatternBits solid(1, 1);
    static const PatternBits dashed(penPattern(PenStyle::Dashed).on,
                                    penPattern(PenStyle::Dashed).period);
    static const PatternBits dotted(penPattern(PenStyle::Dotted).on,
                                    penPattern(PenStyle::Dotted).period);
    switch (style) {
    case PenStyle::Solid:
        return solid;
    case PenStyle::Dashed:
        return dashed;
    case PenStyle::Dotted:
        return dotted;
    }
    return solid;
}

// One row of a pen's pattern with white gaps, long enough for any horizontal run from any phase:
// entry i is the colour of the pattern at phase i.
std::vector<quint32> patternRow(PenPattern pattern, qint64 length) {
    std::vector<quint32> row(static_cast<std::size_t>(length + pattern.period));
    for (std::size_t i = 0; i < row.size(); ++i)
        row[i] = qint64(i) % pattern.period < pattern.on ? Black : White;
    return row;
}

// Writes `count` pixels, `stride` pixels apart, of a pattern with white gaps that starts
// `phase` pixels into its period.
void paintColumn(quint32* p, qsizetype stride, qint64 count, qint64 phase, PenPattern pattern) {
    for (; count > 0; --count, p += stride) {
        *p = phase < pattern.on ? Black : White;
        if (++phase == pattern.period)
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
    marks_.clear(); // the white fill below covers every pixel
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
    const PixelBlock block = pixelBlock(rect);
    if (block.empty())
        return;
    const qint64 left = block.Left, right = block.Right, top = block.Top, bottom = block.Bottom;

    const qint64 mapW = raster_.width();
    const qint64 mapH = raster_.height();
    // Columns and rows of the outline that lie on the raster; empty when c0 > c1 or r0 > r1.
    const qint64 c0 = std::max<qint64>(left, 0);
    const qint64 c1 = std::min<qint64>(right - 1, mapW - 1);
    const qint64 r0 = std::max<qint64>(top, 0);
    const qint64 r1 = std::min<qint64>(bottom - 1, mapH - 1);
    if (c0 > c1 || r0 > r1)
        return;
    const PenPattern pattern = penPattern(pen_);
    const qint64 v0 = std::max(top + 1, r0);
    const qint64 v1 = std::min(bottom - 2, r1);

    if (!fillWhite_) {
        // Only black is drawn: gather it as marks. Horizontal edges own the corners.
        const PatternBits& bits = patternBitsOf(pen_);
        const auto horizontal = [&](qint64 y) {
            if (y >= r0 && y <= r1)
                marks_.markRow(y, c0, c1 - c0 + 1, bits.phaseAt(c0 - left), bits);
        };
        horizontal(top);
        if (bottom - 1 != top)
            horizontal(bottom - 1);
        const auto vertical = [&](qint64 x) {
            if (x >= c0 && x <= c1 && v0 <= v1)
                marks_.markColumn(x, v0, v1 - v0 + 1, bits.phaseAt(v0 - top), bits);
        };
        vertical(left);
        if (right - 1 != left)
            vertical(right - 1);
        changed();
        return;
    }

    // White gaps and inside: drawn straight onto the raster, after what is gathered so far.
    applyMarks();
    // bits() detaches the raster from copies handed out earlier, so those keep their pixels.
    uchar* const base = raster_.bits();
    const qsizetype bytesPerLine = raster_.bytesPerLine();
    const qsizetype stride = bytesPerLine / qsizetype(sizeof(quint32));
    const auto pixel = [&](qint64 x, qint64 y) {
        return reinterpret_cast<quint32*>(base + y * bytesPerLine) + x;
    };
    const std::vector<quint32>& row = rows_[static_cast<std::size_t>(pen_)];

    // Horizontal edges own the corners; the vertical edges run strictly between them, so no
    // gap of one edge ever lands on a dash of another.
    const auto horizontal = [&](qint64 y) {
        if (y >= r0 && y <= r1)
            std::copy_n(row.data() + (c0 - left) % pattern.period, c1 - c0 + 1, pixel(c0, y));
    };
    horizontal(top);
    if (bottom - 1 != top)
        horizontal(bottom - 1);

    if (v0 <= v1) {
        const auto vertical = [&](qint64 column) {
            if (column >= c0 && column <= c1)
                paintColumn(pixel(column, v0), stride, v1 - v0 + 1, (v0 - top) % pattern.period,
                            pattern);
        };
        vertical(left);
        if (right - 1 != left)
            vertical(right - 1);

        // The inside: columns strictly between the vertical edges, on the rows between the
        // horizontal ones.
        const qint64 i0 = std::max(left + 1, c0);
        const qint64 i1 = std::min(right - 2, c1);
        if (i0 <= i1)
            for (qint64 y = v0; y <= v1; ++y)
                std::fill_n(pixel(i0, y), i1 - i0 + 1, White);
    }
    changed();
}

void MapSurface::RefreshMap() {
    applyMarks();
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
    for (PenStyle style : {PenStyle::Solid, PenStyle::Dashed, PenStyle::Dotted})
        rows_[static_cast<std::size_t>(style)] = patternRow(penPattern(style), size_.width());
    raster_ = std::move(image);
    marks_.resize(size_.width(), size_.height());
    changed();
}

void MapSurface::requireRaster() const {
    if (!hasRaster())
        throw Exception(QStringLiteral("Leinwand/Bild erlaubt kein Zeichnen"));
}

void MapSurface::fillWhite(const MapRect& rect) {
    requireRaster();
    applyMarks();
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

const QImage& MapSurface::raster() const {
    applyMarks();
    return raster_;
}

void MapSurface::applyMarks() const {
    if (!marks_.empty())
        marks_.applyTo(raster_);
}

void MapSurface::changed() {
    if (changePending_)
        return;
    changePending_ = true;
    if (view_)
        view_->mapChanged();
}

} // namespace lyremap
