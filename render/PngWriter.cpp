#include "render/PngWriter.h"

#include "render/BilevelImage.h"
#include "render/OutputFile.h"

#include <QImageWriter>

namespace lyremap {

void writePng(const DrawnMap& map, int scale, QIODevice& device) {
    QImageWriter writer(&device, "png");
    if (!writer.write(bilevelImage(map.pixels, scale)))
        throw WriteError(writer.errorString());
}

} // namespace lyremap
