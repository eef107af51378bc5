// The system clipboard through Qt: the clipboard of the running QGuiApplication.
#pragma once

#include "map/Clipboard.h"

class QClipboard;

namespace lyremap {

class ClipboardQt final : public Clipboard {
public:
    // EClipboardException when no QGuiApplication runs or its platform offers no clipboard.
    void open() override;
    void empty() override;
    // Offers BITMAP as an image (PNG and the platform's other image formats).
    void setBitmap(const QImage& bitmap) override;
    void close() noexcept override;

    // True between a successful open() and close().
    bool isOpen() const { return clipboard_ != nullptr; }

private:
    QClipboard* clipboard_ = nullptr;
};

} // namespace lyremap
