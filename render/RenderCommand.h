// lyremap-render: opens one layout file exactly as the viewer does, on a map without a window,
// and prints the outcome; optionally traces every drawing call and writes the map as a PNG.
#pragma once

#include <QStringList>
#include <cstdio>

namespace lyremap {

// Exit statuses of lyremap-render.
enum RenderExit : int { RenderLoaded = 0, RenderFailed = 1, RenderUsageError = 2 };

// Runs the command on ARGUMENTS (without the program name), writing the trace and the status
// text to OUT and complaints to ERR. Returns the exit status.
int runRenderCommand(const QStringList& arguments, std::FILE* out, std::FILE* err);

} // namespace lyremap
