// A map target that writes one line per call to a stream and passes the call on, so a script
// can see exactly what an open drew: "ResetMap", "SetPenStyle solid|dashed|dotted",
// "DrawRectangle L T R B" and "RefreshMap".
#pragma once

#include "map/MapCanvas.h"

#include <cstdio>

namespace lyremap {

class TraceTarget final : public MapTarget {
public:
    // Traces to OUT (not owned) every call before passing it to INNER.
    TraceTarget(MapTarget& inner, std::FILE* out) : inner_(inner), out_(out) {}

    void ResetMap() override;
    void SetPenStyle(PenStyle style) override;
    void DrawRectangle(const MapRect& rect) override;
    void RefreshMap() override;

private:
    MapTarget& inner_;
    std::FILE* out_;
};

} // namespace lyremap
