#include "app/ViewerApplication.h"

#include "app/ApplicationTitle.h"
#include "app/FailureDisplay.h"

namespace lyremap {

ViewerApplication::ViewerApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("lyremap-viewer"));
    setApplicationDisplayName(applicationTitle());
    setDesktopFileName(QStringLiteral("lyremap-viewer"));
}

bool ViewerApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    runGuarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace lyremap
