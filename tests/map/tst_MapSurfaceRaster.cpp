// The map surface's raster: pixels of reset maps, raster sizes around word edges, the drawing
// state across resets, repaint notifications, held copies and raster creation failures.
#include "MapSurfaceTestSupport.h"
#include "TestSupport.h"

#include <QRandomGenerator>
#include <QTest>

using namespace lyremap;
using namespace lyremap::test;

class MapSurfaceRasterTest : public QObject {
    Q_OBJECT

private slots:
    void neverReset();
    void resetMap();
    void resetMapOtherSize();
    void rasterSizesAroundWordEdges_data();
    void rasterSizesAroundWordEdges();
    void secondResetErases();
    void notifications();
    void heldCopyUnchanged();
    void creationFailure_data();
    void creationFailure();
};

void MapSurfaceRasterTest::neverReset() {
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

void MapSurfaceRasterTest::resetMap() {
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

void MapSurfaceRasterTest::resetMapOtherSize() {
    MapSurface surface(QSize(50, 40));
    surface.ResetMap();
    QCOMPARE(surface.raster().size(), QSize(50, 40));
    COMPARE_IMAGES(surface.raster(), expectedResetMap(QSize(50, 40)));
}

void MapSurfaceRasterTest::rasterSizesAroundWordEdges_data() {
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

void MapSurfaceRasterTest::rasterSizesAroundWordEdges() {
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

void MapSurfaceRasterTest::secondResetErases() {
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

void MapSurfaceRasterTest::notifications() {
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

void MapSurfaceRasterTest::heldCopyUnchanged() {
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

void MapSurfaceRasterTest::creationFailure_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("empty") << QSize(0, 0);
    QTest::newRow("negative") << QSize(-5, 600);
    QTest::newRow("int max square") << QSize(Max, Max);
    QTest::newRow("too wide") << QSize(Max, 1);
}

void MapSurfaceRasterTest::creationFailure() {
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

QTEST_GUILESS_MAIN(MapSurfaceRasterTest)
#include "tst_MapSurfaceRaster.moc"
