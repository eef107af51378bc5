// A map target that records every call as a line of text, as lyremap-render --trace prints it,
// and can be told to fail at a given rectangle.
#pragma once

#include "base/Exception.h"
#include "map/MapCanvas.h"

#include <QString>
#include <QStringList>
#include <thread>

namespace lyremap::test {

class RecordingTarget : public MapTarget {
public:
    // Rectangles drawn before DrawRectangle fails; -1 never fails.
    int failAfter = -1;
    // What DrawsFromAnyThread answers: whether a walk may draw here while the file loads.
    bool anyThread = false;
    // A rectangle was drawn on another thread than the one that made the target.
    bool drawnElsewhere = false;
    // The calls so far: "ResetMap", "solid 1 2 3 4" (pen and rectangle), "RefreshMap".
    QStringList calls;

    void ResetMap() override { calls << QStringLiteral("ResetMap"); }
    void RefreshMap() override { calls << QStringLiteral("RefreshMap"); }
    bool DrawsFromAnyThread() const override { return anyThread; }
    void SetPenStyle(PenStyle style) override { pen_ = style; }
    void DrawRectangle(const MapRect& r) override {
        if (failAfter >= 0 && rectangles_ == failAfter)
            throw Exception(QStringLiteral("Leinwand/Bild erlaubt kein Zeichnen"));
        ++rectangles_;
        drawnElsewhere = drawnElsewhere || std::this_thread::get_id() != madeOn_;
        calls << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(QString::fromLatin1(penStyleName(pen_)))
                     .arg(r.Left)
                     .arg(r.Top)
                     .arg(r.Right)
                     .arg(r.Bottom);
    }

private:
    PenStyle pen_ = PenStyle::Dashed;
    std::thread::id madeOn_ = std::this_thread::get_id();
    int rectangles_ = 0;
};

} // namespace lyremap::test
