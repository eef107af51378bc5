#include "render/BilevelImage.h"

#include "base/Exception.h"

#include <cstring>

namespace lyremap {

QImage bilevelImage(const QImage& map, int scale) {
    QImage image(map.width() * scale, map.height() * scale, QImage::Format_Mono);
    if (image.isNull())
        throw Exception(QStringLiteral("Systemressourcen erschöpft."));
    // Index 1 is white, so a line of 0xFF bytes is all white and black pixels clear their bits.
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    image.fill(1);
    const qsizetype lineBytes = image.bytesPerLine();
    const int width = map.width();
    const int height = map.height();
    for (int y = 0; y < height; ++y) {
        const auto* source = reinterpret_cast<const QRgb*>(map.constScanLine(y));
        uchar* const line = image.scanLine(y * scale);
        for (int x = 0; x < width; ++x) {
            if ((source[x] & 0xFFFFFFu) == 0xFFFFFFu)
                continue;
            // Format_Mono keeps the leftmost pixel in a byte's most significant bit.
            for (int bit = x * scale, end = bit + scale; bit < end; ++bit)
                line[bit >> 3] &= uchar(~(0x80u >> (bit & 7)));
        }
        for (int copy = 1; copy < scale; ++copy)
            std::memcpy(image.scanLine(y * scale + copy), line, std::size_t(lineBytes));
    }
    return image;
}

} // namespace lyremap
