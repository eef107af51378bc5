#include "render/LayoutChecks.h"

#include "layout/Conversion.h"
#include "map/MapSurface.h"

#include <QRegularExpression>
#include <QStringBuilder>
#include <algorithm>
#include <array>
#include <charconv>

namespace lyremap {

namespace {

constexpr std::array<std::string_view, 5> kAttributeNames{"x", "y", "width", "height", "border"};
// The offset each coordinate falls back to: x and y stay on their base, width and height are 24.
constexpr std::array<int, 4> kDefaults{0, 0, 24, 24};

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString oneLine(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

// Whether TEXT, which did not convert, is an integer too large for 32 bits rather than no
// number at all.
bool isLongInteger(const QString& text) {
    static const QRegularExpression integer(QStringLiteral("^ *[+-]?[0-9]+$"));
    return integer.match(text).hasMatch();
}

bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

// A frame's outline lies wholly outside the map when its pixel block does.
bool offMap(const PixelBlock& block) {
    return block.Right <= 0 || block.Bottom <= 0 || block.Left >= MapSurface::DefaultWidth ||
           block.Top >= MapSurface::DefaultHeight;
}

// "(LEFT, TOP, RIGHT, BOTTOM)"; made without QString's formatting, as thousands of frames of a
// large layout may lie off the map.
QString rectText(const MapRect& rect) {
    char text[64];
    char* end = text;
    *end++ = '(';
    for (const std::int32_t edge : {rect.Left, rect.Top, rect.Right, rect.Bottom}) {
        if (end != text + 1) {
            *end++ = ',';
            *end++ = ' ';
        }
        end = std::to_chars(end, text + sizeof text, edge).ptr;
    }
    *end++ = ')';
    return QString::fromLatin1(text, end - text);
}

// The start tag of the document's first element, for failures after the file was read.
SourcePosition rootElementPosition(const XmlDocument& document) {
    if (!document.Active())
        return {};
    for (ChildCursor child(document.DocumentNode()); !child.atEnd(); child.next())
        if (child.node().nodeType() == NodeType::Element)
            return child.node().Position();
    return {};
}

} // namespace

void LayoutChecks::clear() {
    root_ = Node();
    unreached_.clear();
    misspeltNames_ = false;
    namesSeen_ = 0;
    warnings_.clear();
    error_.reset();
    // Another document may hold other names where this one's were.
    verdicts_.fill(NameVerdict{});
}

void LayoutChecks::warn(QString name, SourcePosition position, QString message) {
    warnings_.push_back(
        Diagnostic{Diagnostic::Severity::Warning, std::move(name), position, std::move(message)});
}

void LayoutChecks::rootFound(const Node& root) {
    root_ = root;
}

void LayoutChecks::widgetEntered(const Node& /*widget*/, int /*ordinal*/) {}

void LayoutChecks::passedOver(const Node& child, const Node& parent) {
    addUnreachedFrames(child, parent, unreached_);
}

void LayoutChecks::frameDrawn(const Node& frame, int /*ordinal*/, const FrameOutcome& outcome) {
    // The walk never looks inside a frame: whatever it holds is passed over.
    if (frame.HasChildNodes())
        for (ChildCursor child(frame); !child.atEnd(); child.next())
            addUnreachedFrames(child.node(), frame, unreached_);
    checkAttributes(frame, outcome);

    const PixelBlock block = pixelBlock(outcome.rect);
    // Built in one piece each: thousands of frames of a large layout may draw nothing.
    if (block.empty())
        warn(QStringLiteral("empty"), frame.Position(),
             QStringLiteral("frame ") % rectText(outcome.rect) % QStringLiteral(" has zero ") %
                 (block.Left == block.Right ? QStringLiteral("width") : QStringLiteral("height")) %
                 QStringLiteral(", so nothing is drawn"));
    else if (offMap(block))
        warn(QStringLiteral("off-map"), frame.Position(),
             QStringLiteral("frame ") % rectText(outcome.rect) %
                 QStringLiteral(" lies wholly outside the 800 by 600 map, so nothing of it shows"));
}

int LayoutChecks::attributeVerdict(const char* name) {
    // A document keeps each attribute name once, so each is judged once, found again by where
    // it lies.
    const auto address = reinterpret_cast<std::uintptr_t>(name);
    NameVerdict& slot = verdicts_[(address * 0x9E3779B97F4A7C15u) >> 58];
    if (slot.name != name) {
        slot = NameVerdict{name, -1};
        const std::string_view text(name);
        for (std::size_t k = 0; k < kAttributeNames.size(); ++k)
            if (text == kAttributeNames[k])
                slot.verdict = int(k);
            else if (sameIgnoringAsciiCase(text, kAttributeNames[k]))
                slot.verdict = kMisspelt + int(k);
    }
    return slot.verdict;
}

void LayoutChecks::checkAttributes(const Node& frame, const FrameOutcome& outcome) {
    // The names of the written attributes, for their letter case, once the document has shown
    // a misspelt one somewhere: it names its attributes before the elements that carry them.
    if (!misspeltNames_) {
        newNames_.clear();
        namesSeen_ = frame.DocumentAttributeNamesUtf8(namesSeen_, newNames_);
        misspeltNames_ = std::any_of(newNames_.begin(), newNames_.end(), [this](const char* name) {
            return attributeVerdict(name) >= kMisspelt;
        });
    }
    if (misspeltNames_) {
        attributes_.clear();
        frame.UnprefixedAttributesUtf8(attributes_);
        for (const auto& [name, value] : attributes_)
            if (const int verdict = attributeVerdict(name); verdict >= kMisspelt) {
                const QString written = QString::fromUtf8(name);
                warn(
                    QStringLiteral("attribute-name"), frame.AttributePosition(written),
                    QStringLiteral("attribute \"%1\" is ignored: names count letter case, and "
                                   "the one read is \"%2\"")
                        .arg(written, fromUtf8(kAttributeNames[std::size_t(verdict - kMisspelt)])));
            }
    }
    // The texts the walk read, for the warnings.
    const auto& values = outcome.values;
    const auto text = [&](std::size_t k) { return values[k] ? fromUtf8(*values[k]) : QString(); };

    // The base each coordinate is added to: the origin for x and y, the left and top edges
    // for width and height.
    const std::array<std::int32_t, 4> bases{outcome.originX, outcome.originY, outcome.rect.Left,
                                            outcome.rect.Top};
    static const std::array<QString, 4> baseNames{
        QStringLiteral("the origin's x"), QStringLiteral("the origin's y"),
        QStringLiteral("the left edge"), QStringLiteral("the top edge")};
    for (std::size_t k = 0; k < 4; ++k) {
        const Fallback fallback = outcome.fallback[k];
        if (fallback != Fallback::NotANumber && fallback != Fallback::OutOfRange)
            continue;
        const QString name = fromUtf8(kAttributeNames[k]);
        const QString value = text(k);
        const QString used = QStringLiteral("; %1 used").arg(kDefaults[k]);
        if (fallback == Fallback::NotANumber)
            warn(QStringLiteral("value"), frame.AttributePosition(name),
                 QStringLiteral("%1 \"%2\" %3%4")
                     .arg(name, value,
                          isLongInteger(value) ? QStringLiteral("is beyond the 32-bit range")
                                               : QStringLiteral("is not a number"),
                          used));
        else
            warn(QStringLiteral("range"), frame.AttributePosition(name),
                 QStringLiteral("%1 \"%2\" added to %3 %4 leaves the 32-bit range%5")
                     .arg(name, value, baseNames[k], QString::number(bases[k]), used));
    }

    // A solid frame's border is yes; an absent border is no finding.
    if (outcome.solid)
        return;
    if (!values[4] || nameTestUtf8(*values[4], u"no"))
        return;
    warn(QStringLiteral("border"), frame.AttributePosition(u"border"),
         QStringLiteral("border \"%1\" is neither yes nor no, so the frame is drawn dotted")
             .arg(fromUtf8(*values[4])));
}

void LayoutChecks::finish(const OpenOutcome& outcome, const XmlDocument& document) {
    if (outcome.loaded && !root_.isNull()) {
        for (const UnreachedElement& unreached : unreached_)
            warn(QStringLiteral("unreached"), unreached.element.Position(),
                 QStringLiteral("%1; %2 lost")
                     .arg(unreachedReason(unreached, root_),
                          unreached.frames == 1
                              ? QStringLiteral("1 frame")
                              : QStringLiteral("%1 frames").arg(unreached.frames)));
    }
    if (!outcome.loaded) {
        Diagnostic error{Diagnostic::Severity::Error, QString(), {}, oneLine(outcome.failure)};
        if (outcome.parseReport) {
            error.message = oneLine(outcome.parseReport->reason);
            if (outcome.parseReport->line > 0)
                error.position = SourcePosition{outcome.parseReport->line,
                                                std::max(outcome.parseReport->column, 1)};
        } else if (root_.isNull()) {
            // The file was read, but its root element is not the layout's.
            error.position = rootElementPosition(document);
        }
        error_ = std::move(error);
    }
    std::stable_sort(warnings_.begin(), warnings_.end(), [](const auto& a, const auto& b) {
        return std::pair(a.position.line, a.position.column) <
               std::pair(b.position.line, b.position.column);
    });
    // The walk's own record is no longer needed; the document may now be closed.
    root_ = Node();
    unreached_.clear();
}

void appendDiagnosticLine(QByteArray& lines, const QByteArray& path, const Diagnostic& diagnostic) {
    // Built in UTF-8 as it is written: a large layout can have tens of thousands of findings.
    lines += path;
    if (diagnostic.position.line > 0) {
        lines += ':';
        lines += QByteArray::number(diagnostic.position.line);
        lines += ':';
        lines += QByteArray::number(std::max(diagnostic.position.column, 1));
    }
    const bool error = diagnostic.severity == Diagnostic::Severity::Error;
    lines += error ? ": error: " : ": warning: ";
    lines += diagnostic.message.toUtf8();
    if (!error) {
        lines += " [";
        lines += diagnostic.name.toUtf8();
        lines += ']';
    }
    lines += '\n';
}

} // namespace lyremap
