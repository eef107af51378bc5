#include "render/SvgWriter.h"

#include "render/OutputFile.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

namespace lyremap {

namespace {

// Collects the text and hands it to the device in large pieces.
class SvgText {
public:
    explicit SvgText(QIODevice& device) : device_(device) { text_.reserve(kChunk + 4096); }

    SvgText& operator<<(std::string_view text) {
        text_.append(text);
        return *this;
    }
    SvgText& operator<<(qint64 number) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
        text_.append(digits, end);
        return *this;
    }
    // How much text there is, for going back to it.
    std::size_t size() const { return text_.size(); }
    // Drops the text after the first SIZE characters, which must not have been passed on yet.
    void truncate(std::size_t size) { text_.resize(size); }
    // Passes on what was collected once it is large, or always with FORCE.
    void flush(bool force = false) {
        if (text_.size() < (force ? 1 : kChunk))
            return;
        if (device_.write(text_.data(), qint64(text_.size())) != qint64(text_.size()))
            throw WriteError(device_.errorString());
        text_.clear();
    }

private:
    static constexpr std::size_t kChunk = 1 << 16;
    QIODevice& device_;
    // A standard string: appending a few characters to it is cheap, unlike to a QByteArray.
    std::string text_;
};

// The first place at or after ORIGIN where the pattern starts anew, moved back by whole periods
// to just before the map when ORIGIN lies further out: a stroke may start off the map but must
// not run over millions of pixels there (nor past what a renderer's numbers hold).
qint64 patternStart(qint64 origin, int period) {
    return origin >= 0 ? origin : origin + (-origin) / period * period;
}

// Appends the path data of one outline: what lies on a map of WIDTH by HEIGHT pixels of the pixels
// the map surface draws for RECT with PATTERN. The horizontal edges run the whole width and own
// the corners; the vertical edges run between them, their pattern counted from the top row.
void appendOutline(SvgText& svg, const MapRect& rect, PenPattern pattern, qint64 width,
                   qint64 height) {
    const PixelBlock block = pixelBlock(rect);
    if (block.empty())
        return;
    const qint64 left = block.Left, right = block.Right, top = block.Top, bottom = block.Bottom;

    const auto horizontal = [&](qint64 y) {
        const qint64 start = patternStart(left, pattern.period);
        const qint64 end = std::min(right, width);
        if (y >= 0 && y < height && end > 0 && start < end && start < width)
            svg << "M" << start << " " << y << ".5h" << end - start;
    };
    // A stroke starts its pattern afresh, so a vertical edge, whose first row is one pixel into
    // the pattern, is drawn as the rest of that first dash and then strokes from each period on.
    const auto vertical = [&](qint64 x) {
        if (x < 0 || x >= width)
            return;
        const qint64 end = std::min(bottom - 1, height);
        const qint64 dashStart = std::max<qint64>(top + 1, 0);
        const qint64 dashEnd = std::min(top + pattern.on, end);
        if (dashStart < dashEnd)
            svg << "M" << x << ".5 " << dashStart << "v" << dashEnd - dashStart;
        const qint64 start = patternStart(top + pattern.period, pattern.period);
        if (end > 0 && start < end && start < height)
            svg << "M" << x << ".5 " << start << "v" << end - start;
    };
    horizontal(top);
    if (bottom - 1 != top)
        horizontal(bottom - 1);
    vertical(left);
    if (right - 1 != left)
        vertical(right - 1);
}

// Appends the outline as a path element, or nothing when none of it lies on the map.
void appendPath(SvgText& svg, const MapRect& rect, PenStyle pen, QSize size) {
    const std::size_t element = svg.size();
    svg << "<path";
    if (pen != PenStyle::Solid)
        svg << " class=\"" << penStyleName(pen) << "\"";
    svg << " d=\"";
    const std::size_t data = svg.size();
    appendOutline(svg, rect, penPattern(pen), size.width(), size.height());
    if (svg.size() == data) {
        svg.truncate(element);
        return;
    }
    svg << "\"/>\n";
    svg.flush();
}

} // namespace

void writeSvg(QSize size, bool cleared, std::span<const OutlineLayer> layers, int scale,
              QIODevice& device) {
    SvgText svg(device);
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << qint64(size.width()) * scale
        << "\" height=\"" << qint64(size.height()) * scale << "\" viewBox=\"0 0 "
        << qint64(size.width()) << " " << qint64(size.height())
        << "\" shape-rendering=\"crispEdges\">\n<style>path{fill:none;stroke:#000;stroke-width:1}";
    for (PenStyle pen : {PenStyle::Dashed, PenStyle::Dotted}) {
        const PenPattern pattern = penPattern(pen);
        svg << "." << penStyleName(pen) << "{stroke-dasharray:" << qint64(pattern.on) << " "
            << qint64(pattern.period - pattern.on) << "}";
    }
    // A layer of another colour than black is a group whose paths take that colour.
    const auto colourName = [](QRgb colour) {
        char name[8];
        std::snprintf(name, sizeof name, "#%06x", colour & 0xFFFFFFu);
        return std::string(name);
    };
    for (std::size_t i = 0; i < layers.size(); ++i)
        if ((layers[i].colour & 0xFFFFFFu) != 0)
            svg << ".layer" << qint64(i) << " path{stroke:" << colourName(layers[i].colour) << "}";
    svg << "</style>\n<rect width=\"" << qint64(size.width()) << "\" height=\""
        << qint64(size.height()) << "\" fill=\"#fff\"/>\n";
    if (cleared)
        appendPath(svg, MapRect{0, 0, size.width(), size.height()}, PenStyle::Dashed, size);
    for (std::size_t i = 0; i < layers.size(); ++i) {
        const bool group = (layers[i].colour & 0xFFFFFFu) != 0;
        if (group)
            svg << "<g class=\"layer" << qint64(i) << "\">\n";
        for (const DrawnOutline& outline : layers[i].outlines)
            appendPath(svg, outline.rect, outline.pen, size);
        if (group)
            svg << "</g>\n";
    }
    svg << "</svg>\n";
    svg.flush(true);
}

void writeSvg(const DrawnMap& map, int scale, QIODevice& device) {
    const OutlineLayer black{qRgb(0, 0, 0), map.outlines};
    writeSvg(map.pixels.size(), map.cleared, {&black, 1}, scale, device);
}

} // namespace lyremap
