#include "render/PointQuery.h"

#include <QStringList>

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

std::vector<QString> framesAt(const FrameLog& log, MapPoint point, const QString& path) {
    std::vector<QString> lines;
    for (const FrameLog::Frame& frame : log.frames())
        if (holds(frame.rect, point))
            // Joined, not formatted: PATH may hold a '%'.
            lines.push_back(
                path + u':' + QString::number(frame.position.line) + u':' +
                QString::number(frame.position.column) + QStringLiteral(": frame ") +
                QString::number(frame.rect.Left) + u' ' + QString::number(frame.rect.Top) + u' ' +
                QString::number(frame.rect.Right) + u' ' + QString::number(frame.rect.Bottom) +
                u' ' + QString::fromLatin1(penStyleName(frame.pen)) + u' ' + log.xpath(frame.step) +
                u'\n');
    return lines;
}

} // namespace lyremap
