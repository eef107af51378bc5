// Text for the terminal: the command line's messages and reports go out as UTF-8.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>

namespace lyremap {

// Writes TEXT to STREAM in UTF-8.
void writeText(std::FILE* stream, const QString& text);
// Writes BYTES, already UTF-8, to STREAM.
void writeBytes(std::FILE* stream, const QByteArray& bytes);

} // namespace lyremap
