// What the map surface tests share: pixel rules for reset maps and outlined rectangles, image
// comparison, and a view that records the surface's notifications.
#pragma once

#include "base/Exception.h"
#include "map/MapSurface.h"

#include <QImage>
#include <QStringList>
#include <QTest>

#include <algorithm>
#include <cstdint>
#include <limits>

Q_DECLARE_METATYPE(lyremap::MapRect)
Q_DECLARE_METATYPE(lyremap::PenStyle)

namespace lyremap::test {

inline constexpr QRgb Black = 0xFF000000u;
inline constexpr QRgb White = 0xFFFFFFFFu;
inline constexpr std::int32_t Min = std::numeric_limits<std::int32_t>::min();
inline constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();

inline bool penOn(PenStyle pen, std::int64_t offset) {
    switch (pen) {
    case PenStyle::Solid:
        return true;
    case PenStyle::Dashed:
        return offset % 24 < 18;
    case PenStyle::Dotted:
        return offset % 6 < 3;
    }
    return true;
}

// Paints the expected result of outlining RECT on IMAGE, deciding pixel by pixel which part of
// the block each map pixel belongs to.
inline void expectOutline(QImage& image, const MapRect& rect, PenStyle pen, bool whiteFill) {
    std::int64_t left = std::min<std::int64_t>(rect.Left, rect.Right);
    std::int64_t right = std::max<std::int64_t>(rect.Left, rect.Right);
    std::int64_t top = std::min<std::int64_t>(rect.Top, rect.Bottom);
    std::int64_t bottom = std::max<std::int64_t>(rect.Top, rect.Bottom);
    for (int y = 0; y < image.height(); ++y) {
        if (y < top || y >= bottom)
            continue;
        for (int x = 0; x < image.width(); ++x) {
            if (x < left || x >= right)
                continue;
            bool onEdge = true;
            std::int64_t offset = 0;
            if (y == top || y == bottom - 1)
                offset = x - left;
            else if (x == left || x == right - 1)
                offset = y - top;
            else
                onEdge = false;
            if (onEdge && penOn(pen, offset))
                image.setPixel(x, y, Black);
            else if (whiteFill)
                image.setPixel(x, y, White);
        }
    }
}

inline QImage whiteImage(QSize size = QSize(800, 600)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(White);
    return image;
}

// What a fresh ResetMap should leave.
inline QImage expectedResetMap(QSize size = QSize(800, 600)) {
    QImage image = whiteImage(size);
    expectOutline(image, MapRect{0, 0, size.width(), size.height()}, PenStyle::Dashed, true);
    return image;
}

// Empty when the images agree; otherwise the number and first position of differing pixels.
inline QString difference(const QImage& actual, const QImage& expected) {
    if (actual.size() != expected.size() || actual.format() != expected.format())
        return QStringLiteral("size or format differs");
    int count = 0;
    QString first;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (actual.pixel(x, y) != expected.pixel(x, y) && count++ == 0)
                first = QStringLiteral("(%1,%2) is %3, expected %4")
                            .arg(x)
                            .arg(y)
                            .arg(actual.pixel(x, y), 8, 16)
                            .arg(expected.pixel(x, y), 8, 16);
    return count ? QStringLiteral("%1 pixels differ, first %2").arg(count).arg(first) : QString();
}

inline bool onlyBlackAndWhite(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] != Black && line[x] != White)
                return false;
    }
    return true;
}

inline int blackCount(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == Black;
    return count;
}

#define COMPARE_IMAGES(actual, expected)                                                           \
    do {                                                                                           \
        const QString diff = difference(actual, expected);                                         \
        QVERIFY2(diff.isEmpty(), qPrintable(diff));                                                \
    } while (false)

inline const QString Changed = QStringLiteral("changed");
inline const QString Refresh = QStringLiteral("refresh");

class RecordingView final : public MapView {
public:
    void mapChanged() override { events << Changed; }
    void mapRefresh() override { events << Refresh; }
    QStringList events;
};

} // namespace lyremap::test
