// lyremap-render: opens layout files exactly as the viewer does, on a map without a window, and
// prints each outcome; optionally traces every drawing call, writes each map as PNG or SVG, and
// follows one file as it changes.
#pragma once

#include "render/ExitStatus.h"

#include <QStringList>
#include <cstdio>

namespace lyremap {

// Runs the command on ARGUMENTS (without the program name), writing the trace and the status
// texts to OUT (to ERR when the map goes to standard output) and complaints to ERR. Returns the
// exit status (a RenderExit).
int runRenderCommand(const QStringList& arguments, std::FILE* out, std::FILE* err);

} // namespace lyremap
