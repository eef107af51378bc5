#include "layout/OpenLayout.h"

#include "layout/Conversion.h"
#include "layout/WidgetWalk.h"

#include <QDir>

namespace lyremap {

QString fullPathName(const QString& name) {
    if (name.isEmpty())
        return name;
    return QDir::cleanPath(QDir::current().absoluteFilePath(name));
}

OpenOutcome OpenLayout(XmlDocument& xmlDoc, MapTarget& map, const QString& name,
                       const QLocale& locale) {
    const QString absoluteName = fullPathName(name);
    bool loadAttempted = false;
    try {
        xmlDoc.Close();
        map.ResetMap();
        loadAttempted = true;
        xmlDoc.LoadFromFile(absoluteName);
        const Node root = xmlDoc.FindTopLevelNode(QStringLiteral("widget_description"));
        if (root.HasChildNodes()) {
            WidgetWalk walk(map, locale);
            const NodeList& children = root.ChildNodes();
            const int count = children.Count();
            for (int i = 0; i < count; ++i) {
                const Node& child = children.Item(i);
                if (child.NameMatches(u"widget"))
                    walk.DrawWidget(child, 0, 0);
            }
        }
        map.RefreshMap();
        return OpenOutcome{true, xmlDoc.FileName() + QStringLiteral(" loaded.")};
    } catch (const std::exception& failure) {
        // A failure before the load (the map could not be made) still names the file the user
        // chose, not the one loaded before it.
        const QString fileName = loadAttempted ? xmlDoc.FileName() : absoluteName;
        return OpenOutcome{false, fileName + QStringLiteral(" failed: ") + failureMessage(failure)};
    }
}

} // namespace lyremap
