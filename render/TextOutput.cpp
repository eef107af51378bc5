#include "render/TextOutput.h"

namespace lyremap {

void writeText(std::FILE* stream, const QString& text) {
    writeBytes(stream, text.toUtf8());
}

void writeBytes(std::FILE* stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

} // namespace lyremap
