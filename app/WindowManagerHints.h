// What a window manager offers for the viewer's fixed-size main window.
#pragma once

class QWidget;

namespace lyremap {

// Makes WINDOW's native window at once and tells an X11 window manager to offer only moving,
// minimising and closing it, with a border, a title bar, its system menu and a minimise button:
// no resize handles, no maximise button, no maximising or resizing from its menu. The toolkit
// writes these Motif hints itself but always adds resizing to them, so they are written again
// here. Other window systems take what the window's flags and fixed size say.
void offerOnlyMinimiseAndClose(QWidget& window);

} // namespace lyremap
