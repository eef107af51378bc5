#include "map/ClipboardQt.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace lyremap {

void ClipboardQt::open() {
    QClipboard* const clipboard = qGuiApp ? QGuiApplication::clipboard() : nullptr;
    if (!clipboard)
        throw EClipboardException();
    clipboard_ = clipboard;
}

void ClipboardQt::empty() {
    // clear() only gives up what this program placed; on X11 another program's content would
    // stay. Taking the clipboard with an empty entry empties it whoever held it.
    if (clipboard_)
        clipboard_->setMimeData(new QMimeData, QClipboard::Clipboard);
}

void ClipboardQt::setBitmap(const QImage& bitmap) {
    // After empty() the clipboard offers nothing; a null image keeps it that way rather than
    // offering a picture no program could paste.
    if (clipboard_ && !bitmap.isNull())
        clipboard_->setImage(bitmap, QClipboard::Clipboard);
}

void ClipboardQt::close() noexcept {
    clipboard_ = nullptr;
}

} // namespace lyremap
