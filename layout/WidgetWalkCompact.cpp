// The widget walk over a compact tree, read directly: children through their sibling links,
// names compared as the dictionary's pointers, a frame's five attributes found in one pass over
// its attribute records. It draws exactly what the walk over node handles draws.
#include "layout/WidgetWalk.h"

#include "layout/xml/CompactTree.h"
#include "layout/Conversion.h"

#include <array>
#include <cstring>
#include <vector>

namespace lyremap {

using detail::CompactKind;
using detail::CompactNode;
using detail::CompactTree;
using detail::kNoNode;

struct WidgetWalk::CompactState {
    static constexpr std::size_t kAttributes = 5; // x, y, width, height, border

    // Learns the numbers of the frame attributes in TREE of load LOAD.
    CompactState(const CompactTree& tree, std::uint64_t load) : load(load), tree(&tree) {
        static constexpr const char* kNames[kAttributes] = {"x", "y", "width", "height", "border"};
        slotOf.assign(tree.attributeNames.size(), kNoSlot);
        for (std::uint32_t n = 0; n < tree.attributeNames.size(); ++n) {
            const detail::AttributeName& name = tree.attributeNames[n];
            if (name.prefix != nullptr)
                continue;
            for (std::uint8_t k = 0; k < kAttributes; ++k)
                if (std::strcmp(reinterpret_cast<const char*>(name.localName), kNames[k]) == 0)
                    slotOf[n] = k;
        }
    }

    // Whether the node named NAME (a dictionary copy, or null for the kinds with fixed names,
    // none of which is "frame" or "widget") is a frame or a widget, remembered by address.
    struct Verdict {
        const xmlChar* name = nullptr;
        bool frame = false;
        bool widget = false;
    };
    const Verdict& verdictFor(const xmlChar* name) {
        static const Verdict none;
        if (name == nullptr)
            return none;
        const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(name));
        Verdict& slot = verdicts[(address * 0x9E3779B97F4A7C15u) >> 56];
        if (slot.name != name) {
            const char* text = reinterpret_cast<const char*>(name);
            slot = Verdict{name, nameTestUtf8(text, u"frame"), nameTestUtf8(text, u"widget")};
        }
        return slot;
    }

    static constexpr std::uint8_t kNoSlot = 0xFF;
    std::uint64_t load;
    const CompactTree* tree;
    // For each attribute name of the tree, which of the frame attributes it is, if any.
    std::vector<std::uint8_t> slotOf;
    std::array<Verdict, 256> verdicts{};
};

// Here, where CompactState is complete.
WidgetWalk::WidgetWalk(MapCanvas& canvas, QLocale locale)
    : canvas_(canvas), locale_(std::move(locale)) {}

WidgetWalk::~WidgetWalk() = default;

void WidgetWalk::drawCompactFrame(std::uint32_t index, std::int32_t& X, std::int32_t& Y) {
    const CompactTree& tree = *compact_->tree;
    const CompactNode& node = tree.nodes[index];
    // The first attribute of each name; other kinds of node carry none.
    std::array<std::optional<std::string_view>, CompactState::kAttributes> values;
    if (node.kind == CompactKind::Element)
        for (std::uint32_t i = 0; i < node.attributeCount; ++i) {
            const detail::CompactAttribute& attribute = tree.attributes[node.firstAttribute + i];
            const std::uint8_t k = compact_->slotOf[attribute.name];
            if (k != CompactState::kNoSlot && !values[k])
                values[k] = attribute.value();
        }
    const auto integer = [&](std::size_t k) {
        return values[k] ? integerFrom(*values[k]) : std::nullopt;
    };
    const bool solid = values[4] && nameTestUtf8(*values[4], u"yes");
    placeFrame(integer(0), integer(1), integer(2), integer(3), solid, X, Y);
}

void WidgetWalk::drawCompactWidget(const detail::CompactPosition& at, std::int32_t X,
                                   std::int32_t Y) {
    if (!compact_ || compact_->load != at.load)
        compact_ = std::make_unique<CompactState>(*at.tree, at.load);
    const CompactTree& tree = *at.tree;

    // As in DrawWidget: one entry per widget whose nested widgets are being walked, with the
    // next child to look at and the origin its frames left.
    struct Pending {
        std::uint32_t next;
        std::int32_t X;
        std::int32_t Y;
    };
    std::vector<Pending> stack;

    const auto enter = [&](std::uint32_t widget, std::int32_t x, std::int32_t y) {
        const std::uint32_t first = tree.nodes[widget].firstChild;
        if (first == kNoNode)
            return;
        for (std::uint32_t child = first; child != kNoNode; child = tree.nodes[child].nextSibling)
            if (compact_->verdictFor(tree.nodes[child].name).frame)
                drawCompactFrame(child, x, y);
        stack.push_back(Pending{first, x, y});
    };

    enter(at.index, X, Y);
    while (!stack.empty()) {
        Pending& top = stack.back();
        if (top.next == kNoNode) {
            stack.pop_back();
            continue;
        }
        const std::uint32_t child = top.next;
        top.next = tree.nodes[child].nextSibling;
        if (compact_->verdictFor(tree.nodes[child].name).widget)
            enter(child, top.X, top.Y); // may grow the stack: top is not used after this
    }
}

} // namespace lyremap
