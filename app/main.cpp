// lyremap-viewer: the desktop viewer for window-layout files.
#include "app/MainForm.h"
#include "app/ViewerApplication.h"

#include <QIcon>
#include <cstdio>
#include <cstdlib>

namespace {

// True when a window system can be reached: a platform was chosen explicitly, or an X or
// Wayland display is named.
bool displayNamed() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// While the application starts, a display that cannot be reached ends the program with a plain
// message instead of the toolkit's abort.
void startupMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg) {
        std::fputs("lyremap-viewer: cannot show the window: no usable display.\n", stderr);
        std::_Exit(EXIT_FAILURE);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (!displayNamed()) {
        std::fputs("lyremap-viewer: no display to show the window on (DISPLAY and "
                   "WAYLAND_DISPLAY are not set).\n",
                   stderr);
        return EXIT_FAILURE;
    }
    const QtMessageHandler previous = qInstallMessageHandler(startupMessages);
    lyremap::ViewerApplication app(argc, argv);
    qInstallMessageHandler(previous);
    app.setWindowIcon(QIcon(QStringLiteral(":/lyremap-viewer.png")));

    lyremap::TfmMain fmMain;
    fmMain.show();
    app.exec();
    return EXIT_SUCCESS;
}
