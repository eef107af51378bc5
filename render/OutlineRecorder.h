// A map target that keeps every rectangle drawn after the last ResetMap, with its pen, and
// passes each call on, so that an open's outlines can be written as shapes afterwards. An
// outline that repeats the one before it is kept once.
#pragma once

#include "map/MapCanvas.h"
#include "render/DrawnMap.h"

#include <vector>

namespace lyremap {

class OutlineRecorder final : public MapTarget {
public:
    // Records the calls before passing them to INNER (not owned).
    explicit OutlineRecorder(MapTarget& inner) : inner_(inner) {}

    void ResetMap() override;
    void SetPenStyle(PenStyle style) override;
    void DrawRectangle(const MapRect& rect) override;
    void RefreshMap() override { inner_.RefreshMap(); }
    // The outlines are this recorder's alone, and a reset forgets them.
    bool DrawsFromAnyThread() const override { return inner_.DrawsFromAnyThread(); }

    // Forgets what was recorded; done before each open, so a reset that fails leaves none.
    void clear() { outlines_.clear(); }
    // The outlines drawn since the last ResetMap, in order, without immediate repeats.
    const std::vector<DrawnOutline>& outlines() const { return outlines_; }

private:
    MapTarget& inner_;
    PenStyle pen_ = PenStyle::Solid;
    std::vector<DrawnOutline> outlines_;
};

} // namespace lyremap
