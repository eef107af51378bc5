// Opens layout files one after another without a window, as the viewer's File > Open does: one
// document and one map for the whole run, each open resetting the map. Keeps what the last open
// drew for the map writers, and can trace every drawing call.
#pragma once

#include "layout/OpenLayout.h"
#include "layout/xml/XmlDocument.h"
#include "map/MapSurface.h"
#include "render/DrawnMap.h"
#include "render/OutlineRecorder.h"
#include "render/TraceTarget.h"

#include <cstdio>
#include <optional>

namespace lyremap {

class LayoutRenderer {
public:
    // TRACE (not owned; null for none) receives one line per drawing call. With KEEP_OUTLINES
    // each open's outlines are recorded for drawn().
    LayoutRenderer(std::FILE* trace, bool keepOutlines);
    LayoutRenderer(const LayoutRenderer&) = delete;
    LayoutRenderer& operator=(const LayoutRenderer&) = delete;

    // Opens the file PATH onto the map, telling LISTENER (if any) what the walk does; failures
    // are in the outcome, never thrown.
    OpenOutcome open(const QString& path, WalkListener* listener = nullptr);
    // The document of the last open, held until the next.
    const XmlDocument& document() const { return xmlDoc_; }
    // What the last open drew; valid until the next open.
    DrawnMap drawn() const;

private:
    MapSurface surface_;
    XmlDocument xmlDoc_;
    std::optional<TraceTarget> tracer_;
    std::optional<OutlineRecorder> recorder_;
    MapTarget* target_ = nullptr; // the outermost of surface_, tracer_ and recorder_
};

} // namespace lyremap
