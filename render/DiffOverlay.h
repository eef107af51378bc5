// The picture of a diff: both opens' outlines on one white map with the dashed border. An
// outline (rectangle and pen) that both opens drew is black, one only the old open drew is red,
// one only the new open drew is green; where they cross, green lies over red over black. The
// PNG and the SVG of an overlay show the same pixels.
#pragma once

#include "layout/FrameLog.h"
#include "render/DrawnMap.h"

#include <QImage>
#include <QRgb>
#include <QSize>
#include <QString>
#include <vector>

namespace lyremap {

inline constexpr QRgb kOverlayBoth = 0xFF000000u;    // black
inline constexpr QRgb kOverlayOldOnly = 0xFFFF0000u; // red
inline constexpr QRgb kOverlayNewOnly = 0xFF00A000u; // green

// The two opens' outlines sorted by who drew them, each outline once per layer.
struct DiffOverlay {
    QSize size;
    std::vector<DrawnOutline> both;
    std::vector<DrawnOutline> onlyOld;
    std::vector<DrawnOutline> onlyNew;
};

// The overlay of the frames of OLD_LOG and NEW_LOG on a map of SIZE.
DiffOverlay diffOverlay(const FrameLog& oldLog, const FrameLog& newLog, QSize size);

// OVERLAY's pixels, each map pixel SCALE by SCALE, in four colours (white and the three above).
QImage overlayImage(const DiffOverlay& overlay, int scale);

// Writes OVERLAY to TARGET, SVG or PNG by its name, as writeOutputFile does. Throws WriteError.
void writeOverlay(const DiffOverlay& overlay, const QString& target, int scale);

} // namespace lyremap
