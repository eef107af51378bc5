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

std::optional<std::int32_t> WidgetWalk::integerFrom(std::string_view utf8) const {
    // Most values are plain integers: read them where they lie.
    if (const auto plain = readPlainInteger(utf8))
        return plain;
    return integerFrom(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

std::optional<std::int32_t> WidgetWalk::integerFrom(const std::optional<QString>& value) const {
    try {
        return attributeToInteger(value, locale_);
    } catch (const EConversionError&) {
        return std::nullopt;
    }
}

std::optional<std::int32_t> WidgetWalk::readInteger(const Node& node, const AttributeKey& key,
                                                    QStringView qname) const {
    const AttributeText text = node.AttributeUtf8(key);
    if (text.state == AttributeText::State::Absent)
        return std::nullopt;
    if (text.state == AttributeText::State::Text)
        return integerFrom(text.text);
    return integerFrom(node.AttributeValue(qname));
}

void WidgetWalk::placeFrame(std::optional<std::int32_t> x, std::optional<std::int32_t> y,
                            std::optional<std::int32_t> width, std::optional<std::int32_t> height,
                            bool solid, std::int32_t& X, std::int32_t& Y) {
    // base + the converted attribute, or nothing when there is none or the sum leaves the range.
    const auto offsetFrom = [](std::int32_t base, std::optional<std::int32_t> value) {
        return value ? checkedSum(base, *value) : std::nullopt;
    };
    MapRect rect;
    rect.Left = offsetFrom(X, x).value_or(X);
    rect.Top = offsetFrom(Y, y).value_or(Y);
    rect.Right = offsetFrom(rect.Left, width).value_or(wrappedDefault(rect.Left));
    rect.Bottom = offsetFrom(rect.Top, height).value_or(wrappedDefault(rect.Top));
    canvas_.SetPenStyle(solid ? PenStyle::Solid : PenStyle::Dotted);
    canvas_.DrawRectangle(rect);
    X = rect.Left;
    Y = rect.Top;
}

void WidgetWalk::DrawFrame(const Node& node, std::int32_t& X, std::int32_t& Y) {
    const AttributeText border = node.AttributeUtf8(border_);
    bool solid = false;
    if (border.state == AttributeText::State::Text)
        solid = nameTestUtf8(border.text, u"yes");
    else if (border.state == AttributeText::State::Unknown)
        solid = nameTest(node.AttributeValue(u"border").value_or(QString()), u"yes");
    placeFrame(readInteger(node, x_, u"x"), readInteger(node, y_, u"y"),
               readInteger(node, width_, u"width"), readInteger(node, height_, u"height"), solid, X,
               Y);
}

void WidgetWalk::drawFrames(const NodeList& children, std::int32_t& X, std::int32_t& Y) {
    const int count = children.Count();
    for (int i = 0; i < count; ++i) {
        const Node& child = children.Item(i);
        if (child.NameMatches(u"frame"))
            DrawFrame(child, X, Y);
    }
}

void WidgetWalk::DrawWidget(const Node& node, std::int32_t X, std::int32_t Y) {
    if (const auto at = detail::compactPosition(node); at && at->attributesAsWritten) {
        drawCompactWidget(*at, X, Y);
        return;
    }
    // One entry per widget whose nested widgets are being walked: its children, the next one to
    // look at and the origin its frames left, which each nested widget starts from. Child lists
    // belong to the document, which NODE keeps alive, so they stay put while the walk runs.
    struct Pending {
        const NodeList* children;
        int next;
        int count;
        std::int32_t X;
        std::int32_t Y;
    };
    std::vector<Pending> stack;

    const auto enter = [&](const Node& widget, std::int32_t x, std::int32_t y) {
        if (!widget.HasChildNodes())
            return;
        const NodeList& children = widget.ChildNodes();
        drawFrames(children, x, y);
        stack.push_back(Pending{&children, 0, children.Count(), x, y});
    };

    enter(node, X, Y);
    while (!stack.empty()) {
        Pending& top = stack.back();
        if (top.next >= top.count) {
            stack.pop_back();
            continue;
        }
        const Node& child = top.children->Item(top.next++);
        if (child.NameMatches(u"widget"))
            enter(child, top.X, top.Y); // may grow the stack: top is not used after this
    }
}

} // namespace lyremap
