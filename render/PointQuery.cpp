#include "render/PointQuery.h"

#include "render/XPathCache.h"

#include <QStringList>
#include <charconv>

namespace lyremap {

std::optional<MapPoint> parseMapPoint(const QString& text) {
    const QStringList parts = text.split(u',');
    if (parts.size() != 2)
        return std::nullopt;
    bool okX = false;
    bool okY = false;
    // toInt accepts spaces around the number; a coordinate is digits with an optional sign.
    const auto plain = [](const QString& part) {
        return !part.isEmpty() && !part.front().isSpace() && !part.back().isSpace();
    };
    const MapPoint point{parts[0].toInt(&okX, 10), parts[1].toInt(&okY, 10)};
    if (!okX || !okY || !plain(parts[0]) || !plain(parts[1]))
        return std::nullopt;
    return point;
}

bool holds(const MapRect& rect, MapPoint point) {
    const PixelBlock block = pixelBlock(rect);
    return block.Left <= point.x && point.x < block.Right && block.Top <= point.y &&
           point.y < block.Bottom;
}

std::size_t writeFramesAt(std::FILE* stream, const FrameLog& log, MapPoint point,
                          const QString& path) {
    // Written in pieces: every frame of a layout may hold the point.
    std::string out;
    std::vector<std::string> names;
    for (const QString& name : log.names())
        names.push_back(name.toStdString());
    // A point on a busy part of a large map may lie in tens of thousands of frames.
    XPathCache paths(log, std::move(names));
    const std::string file = path.toStdString();
    std::size_t listed = 0;
    const auto number = [&out](std::int64_t value) {
        char digits[24];
        out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    };
    for (const FrameLog::Frame& frame : log.frames()) {
        if (!holds(frame.rect, point))
            continue;
        out += file;
        out += ':';
        number(frame.position.line);
        out += ':';
        number(frame.position.column);
        out += ": frame ";
        for (const std::int32_t edge :
             {frame.rect.Left, frame.rect.Top, frame.rect.Right, frame.rect.Bottom}) {
            number(edge);
            out += ' ';
        }
        out += penStyleName(frame.pen);
        out += ' ';
        paths.append(out, frame.step);
        out += '\n';
        ++listed;
        if (out.size() >= 1 << 16) {
            std::fwrite(out.data(), 1, out.size(), stream);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stream);
    return listed;
}

} // namespace lyremap
