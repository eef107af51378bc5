#include "app/WindowManagerHints.h"

#include <QGuiApplication>
#include <QWidget>

#if QT_CONFIG(xcb)
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>
#endif

namespace lyremap {

#if QT_CONFIG(xcb)

namespace {

// The Motif window manager hints: which fields count, the functions offered, the decorations.
enum : quint32 { HintFunctions = 1, HintDecorations = 2 };
enum : quint32 { FunctionMove = 4, FunctionMinimise = 8, FunctionClose = 32 };
enum : quint32 { DecorBorder = 2, DecorTitle = 8, DecorMenu = 16, DecorMinimise = 32 };

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};

} // namespace

void offerOnlyMinimiseAndClose(QWidget& window) {
    const auto* const x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    const WId id = window.winId();
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t* const connection = x11->connection();
    static constexpr char name[] = "_MOTIF_WM_HINTS";
    const std::unique_ptr<xcb_intern_atom_reply_t, FreeReply> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr));
    if (!atom)
        return;
    const quint32 hints[5] = {HintFunctions | HintDecorations,
                              FunctionMove | FunctionMinimise | FunctionClose,
                              DecorBorder | DecorTitle | DecorMenu | DecorMinimise, 0, 0};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(id), atom->atom, atom->atom,
                        32, 5, hints);
    xcb_flush(connection);
}

#else

void offerOnlyMinimiseAndClose(QWidget& window) {
    window.winId();
}

#endif

} // namespace lyremap
