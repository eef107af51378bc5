// Reading one line of a file back for a parse-failure message, when the parser no longer holds
// it in memory (long lines, large files).
#pragma once

#include <QString>
#include <string>

namespace lyremap {

// The first MAXUNITS UTF-16 code units of line LINE (1-based, lines end at LF) of the file at
// PATH, decoded with the libxml2 encoding ENCODING (empty for UTF-8). A trailing CR and a
// leading byte-order mark are dropped. Returns an empty text when the line cannot be read.
// Reads the file once, in bounded chunks, and stops at the wanted line.
QString readSourceLine(const QString& path, long long line, const std::string& encoding,
                       qsizetype maxUnits);

} // namespace lyremap
