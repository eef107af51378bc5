// The map surface: pixels of reset maps and outlined rectangles, clipping of any 32-bit
// coordinates, the drawing state, repaint notifications and raster creation failures.
#include "TestSupport.h"

#include "base/Exception.h"
#include "map/MapSurface.h"

#include <QImage>
#include <QRandomGenerator>
#include <QStringList>
#include <QTest>

#include <algorithm>
#include <cstdint>
#include <limits>

using namespace lyremap;

Q_DECLARE_METATYPE(lyremap::MapRect)
Q_DECLARE_METATYPE(lyremap::PenStyle)

namespace {

constexpr QRgb Black = 0xFF000000u;
constexpr QRgb White = 0xFFFFFFFFu;
constexpr std::int32_t Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();

bool penOn(PenStyle pen, std::int64_t offset) {
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
void expectOutline(QImage& image, const MapRect& rect, PenStyle pen, bool whiteFill) {
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

QImage whiteImage(QSize size = QSize(800, 600)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(White);
    return image;
}

// What a fresh ResetMap should leave.
QImage expectedResetMap(QSize size = QSize(800, 600)) {
    QImage image = whiteImage(size);
    expectOutline(image, MapRect{0, 0, size.width(), size.height()}, PenStyle::Dashed, true);
    return image;
}

// Empty when the images agree; otherwise the number and first position of differing pixels.
QString difference(const QImage& actual, const QImage& expected) {
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

bool onlyBlackAndWhite(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] != Black && line[x] != White)
                return false;
    }
    return true;
}

int blackCount(const QImage& image) {
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

const QString Changed = QStringLiteral("changed");
const QString Refresh = QStringLiteral("refresh");

class RecordingView final : public MapView {
public:
    void mapChanged() override { events << Changed; }
    void mapRefresh() override { events << Refresh; }
    QStringList events;
};

} // namespace

class MapSurfaceTest : public QObject {
    Q_OBJECT

private slots:
    void neverReset();
    void resetMap();
    void resetMapOtherSize();
    void drawRectangle_data();
    void drawRectangle();
    void solidWholeMapCoversBorder();
    void clippedAtRightEdge();
    void swappedEdgesDrawSameBlock();
    void gapsKeepEarlierLines();
    void manyRectanglesAgreeWithRule();
    void readsBetweenDrawingsSeeEverything();
    void rasterSizesAroundWordEdges_data();
    void rasterSizesAroundWordEdges();
    void secondResetErases();
    void notifications();
    void heldCopyUnchanged();
    void creationFailure_data();
    void creationFailure();
};

void MapSurfaceTest::neverReset() {
    MapSurface surface;
    QVERIFY(!surface.hasRaster());
    QVERIFY(surface.raster().isNull());
    QCOMPARE(surface.size(), QSize(800, 600));
    QCOMPARE(surface.penStyle(), PenStyle::Solid);
    QVERIFY(surface.fillsWhite());
    try {
        surface.DrawRectangle(MapRect{10, 10, 20, 20});
        QFAIL("drawing without a raster must fail");
    } catch (const Exception& failure) {
        QCOMPARE(failure.message(), QStringLiteral("Leinwand/Bild erlaubt kein Zeichnen"));
    }
    QVERIFY(!surface.hasRaster());
}

void MapSurfaceTest::resetMap() {
    MapSurface surface;
    surface.SetPenStyle(PenStyle::Dotted);
    surface.ResetMap();
    QVERIFY(surface.hasRaster());
    const QImage& map = surface.raster();
    QCOMPARE(map.format(), QImage::Format_RGB32);
    QCOMPARE(map.size(), QSize(800, 600));
    QCOMPARE(surface.penStyle(), PenStyle::Dashed);
    QVERIFY(!surface.fillsWhite());

    // Dashes of 18 and gaps of 6 from the top-left corner, along both edges through it.
    QCOMPARE(map.pixel(0, 0), Black);
    QCOMPARE(map.pixel(17, 0), Black);
    QCOMPARE(map.pixel(18, 0), White);
    QCOMPARE(map.pixel(23, 0), White);
    QCOMPARE(map.pixel(24, 0), Black);
    QCOMPARE(map.pixel(0, 17), Black);
    QCOMPARE(map.pixel(0, 18), White);
    QCOMPARE(map.pixel(0, 24), Black);
    // The far edges keep the phase of the top-left corner: column 799 is 7 into a dash.
    QCOMPARE(map.pixel(799, 0), Black);
    QCOMPARE(map.pixel(799, 599), Black);
    QCOMPARE(map.pixel(0, 599), Black);
    QCOMPARE(map.pixel(785, 599), Black);
    QCOMPARE(map.pixel(786, 599), White);
    QCOMPARE(map.pixel(799, 18), White);
    QCOMPARE(map.pixel(1, 1), White);
    QCOMPARE(map.pixel(400, 300), White);
    COMPARE_IMAGES(map, expectedResetMap());
}

void MapSurfaceTest::resetMapOtherSize() {
    MapSurface surface(QSize(50, 40));
    surface.ResetMap();
    QCOMPARE(surface.raster().size(), QSize(50, 40));
    COMPARE_IMAGES(surface.raster(), expectedResetMap(QSize(50, 40)));
}

void MapSurfaceTest::drawRectangle_data() {
    QTest::addColumn<PenStyle>("pen");
    QTest::addColumn<MapRect>("rect");

    const auto row = [](const char* name, PenStyle pen, MapRect rect) {
        QTest::newRow(name) << pen << rect;
    };
    row("solid inside", PenStyle::Solid, {10, 10, 110, 60});
    row("dotted inside", PenStyle::Dotted, {10, 10, 110, 60});
    row("dashed inside", PenStyle::Dashed, {100, 50, 400, 250});
    row("dotted odd size", PenStyle::Dotted, {3, 5, 41, 34});
    row("right edge clipped", PenStyle::Solid, {790, 10, 890, 60});
    row("bottom edge clipped", PenStyle::Dotted, {10, 590, 60, 700});
    row("negative left and top", PenStyle::Dotted, {-10, -7, 30, 40});
    row("negative, only far edges visible", PenStyle::Dashed, {-100, -100, 50, 70});
    row("wholly left of map", PenStyle::Solid, {-200, 10, -100, 60});
    row("wholly below map", PenStyle::Solid, {10, 600, 60, 700});
    row("ends just before map", PenStyle::Solid, {-50, -50, 0, 0});
    row("starts just after map", PenStyle::Solid, {800, 600, 900, 700});
    row("around the map", PenStyle::Solid, {-1, -1, 801, 601});
    row("zero width", PenStyle::Solid, {10, 10, 10, 60});
    row("zero height", PenStyle::Solid, {10, 10, 60, 10});
    row("negative width", PenStyle::Dotted, {110, 10, 80, 60});
    row("negative width and height", PenStyle::Dashed, {300, 200, 10, 10});
    row("width 1", PenStyle::Dotted, {20, 10, 21, 60});
    row("height 1", PenStyle::Dotted, {10, 20, 60, 21});
    row("width 2", PenStyle::Dotted, {20, 10, 22, 60});
    row("height 2", PenStyle::Dashed, {10, 20, 60, 22});
    row("one pixel", PenStyle::Dotted, {5, 5, 6, 6});
    row("whole int32 range", PenStyle::Solid, {Min, Min, Max, Max});
    row("whole int32 range dotted", PenStyle::Dotted, {Min, Min, Max, Max});
    row("int32 range swapped", PenStyle::Dashed, {Max, Max, Min, Min});
    row("from INT32_MIN across map", PenStyle::Dashed, {Min, 100, 400, 300});
    row("to INT32_MAX across map", PenStyle::Dotted, {300, Min, Max, 200});
    row("INT32_MIN width", PenStyle::Dotted, {Min, Min, Min + 1000, Min + 1000});
    row("INT32_MAX corner", PenStyle::Solid, {Max - 10, Max - 10, Max, Max});
    row("extreme, zero width", PenStyle::Solid, {Max, Min, Max, Max});
    row("extreme, far edge near map", PenStyle::Dotted, {Min, Min, 5, 7});
}

void MapSurfaceTest::drawRectangle() {
    QFETCH(PenStyle, pen);
    QFETCH(MapRect, rect);

    MapSurface surface;
    surface.ResetMap();
    surface.SetPenStyle(pen);
    surface.DrawRectangle(rect);
    QCOMPARE(surface.penStyle(), pen);

    QImage expected = expectedResetMap();
    expectOutline(expected, rect, pen, false);
    COMPARE_IMAGES(surface.raster(), expected);
    QVERIFY(onlyBlackAndWhite(surface.raster()));
    QCOMPARE(surface.raster().size(), QSize(800, 600));
}

void MapSurfaceTest::solidWholeMapCoversBorder() {
    MapSurface surface;
    surface.ResetMap();
    surface.SetPenStyle(PenStyle::Solid);
    surface.DrawRectangle(MapRect{0, 0, 800, 600});
    const QImage& map = surface.raster();
    QCOMPARE(blackCount(map), 2 * 800 + 2 * 598);
    for (int x = 0; x < 800; ++x)
        QVERIFY(map.pixel(x, 0) == Black && map.pixel(x, 599) == Black);
    for (int y = 0; y < 600; ++y)
        QVERIFY(map.pixel(0, y) == Black && map.pixel(799, y) == Black);
}

void MapSurfaceTest::clippedAtRightEdge() {
    MapSurface surface;
    surface.ResetMap();
    QImage before = surface.raster();
    surface.SetPenStyle(PenStyle::Solid);
    surface.DrawRectangle(MapRect{790, 100, 890, 200});
    const QImage& map = surface.raster();
    for (int y = 100; y < 200; ++y)
        QCOMPARE(map.pixel(790, y), Black);
    for (int x = 790; x < 800; ++x)
        QVERIFY(map.pixel(x, 100) == Black && map.pixel(x, 199) == Black);
    // Only the left edge and the visible parts of top and bottom changed; the map's own right
    // border (column 799, dashed) keeps its gaps between them.
    int changedPixels = 0;
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x)
            changedPixels += map.pixel(x, y) != before.pixel(x, y);
    const int borderDashes = 2; // rows 100 and 199 of column 799 are already black
    QCOMPARE(changedPixels, 100 + 2 * 9 - borderDashes);
    QCOMPARE(map.pixel(799, 162), White); // row 162 starts a gap of the border
}

