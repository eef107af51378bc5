// The program's name as the user sees it: window caption, task bar entry, message box caption.
#pragma once

#include <QString>

namespace lyremap {

inline QString applicationTitle() {
    return QStringLiteral("Varnholt lyreWindow Map Viewer");
}

} // namespace lyremap
