// --json: one open as one compact JSON document on a line of its own:
//   {"diagnostics":[...],"error":null|{"column","line","reason"},"file","loaded","status",
//    "frames":[{"bottom","column","left","line","path","pen","right","top"}, ...]}
// Frames are in drawing order, also those drawn before a failure. Every object is made with
// Qt's JSON classes; the frames, which may be hundreds of thousands, are written one object at
// a time instead of as one array held whole.
#pragma once

#include "layout/FrameLog.h"
#include "layout/OpenLayout.h"
#include "render/LayoutChecks.h"

#include <QJsonObject>
#include <cstdio>

namespace lyremap {

// The JSON form of one diagnostic: severity, name (null for an error), line, column (null
// when it has no place) and message.
QJsonObject diagnosticJson(const Diagnostic& diagnostic);

// Writes the document for OUTCOME, with the frames of LOG and the findings of CHECKS, to OUT.
void writeJsonReport(std::FILE* out, const OpenOutcome& outcome, const FrameLog& log,
                     const LayoutChecks& checks);

} // namespace lyremap
