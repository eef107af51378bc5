// lyremap-render --diff OLD NEW: opens both layouts as the viewer would and prints one line per
// frame that differs, as diff(1) does for text: "NEW:LINE:COLUMN: moved XPATH L T R B -> L T R
// B" (likewise resized, and restyled with the two pens), "NEW:LINE:COLUMN: added XPATH L T R B"
// and "OLD:LINE:COLUMN: removed XPATH L T R B"; with --output, also a picture of both maps.
//
// Only OLD's frame log is kept while NEW is open (opening NEW closes OLD's document), and the
// document is closed before the frames are matched: at its largest the diff holds one document
// and two logs.
#pragma once

#include "render/RenderOptions.h"

#include <cstdio>

namespace lyremap {

// The exit statuses of a diff, those of diff(1).
enum DiffExit : int {
    DiffSame = 0,    // no frame differs
    DiffChanged = 1, // some frame differs
    DiffTrouble = 2, // a layout failed to load, or the picture could not be written
};

// Runs the diff that OPTIONS ask for (two layouts, OLD first). The lines go to OUT, or to ERR
// when the picture goes to standard output; the outcome of a layout that fails to load, and
// complaints, go to ERR. Returns a DiffExit.
int runDiffCommand(const RenderOptions& options, std::FILE* out, std::FILE* err);

} // namespace lyremap
