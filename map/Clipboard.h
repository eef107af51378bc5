// Copying the map to the system clipboard as a picture.
//
// The clipboard is reached through the small Clipboard interface so the command runs alike
// against the real clipboard and a test double. copyMapToClipboard opens the clipboard, empties
// it, hands it a copy of the map's raster (or a null image when there is no raster yet, which
// leaves nothing to paste) and closes it again on every path once it was opened.
#pragma once

#include "base/Exception.h"

#include <QImage>

namespace lyremap {

class MapSurface;

// The clipboard could not be opened; nothing on it has changed.
class EClipboardException : public Exception {
public:
    EClipboardException();
};

// The system clipboard, one open-empty-set-close session at a time.
class Clipboard {
public:
    virtual ~Clipboard() = default;

    // Takes the clipboard for this program; EClipboardException when it cannot be had.
    virtual void open() = 0;
    // Drops whatever the clipboard holds.
    virtual void empty() = 0;
    // Places BITMAP as the clipboard's picture; a null image places nothing to paste.
    virtual void setBitmap(const QImage& bitmap) = 0;
    // Ends the session; never fails.
    virtual void close() noexcept = 0;
};

// A copy of RASTER that shares no pixels with it, so later drawing does not change it; a null
// image for a null RASTER. "Bitmap ist ungültig" when RASTER's pixels cannot be read,
// "Systemressourcen erschöpft." when the copy cannot be made.
QImage copyBitmap(const QImage& raster);

// Places a copy of MAP's raster on CLIPBOARD. Reads MAP only; never creates its raster.
void copyMapToClipboard(const MapSurface& map, Clipboard& clipboard);

} // namespace lyremap
