#include "layout/StreamedWalk.h"

#include "layout/WidgetWalk.h"
#include "layout/xml/CompactTree.h"

#include <system_error>

namespace lyremap {

StreamedWalk::StreamedWalk(MapTarget& map, QLocale locale, WalkListener* listener)
    : map_(map), locale_(std::move(locale)), listener_(listener) {}

StreamedWalk::~StreamedWalk() {
    discard();
}

void StreamedWalk::start(const Node& root) noexcept {
    if (thread_.joinable())
        return;
    root_ = root;
    direct_ = map_.DrawsFromAnyThread();
    try {
        thread_ = std::thread([this] { run(); });
        settled_ = false;
    } catch (const std::system_error&) {
        root_ = Node(); // the open walks the layout itself once it is loaded
    }
}

void StreamedWalk::run() noexcept {
    try {
        WidgetWalk walk(direct_ ? static_cast<MapCanvas&>(map_) : record_, locale_);
        walk.setListener(listener_);
        walk.walkRoot(root_);
    } catch (const detail::TreeAbandoned&) {
        abandoned_ = true;
    } catch (...) {
        failure_ = std::current_exception();
    }
}

bool StreamedWalk::finish(const Node& root) {
    if (settled_)
        return false;
    thread_.join();
    if (abandoned_ || root_.isNull() || !(root_ == root)) {
        discard();
        return false;
    }
    settled_ = true;
    if (!direct_)
        record_.replayOn(map_);
    if (failure_)
        std::rethrow_exception(failure_);
    return true;
}

void StreamedWalk::discard() noexcept {
    if (settled_)
        return;
    settled_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ != nullptr)
        listener_->walkUndone();
    if (direct_) {
        try {
            map_.ResetMap();
        } catch (...) {
            // The map was reset once before this open's load; it stays as the walk left it.
        }
    }
}

} // namespace lyremap
