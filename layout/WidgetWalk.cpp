#include "layout/WidgetWalk.h"

#include "layout/Conversion.h"
#include "layout/SiblingOrdinals.h"

#include <limits>
#include <optional>
#include <vector>

namespace lyremap {

namespace {

constexpr std::int32_t kDefaultSize = 24;

std::optional<std::int32_t> checkedSum(std::int32_t base, std::int32_t offset) {
    const std::int64_t sum = std::int64_t{base} + offset;
    if (sum < std::numeric_limits<std::int32_t>::min() ||
        sum > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(sum);
}

// base + 24 in 32-bit two's complement: near the top of the range it wraps to negative.
std::int32_t wrappedDefault(std::int32_t base) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(base) +
                                     static_cast<std::uint32_t>(kDefaultSize));
}

} // namespace

WidgetWalk::WidgetWalk(MapCanvas& canvas, QLocale locale)
    : canvas_(canvas), locale_(std::move(locale)) {}

const WidgetWalk::NameVerdict& WidgetWalk::verdictFor(std::string_view name) {
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(name.data()));
    NameVerdict& slot = verdicts_[(address * 0x9E3779B97F4A7C15u) >> 58];
    if (slot.name != name.data())
        slot =
            NameVerdict{name.data(), nameTestUtf8(name, u"frame"), nameTestUtf8(name, u"widget")};
    return slot;
}

std::optional<std::int32_t>
WidgetWalk::integerFrom(const std::optional<std::string_view>& utf8) const {
    if (!utf8)
        return std::nullopt;
    // Most values are plain integers: read them where they lie.
    if (const auto plain = readPlainInteger(*utf8))
        return plain;
    try {
        return attributeToInteger(
            QString::fromUtf8(utf8->data(), static_cast<qsizetype>(utf8->size())), locale_);
    } catch (const EConversionError&) {
        return std::nullopt;
    }
}

FrameOutcome WidgetWalk::placeFrame(const Node& node, std::int32_t X, std::int32_t Y) const {
    // x, y, width, height, border: all read in one pass over the frame's attributes.
    FrameOutcome outcome;
    const auto& values = outcome.values;
    node.ReadAttributes(frameAttributes_, outcome.values);
    outcome.originX = X;
    outcome.originY = Y;
    // base + the converted attribute K, or nothing (and why) when there is none, it does not
    // convert or the sum leaves the range.
    const auto offset = [&](std::int32_t base, std::size_t k) -> std::optional<std::int32_t> {
        Fallback& fallback = outcome.fallback[k];
        if (!values[k]) {
            fallback = Fallback::Absent;
            return std::nullopt;
        }
        // Most values are plain integers: read them here without a call.
        const auto plain = readPlainInteger(*values[k]);
        const auto value = plain ? plain : integerFrom(values[k]);
        if (!value) {
            fallback = Fallback::NotANumber;
            return std::nullopt;
        }
        const auto sum = checkedSum(base, *value);
        if (!sum)
            fallback = Fallback::OutOfRange;
        return sum;
    };
    outcome.rect.Left = offset(X, 0).value_or(X);
    outcome.rect.Top = offset(Y, 1).value_or(Y);
    outcome.rect.Right = offset(outcome.rect.Left, 2).value_or(wrappedDefault(outcome.rect.Left));
    outcome.rect.Bottom = offset(outcome.rect.Top, 3).value_or(wrappedDefault(outcome.rect.Top));
    outcome.solid = values[4] && nameTestUtf8(*values[4], u"yes");
    return outcome;
}

void WidgetWalk::DrawFrame(const Node& node, std::int32_t& X, std::int32_t& Y) {
    drawFrame(node, 1, X, Y);
}

void WidgetWalk::drawFrame(const Node& node, int ordinal, std::int32_t& X, std::int32_t& Y) {
    const FrameOutcome outcome = placeFrame(node, X, Y);
    canvas_.SetPenStyle(outcome.solid ? PenStyle::Solid : PenStyle::Dotted);
    canvas_.DrawRectangle(outcome.rect);
    if (listener_ != nullptr)
        listener_->frameDrawn(node, ordinal, outcome);
    X = outcome.rect.Left;
    Y = outcome.rect.Top;
}

void WidgetWalk::walkRoot(const Node& root) {
    if (listener_ != nullptr)
        listener_->rootFound(root);
    // The root's children are only visited, never kept: no child list is built.
    SiblingOrdinals ordinals;
    for (ChildCursor child(root); !child.atEnd(); child.next()) {
        const std::string_view name = child.node().NodeNameUtf8();
        const int ordinal = listener_ != nullptr ? ordinals.next(name) : 0;
        if (nameTestUtf8(name, u"widget"))
            DrawWidget(child.node(), 0, 0, ordinal);
        else if (listener_ != nullptr)
            listener_->passedOver(child.node(), root);
    }
}

void WidgetWalk::DrawWidget(const Node& node, std::int32_t X, std::int32_t Y, int ordinal) {
    // One entry per widget whose nested widgets are being walked: a cursor on its children and
    // the origin its frames left, which each nested widget starts from; with a listener, also
    // the count of its children's names so far. NODE keeps the document alive while the walk
    // runs; the cursors' handles borrow it.
    struct Pending {
        ChildCursor next;
        std::int32_t X;
        std::int32_t Y;
        SiblingOrdinals ordinals;
    };
    std::vector<Pending> stack;
    // Names are remembered for this walk only: another document may hold others at the same place.
    verdicts_.fill(NameVerdict{});

    const auto enter = [&](const Node& widget, int place, std::int32_t x, std::int32_t y) {
        if (listener_ != nullptr)
            listener_->widgetEntered(widget, place);
        SiblingOrdinals frames;
        // Without a listener, which counts every child's name, the nested widgets are walked
        // from the first of them, and a widget without any is done here.
        std::optional<ChildCursor> firstWidget;
        for (ChildCursor child(widget); !child.atEnd(); child.next()) {
            const std::string_view name = child.node().NodeNameUtf8();
            const int ordinal = listener_ != nullptr ? frames.next(name) : 0;
            const NameVerdict& verdict = verdictFor(name);
            if (verdict.frame)
                drawFrame(child.node(), ordinal, x, y);
            else if (listener_ != nullptr) {
                if (!verdict.widget)
                    listener_->passedOver(child.node(), widget);
            } else if (verdict.widget && !firstWidget) {
                firstWidget = child;
            }
        }
        if (listener_ != nullptr)
            stack.push_back(Pending{ChildCursor(widget), x, y, {}});
        else if (firstWidget)
            stack.push_back(Pending{std::move(*firstWidget), x, y, {}});
    };

    enter(node, ordinal, X, Y);
    while (!stack.empty()) {
        // By index: entering a widget may move the stack.
        const std::size_t at = stack.size() - 1;
        if (stack[at].next.atEnd()) {
            stack.pop_back();
            if (listener_ != nullptr)
                listener_->widgetLeft();
            continue;
        }
        const Node& child = stack[at].next.node();
        const std::string_view name = child.NodeNameUtf8();
        const int place = listener_ != nullptr ? stack[at].ordinals.next(name) : 0;
        if (verdictFor(name).widget)
            enter(child, place, stack[at].X, stack[at].Y);
        stack[at].next.next();
    }
}

} // namespace lyremap
