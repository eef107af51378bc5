// Drawing calls kept to be made later on another canvas, exactly as they came: for a walk
// that runs before its drawing may be seen (a tracer prints each call, a view shows it).
#pragma once

#include "layout/BlockList.h"
#include "map/MapCanvas.h"

namespace lyremap {

class RecordedDrawing final : public MapCanvas {
public:
    void SetPenStyle(PenStyle style) override { calls_.push_back(Call{{}, style, false}); }
    void DrawRectangle(const MapRect& rect) override {
        calls_.push_back(Call{rect, PenStyle::Solid, true});
    }
    // Makes every call recorded on CANVAS, in order.
    void replayOn(MapCanvas& canvas) const {
        for (const Call& call : calls_)
            if (call.rectangle)
                canvas.DrawRectangle(call.rect);
            else
                canvas.SetPenStyle(call.pen);
    }

private:
    struct Call {
        MapRect rect;
        PenStyle pen;
        bool rectangle; // a DrawRectangle, else a SetPenStyle
    };
    BlockList<Call> calls_;
};

} // namespace lyremap
