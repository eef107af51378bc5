// What --check, --json and --at make of one open, for layout authors. --check prints each
// finding on standard error as "PATH:LINE:COLUMN: warning: TEXT [NAME]" (an error line for a
// failed open); --json prints one JSON document per open instead of the status line; --at
// lists the frames at one map pixel instead of the status line, and the status text of a
// failed open goes to standard error. One walk feeds them all through its listener.
#pragma once

#include "layout/FrameLog.h"
#include "render/ExitStatus.h"
#include "render/LayoutChecks.h"
#include "render/PointQuery.h"
#include "render/WalkListeners.h"

#include <cstdio>
#include <optional>

namespace lyremap {

class AuthorReport {
public:
    // CHECK, JSON and AT as the options give them.
    AuthorReport(bool check, bool json, std::optional<MapPoint> at);
    AuthorReport(const AuthorReport&) = delete;
    AuthorReport& operator=(const AuthorReport&) = delete;

    // The listener for the next open, null when no option needs one; forgets the last open.
    WalkListener* listener();
    // True when the plain status line is printed: neither --json nor --at replaces it.
    bool printsStatusLine() const { return !json_ && !at_; }
    // Prints what the options ask for about the open that gave OUTCOME on DOCUMENT: to OUT
    // the JSON document or the frames at the point, to ERR the diagnostics or a failed open's
    // status. Returns the layout's status: with --check 3 for a layout that loaded with
    // warnings, else 0 loaded, 1 failed.
    RenderExit report(const OpenOutcome& outcome, const XmlDocument& document, std::FILE* out,
                      std::FILE* err);
    // True once --at has listed a frame, in any layout of the run.
    bool listedAny() const { return listed_; }

private:
    bool check_;
    bool json_;
    std::optional<MapPoint> at_;
    bool listed_ = false;
    FrameLog log_;
    LayoutChecks checks_;
    WalkListeners listeners_;
};

} // namespace lyremap
