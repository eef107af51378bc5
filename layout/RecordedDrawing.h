// Drawing calls kept to be made later on another canvas, exactly as they came: for a walk that
// runs before its drawing may be seen (a tracer prints each call, a view shows it).
#pragma once

#include "layout/BlockList.h"
#include "map/MapCanvas.h"

#include <cstdint>
#include <optional>

namespace lyremap {

class RecordedDrawing final : public MapCanvas {
public:
    void SetPenStyle(PenStyle style) override {
        if (pen_)
            calls_.push_back(Call{{}, *pen_, kPen});
        pen_ = static_cast<std::uint8_t>(style);
    }
    void DrawRectangle(const MapRect& rect) override {
        // A pen set just before, as the walk sets one for every frame, shares the record.
        calls_.push_back(Call{rect, pen_.value_or(0), pen_ ? kPenAndRectangle : kRectangle});
        pen_.reset();
    }
    // Makes every call recorded on CANVAS, in order.
    void replayOn(MapCanvas& canvas) const {
        for (const Call& call : calls_) {
            if (call.made != kRectangle)
                canvas.SetPenStyle(static_cast<PenStyle>(call.pen));
            if (call.made != kPen)
                canvas.DrawRectangle(call.rect);
        }
        if (pen_)
            canvas.SetPenStyle(static_cast<PenStyle>(*pen_));
    }

private:
    static constexpr std::uint8_t kPen = 0, kRectangle = 1, kPenAndRectangle = 2;
    struct Call {
        MapRect rect;
        std::uint8_t pen;
        std::uint8_t made; // which of the two calls the record stands for
    };
    BlockList<Call> calls_;
    std::optional<std::uint8_t> pen_; // set last, not yet followed by a rectangle
};

} // namespace lyremap
