#include "layout/OpenLayout.h"

#include "layout/Conversion.h"
#include "layout/SiblingOrdinals.h"
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
    try {
        xmlDoc.Close();
        map.ResetMap();
        loadAttempted = true;
        xmlDoc.LoadFromFile(absoluteName);
        const Node root = xmlDoc.FindTopLevelNode(QStringLiteral("widget_description"));
        WidgetWalk walk(map, locale);
        walk.setListener(listener);
        if (listener != nullptr)
            listener->rootFound(root);
        // The root's children are only visited, never kept: no child list is built.
        SiblingOrdinals ordinals;
        for (ChildCursor child(root); !child.atEnd(); child.next()) {
            const std::string_view name = child.node().NodeNameUtf8();
            const int ordinal = listener != nullptr ? ordinals.next(name) : 0;
            if (nameTestUtf8(name, u"widget"))
                walk.DrawWidget(child.node(), 0, 0, ordinal);
            else if (listener != nullptr)
                listener->passedOver(child.node(), root);
        }
        map.RefreshMap();
        return OpenOutcome{true, xmlDoc.FileName() + QStringLiteral(" loaded."), xmlDoc.FileName(),
                           QString(), std::nullopt};
    } catch (const std::exception& failure) {
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