void MapSurfaceTest::swappedEdgesDrawSameBlock() {
    MapSurface forward;
    forward.ResetMap();
    forward.SetPenStyle(PenStyle::Dotted);
    forward.DrawRectangle(MapRect{37, 41, 211, 157});

    MapSurface swapped;
    swapped.ResetMap();
    swapped.SetPenStyle(PenStyle::Dotted);
    swapped.DrawRectangle(MapRect{211, 157, 37, 41});
    COMPARE_IMAGES(swapped.raster(), forward.raster());
    QVERIFY(difference(forward.raster(), expectedResetMap()) != QString());
}

void MapSurfaceTest::gapsKeepEarlierLines() {
    MapSurface surface;
    surface.ResetMap();
    surface.SetPenStyle(PenStyle::Solid);
    surface.DrawRectangle(MapRect{100, 100, 500, 300});
    // One dotted rectangle shares the solid top row; the other's bottom row crosses the solid
    // right edge in a gap (column 499 is 479 into its pattern).
    surface.SetPenStyle(PenStyle::Dotted);
    surface.DrawRectangle(MapRect{50, 100, 450, 200});
    surface.DrawRectangle(MapRect{20, 47, 600, 250});
    const QImage& map = surface.raster();
    for (int x = 100; x < 500; ++x)
        QCOMPARE(map.pixel(x, 100), Black);
    for (int y = 100; y < 300; ++y)
        QVERIFY(map.pixel(100, y) == Black && map.pixel(499, y) == Black);
    // The dotted lines' own gaps stay white where nothing was drawn before.
    QCOMPARE(map.pixel(53, 100), White);
    QCOMPARE(map.pixel(20, 47 + 3), White);
    QCOMPARE(map.pixel(498, 249), White);
}

