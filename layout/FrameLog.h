// Every frame an open drew, in drawing order, with where it came from: its rectangle and pen,
// the place of its element in the file, and the steps of an XPath that selects the element,
// such as /widget_description/widget[2]/widget[1]/frame[3] (1-based indexes among the siblings
// whose name is written the same way). Attach it to an open as its walk listener.
#pragma once

#include "layout/BlockList.h"
#include "layout/WalkListener.h"

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lyremap {

class FrameLog final : public WalkListener {
public:
    // One step of a path: an element, the step of its parent, its name, its ordinal and how
    // many steps lie above it.
    struct Step {
        std::uint32_t parent = kNoStep;
        std::uint32_t name = 0;  // index into names()
        int ordinal = 0;         // 0 for the root, which needs no index
        std::uint32_t depth = 0; // 0 for a step without a parent
    };
    // A frame as drawn.
    struct Frame {
        MapRect rect;
        PenStyle pen = PenStyle::Dotted;
        SourcePosition position; // its element's '<', or the entity reference that brought it
        std::uint32_t step = 0;  // its own step
    };
    static constexpr std::uint32_t kNoStep = 0xFFFFFFFFu;

    // Forgets everything logged, for the next open.
    void clear();

    // The frames in drawing order, also those drawn before a failure ended the open.
    const BlockList<Frame>& frames() const { return frames_; }
    // Every element step, the root first: widgets entered and frames drawn.
    const BlockList<Step>& steps() const { return steps_; }
    // The element names the steps use, each once.
    const std::vector<QString>& names() const { return names_; }
    // The XPath of STEP, from the root down.
    QString xpath(std::uint32_t step) const;

    void rootFound(const Node& root) override;
    void widgetEntered(const Node& widget, int ordinal) override;
    void widgetLeft() override;
    void frameDrawn(const Node& frame, int ordinal, const FrameOutcome& outcome) override;
    void passedOver(const Node&, const Node&) override {}
    void walkUndone() override { clear(); }

private:
    std::uint32_t addStep(const Node& node, int ordinal);

    // In blocks, not one array: a layout may have millions of frames, and growing an array
    // would hold the old and the new copy at once.
    BlockList<Frame> frames_;
    BlockList<Step> steps_;
    std::vector<QString> names_;
    std::vector<std::string> utf8Names_; // the same names in UTF-8, for finding them
    std::vector<std::uint32_t> open_;    // the steps of the root and the widgets being walked
    // The name last found, by where the document keeps its text, which stays put while one
    // open walks it: most steps repeat a recent name. Forgotten when a root is found.
    std::string_view lastName_;
    std::uint32_t lastNameIndex_ = 0;
};

} // namespace lyremap
