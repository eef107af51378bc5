#include "app/ViewerApplication.h"

#include "app/ApplicationTitle.h"
#include "app/FailureDisplay.h"

#include <QSettings>

namespace lyremap {

namespace {

char* programName(int argc, char** argv) {
    static char fallback[] = "lyremap-viewer";
    return argc > 0 && argv && argv[0] ? argv[0] : fallback;
}

// The toolkit's own dialogs keep their state (the file dialog's last folder, history, sidebar
// and column widths) in the user's native-format settings, read when a dialog is made and
// written when it is destroyed. The viewer keeps no settings: every native-format settings file
// is looked for below /dev/null, a device, below which no file can be read, made or written.
void keepNoSettings() {
    const QString nowhere = QStringLiteral("/dev/null");
    for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope}) {
        QSettings::setPath(QSettings::NativeFormat, scope, nowhere);
        QSettings::setPath(QSettings::IniFormat, scope, nowhere);
    }
}

} // namespace

ViewerApplication::ViewerApplication(int argc, char** argv)
    : ProgramNameOnly(programName(argc, argv)), QApplication(argc_, argv_) {
    keepNoSettings();
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