void MapSurfaceTest::manyRectanglesAgreeWithRule() {
    // Rectangles of every pen and orientation around the map's edges, drawn over one another.
    QRandomGenerator random(20240611);
    MapSurface surface;
    surface.ResetMap();
    QImage expected = expectedResetMap();
    const PenStyle pens[] = {PenStyle::Solid, PenStyle::Dashed, PenStyle::Dotted};
    for (int i = 0; i < 60; ++i) {
        const PenStyle pen = pens[random.bounded(3)];
        const MapRect rect{random.bounded(-60, 860), random.bounded(-60, 660),
                           random.bounded(-60, 860), random.bounded(-60, 660)};
        surface.SetPenStyle(pen);
        surface.DrawRectangle(rect);
        expectOutline(expected, rect, pen, false);
    }
    COMPARE_IMAGES(surface.raster(), expected);
    QVERIFY(onlyBlackAndWhite(surface.raster()));
}

void MapSurfaceTest::readsBetweenDrawingsSeeEverything() {
    // Every read of the raster and every refresh shows all that was drawn before it, and a copy
    // taken at one point keeps exactly the pixels of that point.
    QRandomGenerator random(20261209);
    RecordingView view;
    MapSurface surface;
    surface.setView(&view);
    surface.ResetMap();
    QImage expected = expectedResetMap();
    const PenStyle pens[] = {PenStyle::Solid, PenStyle::Dashed, PenStyle::Dotted};
    for (int round = 0; round < 8; ++round) {
        for (int i = 0; i < 10; ++i) {
            const PenStyle pen = pens[random.bounded(3)];
            const MapRect rect{random.bounded(-60, 860), random.bounded(-60, 660),
                               random.bounded(-60, 860), random.bounded(-60, 660)};
            surface.SetPenStyle(pen);
            surface.DrawRectangle(rect);
            expectOutline(expected, rect, pen, false);
        }
        const QImage copy = surface.raster();
        const QImage expectedThen = expected.copy();
        COMPARE_IMAGES(copy, expectedThen);
        if (round % 2 == 1)
            surface.RefreshMap();
        surface.SetPenStyle(PenStyle::Solid);
        surface.DrawRectangle(MapRect{0, 0, 800, 600});
        expectOutline(expected, MapRect{0, 0, 800, 600}, PenStyle::Solid, false);
        COMPARE_IMAGES(surface.raster(), expected);
        COMPARE_IMAGES(copy, expectedThen);
    }
}

