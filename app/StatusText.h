// How an outcome text fits the one-line status field and its tooltip.
#pragma once

#include <QString>
#include <QStringList>

class QFontMetrics;

namespace lyremap {

// TEXT on one line: every line break (CR LF, CR or LF) becomes one space.
QString singleLine(const QString& text);

// LINE as it fits WIDTH pixels of METRICS. A line that fits stays whole. Otherwise its folder
// part, its first FOLDER_END characters, gives way: it is shortened in its middle with "…", so
// the file's own name and everything after it (the outcome, the failure's reason) stay whole.
// Where even "…" and the rest are too wide, that is shortened in its middle, keeping the start
// of the file's name and the end of the text.
QString fittedStatusLine(const QString& line, qsizetype folderEnd, const QFontMetrics& metrics,
                         int width);

// TEXT as lines of at most WIDTH pixels of METRICS: its own line breaks (CR LF, CR or LF) kept,
// and a longer line broken after the last space or "/" that fits, else after the last character
// that fits. Joined again, the pieces of each line give that line.
QStringList wrappedLines(const QString& text, const QFontMetrics& metrics, int width);

// LINES as a tooltip shows them literally, one below the other: plain text stays plain, text
// that the tooltip would take for markup is escaped.
QString literalToolTip(const QStringList& lines);

} // namespace lyremap
