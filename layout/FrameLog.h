// Every frame an open drew, in drawing order, with where it came from: its rectangle and pen,
// the place of its element in the file, and the steps of an XPath that selects the element,
// such as /widget_description/widget[2]/widget[1]/frame[3] (1-based indexes among the siblings
// whose name is written the same way). Attach it to an open as its walk listener.
#pragma once

#include "layout/WalkListener.h"

#include <QString>
#include <cstdint>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace lyremap {

// Values kept in blocks of thousands, for logs of millions: a block is never moved, so no
// growth holds two copies at once, and few blocks mean few allocations to make and give back.
// Only for types that need no destructor.
template <typename T> class BlockList {
public:
    static_assert(std::is_trivially_destructible_v<T>);
    static constexpr std::size_t kBlock = 4096; // values per block

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;
        const_iterator() = default;
        const_iterator(const BlockList* list, std::size_t index) : list_(list), index_(index) {}
        const T& operator*() const { return (*list_)[index_]; }
        const T* operator->() const { return &(*list_)[index_]; }
        const_iterator& operator++() {
            ++index_;
            return *this;
        }
        const_iterator operator++(int) { return const_iterator(list_, index_++); }
        friend bool operator==(const const_iterator& a, const const_iterator& b) {
            return a.index_ == b.index_;
        }

    private:
        const BlockList* list_ = nullptr;
        std::size_t index_ = 0;
    };

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const T& operator[](std::size_t index) const {
        return *std::launder(
            reinterpret_cast<const T*>(blocks_[index / kBlock][index % kBlock].bytes));
    }
    const T& back() const { return (*this)[size_ - 1]; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size_}; }

    void push_back(const T& value) {
        if (size_ == blocks_.size() * kBlock)
            blocks_.push_back(std::make_unique_for_overwrite<Slot[]>(kBlock));
        new (blocks_[size_ / kBlock][size_ % kBlock].bytes) T(value);
        ++size_;
    }
    void clear() {
        blocks_.clear();
        size_ = 0;
    }

private:
    // Room for one value, which push_back makes in place.
    struct Slot {
        alignas(T) unsigned char bytes[sizeof(T)];
    };
    std::vector<std::unique_ptr<Slot[]>> blocks_;
    std::size_t size_ = 0;
};

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
