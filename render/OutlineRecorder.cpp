#include "render/OutlineRecorder.h"

namespace lyremap {

void OutlineRecorder::ResetMap() {
    outlines_.clear();
    inner_.ResetMap();
    // The reset leaves the dashed pen, with which it drew the border.
    pen_ = PenStyle::Dashed;
}

void OutlineRecorder::SetPenStyle(PenStyle style) {
    pen_ = style;
    inner_.SetPenStyle(style);
}

void OutlineRecorder::DrawRectangle(const MapRect& rect) {
    inner_.DrawRectangle(rect);
    // The same outline drawn again changes no pixel (only black is drawn after the reset): a run
    // of empty frames, which all lie on their widget's origin, is kept once.
    if (!outlines_.empty() && outlines_.back().rect == rect && outlines_.back().pen == pen_)
        return;
    outlines_.push_back(DrawnOutline{rect, pen_});
}

} // namespace lyremap
