// Several walk listeners told the same things in turn, so that one walk serves them all.
#pragma once

#include "layout/WalkListener.h"

#include <vector>

namespace lyremap {

class WalkListeners final : public WalkListener {
public:
    // Adds LISTENER (not owned) to those told.
    void add(WalkListener* listener) { listeners_.push_back(listener); }
    bool empty() const { return listeners_.empty(); }

    void rootFound(const Node& root) override {
        for (WalkListener* listener : listeners_)
            listener->rootFound(root);
    }
    void widgetEntered(const Node& widget, int ordinal) override {
        for (WalkListener* listener : listeners_)
            listener->widgetEntered(widget, ordinal);
    }
    void widgetLeft() override {
        for (WalkListener* listener : listeners_)
            listener->widgetLeft();
    }
    void frameDrawn(const Node& frame, int ordinal, const FrameOutcome& outcome) override {
        for (WalkListener* listener : listeners_)
            listener->frameDrawn(frame, ordinal, outcome);
    }
    void passedOver(const Node& child, const Node& parent) override {
        for (WalkListener* listener : listeners_)
            listener->passedOver(child, parent);
    }
    void walkUndone() override {
        for (WalkListener* listener : listeners_)
            listener->walkUndone();
    }

private:
    std::vector<WalkListener*> listeners_;
};

} // namespace lyremap