void MapSurfaceTest::rasterSizesAroundWordEdges_data() {
    // Outlines are gathered 64 pixels to a word, by rows and by columns: sizes just around a
    // word's end, and runs that start and end anywhere in a word.
    QTest::addColumn<QSize>("size");
    QTest::newRow("1 by 1") << QSize(1, 1);
    QTest::newRow("63 by 65") << QSize(63, 65);
    QTest::newRow("64 by 64") << QSize(64, 64);
    QTest::newRow("65 by 63") << QSize(65, 63);
    QTest::newRow("130 by 3") << QSize(130, 3);
    QTest::newRow("3 by 200") << QSize(3, 200);
}

void MapSurfaceTest::rasterSizesAroundWordEdges() {
    QFETCH(QSize, size);
    QRandomGenerator random(quint32(size.width() * 1000 + size.height()));
    MapSurface surface(size);
    surface.ResetMap();
    QImage expected = expectedResetMap(size);
    const PenStyle pens[] = {PenStyle::Solid, PenStyle::Dashed, PenStyle::Dotted};
    const int w = size.width(), h = size.height();
    for (int i = 0; i < 80; ++i) {
        const PenStyle pen = pens[random.bounded(3)];
        const MapRect rect{random.bounded(-70, w + 70), random.bounded(-70, h + 70),
                           random.bounded(-70, w + 70), random.bounded(-70, h + 70)};
        surface.SetPenStyle(pen);
        surface.DrawRectangle(rect);
        expectOutline(expected, rect, pen, false);
    }
    COMPARE_IMAGES(surface.raster(), expected);
}

