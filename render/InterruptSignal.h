// Turns SIGINT (Ctrl+C) and SIGTERM into a call on the Qt event loop, so that a program waiting
// there can finish what it is doing (a file half written, say) and end normally. While an
// InterruptSignal lives, the two signals no longer end the process by themselves.
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <signal.h>

namespace lyremap {

class InterruptSignal {
public:
    // Calls ON_INTERRUPT from the event loop after each SIGINT or SIGTERM. One at a time.
    explicit InterruptSignal(std::function<void()> onInterrupt);
    // Restores the signals' earlier handling.
    ~InterruptSignal();
    InterruptSignal(const InterruptSignal&) = delete;
    InterruptSignal& operator=(const InterruptSignal&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

} // namespace lyremap
