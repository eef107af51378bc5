#include "render/PngWriter.h"

#include "render/BilevelImage.h"
#include "render/OutputFile.h"

#include <QBuffer>
#include <QImageWriter>

namespace lyremap {

void writePng(const DrawnMap& map, int scale, QIODevice& device) {
    writePngImage(bilevelImage(map.pixels, scale), device);
}

void writePngImage(const QImage& image, QIODevice& device) {
    // Encoded in memory, then written at once: the encoder would print a device's failure to
    // take its bytes as a warning of its own, and the caller reports it with the reason.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        throw WriteError(writer.errorString());
    if (device.write(png) != png.size())
        throw WriteError(device.errorString());
}

} // namespace lyremap
