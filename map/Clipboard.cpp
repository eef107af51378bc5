#include "map/Clipboard.h"

#include "map/MapSurface.h"

#include <new>

namespace lyremap {

namespace {

// Closes an opened clipboard when the copy ends, whichever way it ends.
class OpenClipboard {
public:
    explicit OpenClipboard(Clipboard& clipboard) : clipboard_(clipboard) { clipboard_.open(); }
    ~OpenClipboard() { clipboard_.close(); }
    OpenClipboard(const OpenClipboard&) = delete;
    OpenClipboard& operator=(const OpenClipboard&) = delete;

private:
    Clipboard& clipboard_;
};

} // namespace

EClipboardException::EClipboardException()
    : Exception(QStringLiteral("Zwischenablage kann nicht geöffnet werden")) {}

QImage copyBitmap(const QImage& raster) {
    if (raster.isNull())
        return QImage();
    if (raster.format() == QImage::Format_Invalid || raster.constBits() == nullptr)
        throw Exception(QStringLiteral("Bitmap ist ungültig"));
    QImage copy;
    try {
        // copy() allocates fresh pixels; a plain assignment would share them with the raster
        // until its next change.
        copy = raster.copy();
    } catch (const std::bad_alloc&) {
        copy = QImage();
    }
    // QImage answers an allocation it cannot make with a null image.
    if (copy.isNull())
        throw Exception(QStringLiteral("Systemressourcen erschöpft."));
    return copy;
}

void copyMapToClipboard(const MapSurface& map, Clipboard& clipboard) {
    const OpenClipboard session(clipboard);
    clipboard.empty();
    clipboard.setBitmap(map.hasRaster() ? copyBitmap(map.raster()) : QImage());
}

} // namespace lyremap
