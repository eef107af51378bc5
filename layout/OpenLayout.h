// Opening a layout file onto a map: the whole of File > Open after the file has been chosen.
#pragma once

#include "layout/WalkListener.h"
#include "layout/xml/XmlDocument.h"
#include "map/MapCanvas.h"

#include <QLocale>
#include <QString>
#include <optional>

namespace lyremap {

// What an open came to.
struct OpenOutcome {
    bool loaded = false; // true when the whole layout was drawn
    QString statusText;  // "<absolute file name> loaded." or "... failed: <message>"
    QString fileName;    // the absolute name of the file the open was about
    QString failure;     // the failure's message; empty when loaded
    // What the parser reported when it refused the file, or the file could not be read.
    std::optional<ParseReport> parseReport;
};

// NAME made absolute against the working directory, with "." and ".." folded and no symbolic
// link resolved. An empty name stays empty.
QString fullPathName(const QString& name);

// Closes XMLDOC's document, resets MAP, loads the file NAME (made absolute) into XMLDOC, finds
// its top-level widget_description element and walks each child widget from (0, 0), then
// refreshes MAP. Every failure is caught: the walk stops there, what was drawn stays, and the
// outcome carries the failure's message. LOCALE is the locale numbers are written in. LISTENER,
// when given, is told of the root element and of everything the walk draws.
// The walk may run beside the load, on a thread of its own (see StreamedWalk): LISTENER and,
// when it allows drawing from any thread, MAP then hear from that thread while this one waits
// for the load; if the load fails, LISTENER is told the walk is undone and MAP is reset.
OpenOutcome OpenLayout(XmlDocument& xmlDoc, MapTarget& map, const QString& name,
                       const QLocale& locale = QLocale::system(), WalkListener* listener = nullptr);

} // namespace lyremap
