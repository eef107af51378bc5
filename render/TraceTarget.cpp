#include "render/TraceTarget.h"

#include <cinttypes>

namespace lyremap {

void TraceTarget::ResetMap() {
    std::fputs("ResetMap\n", out_);
    inner_.ResetMap();
}

void TraceTarget::SetPenStyle(PenStyle style) {
    std::fprintf(out_, "SetPenStyle %s\n", penStyleName(style));
    inner_.SetPenStyle(style);
}

void TraceTarget::DrawRectangle(const MapRect& rect) {
    std::fprintf(out_, "DrawRectangle %" PRId32 " %" PRId32 " %" PRId32 " %" PRId32 "\n", rect.Left,
                 rect.Top, rect.Right, rect.Bottom);
    inner_.DrawRectangle(rect);
}

void TraceTarget::RefreshMap() {
    std::fputs("RefreshMap\n", out_);
    inner_.RefreshMap();
}

} // namespace lyremap
