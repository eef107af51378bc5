// The exit statuses of lyremap-render and how the outcomes of several files make one status.
// Every status is one of RenderExit, and a run's status is the gravest any file gave it, so a
// status only ever rises: warnings (3) outrank a clean load (0), a failed open (1) outranks
// both, trouble (2) outranks everything.
#pragma once

namespace lyremap {

enum RenderExit : int {
    RenderLoaded = 0,   // every layout loaded (and --watch ended by an interrupt)
    RenderFailed = 1,   // some layout failed to open
    RenderTrouble = 2,  // bad arguments, or an output that could not be written
    RenderWarnings = 3, // with --check: every layout loaded, some with warnings
};

// The status of a run so far.
class ExitStatus {
public:
    // Takes in one file's (or one step's) status.
    void note(RenderExit status) {
        if (gravity(status) > gravity(status_))
            status_ = status;
    }
    // The gravest status noted, RenderLoaded when none was.
    RenderExit value() const { return status_; }

private:
    static int gravity(RenderExit status) {
        switch (status) {
        case RenderLoaded:
            return 0;
        case RenderWarnings:
            return 1;
        case RenderFailed:
            return 2;
        case RenderTrouble:
            return 3;
        }
        return 3;
    }
    RenderExit status_ = RenderLoaded;
};

} // namespace lyremap
