#include "render/DiffOverlay.h"

#include "base/Exception.h"
#include "map/MapSurface.h"
#include "render/MapOutputs.h"
#include "render/OutputFile.h"
#include "render/PngWriter.h"
#include "render/SvgWriter.h"

#include <algorithm>
#include <climits>
#include <tuple>

namespace lyremap {

namespace {

bool before(const DrawnOutline& a, const DrawnOutline& b) {
    return std::tie(a.rect.Left, a.rect.Top, a.rect.Right, a.rect.Bottom, a.pen) <
           std::tie(b.rect.Left, b.rect.Top, b.rect.Right, b.rect.Bottom, b.pen);
}

bool sameOutline(const DrawnOutline& a, const DrawnOutline& b) {
    return a.rect == b.rect && a.pen == b.pen;
}

std::vector<DrawnOutline> sortedOutlines(const FrameLog& log) {
    std::vector<DrawnOutline> outlines;
    outlines.reserve(log.frames().size());
    for (const FrameLog::Frame& frame : log.frames())
        outlines.push_back({frame.rect, frame.pen});
    std::sort(outlines.begin(), outlines.end(), before);
    return outlines;
}

// Keeps one of each run of equal outlines: drawing one twice changes no pixel.
void append(std::vector<DrawnOutline>& layer, const DrawnOutline& outline) {
    if (layer.empty() || !sameOutline(layer.back(), outline))
        layer.push_back(outline);
}

// One layer drawn by the map surface on a map one pixel larger all round, so that its own border
// lies outside the map's pixels. Moving an edge that lies at the largest coordinate by one less
// changes no pixel of the map, which is far from it.
MapSurface layerSurface(QSize size, const std::vector<DrawnOutline>& outlines, bool border) {
    MapSurface surface(size + QSize(2, 2));
    surface.ResetMap();
    const auto shifted = [](std::int32_t v) { return v == INT_MAX ? v : v + 1; };
    const auto draw = [&](const MapRect& r, PenStyle pen) {
        surface.SetPenStyle(pen);
        surface.DrawRectangle(
            MapRect{shifted(r.Left), shifted(r.Top), shifted(r.Right), shifted(r.Bottom)});
    };
    if (border)
        draw(MapRect{0, 0, size.width(), size.height()}, PenStyle::Dashed);
    for (const DrawnOutline& outline : outlines)
        draw(outline.rect, outline.pen);
    return surface;
}

} // namespace

DiffOverlay diffOverlay(const FrameLog& oldLog, const FrameLog& newLog, QSize size) {
    const std::vector<DrawnOutline> was = sortedOutlines(oldLog);
    const std::vector<DrawnOutline> is = sortedOutlines(newLog);
    DiffOverlay overlay{size, {}, {}, {}};
    // A merge of the two sorted lists: as many of an outline are black as both drew.
    auto a = was.begin(), b = is.begin();
    while (a != was.end() || b != is.end()) {
        if (b == is.end() || (a != was.end() && before(*a, *b)))
            append(overlay.onlyOld, *a++);
        else if (a == was.end() || before(*b, *a))
            append(overlay.onlyNew, *b++);
        else
            append(overlay.both, *a++), ++b;
    }
    return overlay;
}

QImage overlayImage(const DiffOverlay& overlay, int scale) {
    const QSize size = overlay.size;
    const MapSurface layers[] = {layerSurface(size, overlay.both, true),
                                 layerSurface(size, overlay.onlyOld, false),
                                 layerSurface(size, overlay.onlyNew, false)};
    QImage image(size * scale, QImage::Format_Indexed8);
    if (image.isNull())
        throw Exception(QStringLiteral("Systemressourcen erschöpft."));
    // Index 0 is white; index k + 1 the colour of layers[k], the last drawn over the others.
    image.setColorTable({qRgb(255, 255, 255), kOverlayBoth, kOverlayOldOnly, kOverlayNewOnly});
    const QImage* rasters[] = {&layers[0].raster(), &layers[1].raster(), &layers[2].raster()};
    for (int y = 0; y < size.height(); ++y) {
        const QRgb* rows[3];
        for (int k = 0; k < 3; ++k)
            rows[k] = reinterpret_cast<const QRgb*>(rasters[k]->constScanLine(y + 1)) + 1;
        uchar* const line = image.scanLine(y * scale);
        for (int x = 0; x < size.width(); ++x) {
            uchar colour = 0;
            for (int k = 0; k < 3; ++k)
                if ((rows[k][x] & 0xFFFFFFu) != 0xFFFFFFu)
                    colour = uchar(k + 1);
            std::fill(line + x * scale, line + (x + 1) * scale, colour);
        }
        for (int copy = 1; copy < scale; ++copy)
            std::copy(line, line + image.width(), image.scanLine(y * scale + copy));
    }
    return image;
}

void writeOverlay(const DiffOverlay& overlay, const QString& target, int scale) {
    writeOutputFile(target, [&](QIODevice& device) {
        if (isSvgOutput(target)) {
            const OutlineLayer layers[] = {{kOverlayBoth, overlay.both},
                                           {kOverlayOldOnly, overlay.onlyOld},
                                           {kOverlayNewOnly, overlay.onlyNew}};
            writeSvg(overlay.size, true, layers, scale, device);
        } else {
            writePngImage(overlayImage(overlay, scale), device);
        }
    });
}

} // namespace lyremap
