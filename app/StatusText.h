// How an outcome text fits the one-line status field.
#pragma once

#include <QString>

namespace lyremap {

// TEXT on one line: every line break (CR LF, CR or LF) becomes one space.
QString singleLine(const QString& text);

// TEXT as a tooltip shows it literally: plain text stays as it is, text that the tooltip would
// take for markup is escaped, line breaks kept.
QString literalToolTip(const QString& text);

} // namespace lyremap
