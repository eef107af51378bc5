// The exit statuses of lyremap-render and how the outcomes of several files make one status.
// Every status is one of RenderExit, and a run's status is the highest any file gave it, so a
// status only ever rises: a failed open (1) outranks a loaded one, trouble (2) outranks both.
#pragma once

namespace lyremap {

enum RenderExit : int {
    RenderLoaded = 0,  // every layout loaded (and --watch ended by an interrupt)
    RenderFailed = 1,  // some layout failed to open
    RenderTrouble = 2, // bad arguments, or an output that could not be written
};

// The status of a run so far.
class ExitStatus {
public:
    // Takes in one file's (or one step's) status.
    void note(RenderExit status) {
        if (status > status_)
            status_ = status;
    }
    // The highest status noted, RenderLoaded when none was.
    RenderExit value() const { return status_; }

private:
    RenderExit status_ = RenderLoaded;
};

} // namespace lyremap
