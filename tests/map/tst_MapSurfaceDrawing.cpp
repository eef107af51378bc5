// The map surface drawing rectangles: outlined and solid blocks, clipping of any 32-bit
// coordinates, swapped edges, gaps and many rectangles against the pixel rule.
#include "MapSurfaceTestSupport.h"
#include "TestSupport.h"

#include <QRandomGenerator>
#include <QTest>

using namespace lyremap;
using namespace lyremap::test;

class MapSurfaceDrawingTest : public QObject {
    Q_OBJECT

private slots:
    void drawRectangle_data();
    void drawRectangle();
    void solidWholeMapCoversBorder();
    void clippedAtRightEdge();
    void swappedEdgesDrawSameBlock();
    void gapsKeepEarlierLines();
    void manyRectanglesAgreeWithRule();
    void readsBetweenDrawingsSeeEverything();
};

void MapSurfaceDrawingTest::drawRectangle_data() {
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

void MapSurfaceDrawingTest::drawRectangle() {
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

void MapSurfaceDrawingTest::solidWholeMapCoversBorder() {
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

void MapSurfaceDrawingTest::clippedAtRightEdge() {
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

void MapSurfaceDrawingTest::swappedEdgesDrawSameBlock() {
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

void MapSurfaceDrawingTest::gapsKeepEarlierLines() {
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

void MapSurfaceDrawingTest::manyRectanglesAgreeWithRule() {
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

void MapSurfaceDrawingTest::readsBetweenDrawingsSeeEverything() {
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

QTEST_GUILESS_MAIN(MapSurfaceDrawingTest)
#include "tst_MapSurfaceDrawing.moc"
