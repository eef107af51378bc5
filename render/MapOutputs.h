// Where a run's maps go and in which format: --output names one file, --output-dir a file per
// layout, DIR/NAME.png with NAME the layout's file name without ".xml".
#pragma once

#include "render/DrawnMap.h"
#include "render/RenderOptions.h"

#include <QString>
#include <optional>
#include <vector>

namespace lyremap {

// For each of OPTIONS' layouts, the file its map goes to, or none. Throws UsageError when two
// layouts would write the same file, before anything is written.
std::vector<std::optional<QString>> mapOutputs(const RenderOptions& options);

// True when a map written to TARGET is SVG: its name ends in ".svg", in any letter case.
bool isSvgOutput(const QString& target);

// Writes MAP to TARGET, enlarged SCALE times: SVG or PNG by TARGET's name, as writeOutputFile
// does. Throws WriteError.
void writeMap(const DrawnMap& map, const QString& target, int scale);

} // namespace lyremap
