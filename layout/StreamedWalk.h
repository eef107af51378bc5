// The widget walk of one open, run on a thread of its own while the layout is still being read:
// it reads each element as soon as the parse has it, so that on a second core most of the walk
// costs no time. It draws on the map itself when the map allows drawing from another thread,
// else on a record that finish() plays on the map afterwards; its listener hears everything on
// the walk's thread. A walk that does not count (the load failed, or found another root) is
// undone: the map is reset if the walk drew on it, and the listener is told. A drawing call that
// fails while the record is played ends the open there, as it would have ended the walk; the
// listener has then heard of the frames after it as well (no map of ours fails so).
#pragma once

#include "layout/RecordedDrawing.h"
#include "layout/WalkListener.h"
#include "map/MapCanvas.h"

#include <QLocale>
#include <exception>
#include <thread>

namespace lyremap {

class StreamedWalk {
public:
    // A walk onto MAP, reading numbers the LOCALE way, telling LISTENER (may be null); none
    // runs until start().
    StreamedWalk(MapTarget& map, QLocale locale, WalkListener* listener);
    StreamedWalk(const StreamedWalk&) = delete;
    StreamedWalk& operator=(const StreamedWalk&) = delete;
    // Undoes a walk that finish() did not take.
    ~StreamedWalk();

    // Starts walking the layout's ROOT, handed over by the load as soon as it is read; without
    // a thread to be had, nothing starts. Never throws.
    void start(const Node& root) noexcept;
    // After a load that succeeded and found the layout's ROOT: when the walk started on ROOT,
    // waits for it, plays the record on the map, passes the walk's failure on (what was drawn
    // stays) and returns true. Otherwise undoes it and returns false: the caller walks.
    bool finish(const Node& root);
    // Waits for a walk that does not count and undoes it.
    void discard() noexcept;

private:
    void run() noexcept;

    MapTarget& map_;
    const QLocale locale_;
    WalkListener* const listener_;
    bool direct_ = false; // drawing on map_ itself, else on record_
    RecordedDrawing record_;
    Node root_;
    std::exception_ptr failure_; // how the walk ended, if not well
    bool abandoned_ = false;     // it read past where a failed load stopped
    bool settled_ = true;        // nothing left to take or undo
    std::thread thread_;
};

} // namespace lyremap
