#include "layout/OpenLayout.h"

#include "layout/Conversion.h"
#include "layout/StreamedWalk.h"
#include "layout/WidgetWalk.h"

#include <QDir>

namespace lyremap {

QString fullPathName(const QString& name) {
    if (name.isEmpty())
        return name;
    return QDir::cleanPath(QDir::current().absoluteFilePath(name));
}

OpenOutcome OpenLayout(XmlDocument& xmlDoc, MapTarget& map, const QString& name,
                       const QLocale& locale, WalkListener* listener) {
    const QString absoluteName = fullPathName(name);
    bool loadAttempted = false;
    // The walk starts as soon as the root element is read and runs beside the parse.
    StreamedWalk streamed(map, locale, listener);
    try {
        xmlDoc.Close();
        map.ResetMap();
        loadAttempted = true;
        xmlDoc.LoadFromFile(absoluteName, [&streamed](const Node& root) { streamed.start(root); });
        const Node root = xmlDoc.FindTopLevelNode(QStringLiteral("widget_description"));
        if (!streamed.finish(root)) {
            WidgetWalk walk(map, locale);
            walk.setListener(listener);
            walk.walkRoot(root);
        }
        map.RefreshMap();
        return OpenOutcome{true, xmlDoc.FileName() + QStringLiteral(" loaded."), xmlDoc.FileName(),
                           QString(), std::nullopt};
    } catch (const std::exception& failure) {
        streamed.discard();
        // A failure before the load (the map could not be made) still names the file the user
        // chose, not the one loaded before it.
        const QString fileName = loadAttempted ? xmlDoc.FileName() : absoluteName;
        const QString message = failureMessage(failure);
        std::optional<ParseReport> report;
        if (const auto* parseError = dynamic_cast<const EDOMParseError*>(&failure))
            report = parseError->report();
        return OpenOutcome{false, fileName + QStringLiteral(" failed: ") + message, fileName,
                           message, std::move(report)};
    }
}

} // namespace lyremap
