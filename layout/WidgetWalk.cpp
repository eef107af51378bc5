#include "layout/WidgetWalk.h"

#include "layout/Conversion.h"

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

void WidgetWalk::DrawFrame(const Node& node, std::int32_t& X, std::int32_t& Y) {
    // base + the converted attribute, or nothing when it does not convert or leaves the range.
    const auto offsetFrom = [&](std::int32_t base,
                                QStringView name) -> std::optional<std::int32_t> {
        try {
            return checkedSum(base, attributeToInteger(node.AttributeValue(name), locale_));
        } catch (const EConversionError&) {
            return std::nullopt;
        }
    };
    MapRect rect;
    rect.Left = offsetFrom(X, u"x").value_or(X);
    rect.Top = offsetFrom(Y, u"y").value_or(Y);
    rect.Right = offsetFrom(rect.Left, u"width").value_or(wrappedDefault(rect.Left));
    rect.Bottom = offsetFrom(rect.Top, u"height").value_or(wrappedDefault(rect.Top));

    const QString border = node.AttributeValue(u"border").value_or(QString());
    canvas_.SetPenStyle(nameTest(border, u"yes") ? PenStyle::Solid : PenStyle::Dotted);
    canvas_.DrawRectangle(rect);
    X = rect.Left;
    Y = rect.Top;
}

void WidgetWalk::drawFrames(const Node& widget, std::int32_t& X, std::int32_t& Y) {
    const NodeList& children = widget.ChildNodes();
    const int count = children.Count();
    for (int i = 0; i < count; ++i) {
        const Node& child = children.Item(i);
        if (nameTest(child.NodeName(), u"frame"))
            DrawFrame(child, X, Y);
    }
}

void WidgetWalk::DrawWidget(const Node& node, std::int32_t X, std::int32_t Y) {
    // One entry per widget whose nested widgets are being walked: the widget, the next child to
    // look at and the origin its frames left, which each nested widget starts from.
    struct Pending {
        Node widget;
        int next;
        int count;
        std::int32_t X;
        std::int32_t Y;
    };
    std::vector<Pending> stack;

    const auto enter = [&](const Node& widget, std::int32_t x, std::int32_t y) {
        if (!widget.HasChildNodes())
            return;
        drawFrames(widget, x, y);
        stack.push_back(Pending{widget, 0, widget.ChildNodes().Count(), x, y});
    };

    enter(node, X, Y);
    while (!stack.empty()) {
        Pending& top = stack.back();
        if (top.next >= top.count) {
            stack.pop_back();
            continue;
        }
        const Node child = top.widget.ChildNodes().Item(top.next++);
        if (nameTest(child.NodeName(), u"widget"))
            enter(child, top.X, top.Y); // may grow the stack: top is not used after this
    }
}

} // namespace lyremap