void MapSurfaceTest::secondResetErases() {
    MapSurface surface;
    surface.ResetMap();
    const uchar* const pixels = surface.raster().constBits();
    surface.SetPenStyle(PenStyle::Solid);
    surface.DrawRectangle(MapRect{10, 10, 300, 200});
    surface.DrawRectangle(MapRect{0, 0, 800, 600});
    surface.ResetMap();
    COMPARE_IMAGES(surface.raster(), expectedResetMap());
    // The same raster, not a replacement.
    QVERIFY(surface.raster().constBits() == pixels);
    QVERIFY(!surface.fillsWhite());
}

void MapSurfaceTest::notifications() {
    RecordingView view;
    MapSurface surface;
    surface.setView(&view);
    surface.ResetMap();
    QCOMPARE(view.events, QStringList({Changed, Refresh}));

    view.events.clear();
    surface.DrawRectangle(MapRect{10, 10, 50, 50});
    surface.DrawRectangle(MapRect{20, 20, 60, 60});
    QCOMPARE(view.events, QStringList({Changed}));
    surface.RefreshMap();
    surface.DrawRectangle(MapRect{30, 30, 70, 70});
    QCOMPARE(view.events, QStringList({Changed, Refresh, Changed}));

    // Drawing nothing visible changes nothing and asks for no repaint.
    view.events.clear();
    surface.RefreshMap();
    surface.DrawRectangle(MapRect{-100, -100, -10, -10});
    surface.DrawRectangle(MapRect{30, 30, 30, 70});
    QCOMPARE(view.events, QStringList({Refresh}));

    // A change left pending before a reset is served by the reset's own refresh.
    view.events.clear();
    surface.DrawRectangle(MapRect{30, 30, 70, 70});
    surface.ResetMap();
    surface.DrawRectangle(MapRect{30, 30, 70, 70});
    QCOMPARE(view.events, QStringList({Changed, Refresh, Changed}));
}

void MapSurfaceTest::heldCopyUnchanged() {
    MapSurface surface;
    surface.ResetMap();
    const QImage copy = surface.raster();
    surface.SetPenStyle(PenStyle::Solid);
    surface.DrawRectangle(MapRect{100, 100, 200, 200});
    QCOMPARE(surface.raster().pixel(100, 150), Black);
    QCOMPARE(copy.pixel(100, 150), White);
    COMPARE_IMAGES(copy, expectedResetMap());

    // The same after the next reset's fill.
    const QImage second = surface.raster();
    surface.ResetMap();
    QCOMPARE(second.pixel(100, 150), Black);
    QCOMPARE(surface.raster().pixel(100, 150), White);
}

void MapSurfaceTest::creationFailure_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("empty") << QSize(0, 0);
    QTest::newRow("negative") << QSize(-5, 600);
    QTest::newRow("int max square") << QSize(Max, Max);
    QTest::newRow("too wide") << QSize(Max, 1);
}

void MapSurfaceTest::creationFailure() {
    QFETCH(QSize, size);
    RecordingView view;
    MapSurface surface(size);
    surface.setView(&view);
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            surface.ResetMap();
            QFAIL("creating an impossible raster must fail");
        } catch (const Exception& failure) {
            QCOMPARE(failure.message(), QStringLiteral("Systemressourcen erschöpft."));
        }
        QVERIFY(!surface.hasRaster());
    }
    QVERIFY_THROWS_EXCEPTION(Exception, surface.DrawRectangle(MapRect{0, 0, 10, 10}));
    QVERIFY(view.events.isEmpty());
}

QTEST_GUILESS_MAIN(MapSurfaceTest)
#include "tst_MapSurface.moc"
