// Copy to clipboard: the order of clipboard calls and closing on every path, the copy being
// separate from the map, and the Qt clipboard's contents afterwards.
#include "FakeClipboard.h"
#include "TestSupport.h"

#include "map/Clipboard.h"
#include "map/ClipboardQt.h"
#include "map/MapSurface.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>

using namespace lyremap;
using lyremap::test::FakeClipboard;

namespace {

// A map as an Open leaves it: reset, with one solid rectangle.
MapSurface drawnMap() {
    MapSurface map;
    map.ResetMap();
    map.SetPenStyle(PenStyle::Solid);
    map.DrawRectangle(MapRect{10, 10, 110, 60});
    return map;
}

} // namespace

// Runs before any QGuiApplication exists.
class ClipboardWithoutApplicationTest : public QObject {
    Q_OBJECT
private slots:
    void cannotBeOpenedWithoutApplication();
};

void ClipboardWithoutApplicationTest::cannotBeOpenedWithoutApplication() {
    ClipboardQt clipboard;
    QVERIFY_THROWS_EXCEPTION(EClipboardException, clipboard.open());
    QVERIFY(!clipboard.isOpen());
    try {
        clipboard.open();
    } catch (const Exception& failure) {
        QCOMPARE(failure.message(), QStringLiteral("Zwischenablage kann nicht geöffnet werden"));
    }
}

class ClipboardTest : public QObject {
    Q_OBJECT
private slots:
    void callsInOrder_data();
    void callsInOrder();
    void copyIsSeparateFromTheMap();
    void copyBitmapOfNothingIsNothing();
    void copyNeverCreatesTheRaster();
    void qtClipboardHoldsTheMap();
    void qtClipboardEmptiedBeforeAnyOpen();
};

void ClipboardTest::callsInOrder_data() {
    QTest::addColumn<bool>("drawn");
    QTest::addColumn<QString>("failAt");
    QTest::addColumn<QString>("message"); // of the failure that escapes; empty for none
    QTest::addColumn<QStringList>("calls");

    const QString bitmap = QStringLiteral("setBitmap 800x600");
    const QString null = QStringLiteral("setBitmap null");
    const QString open = QStringLiteral("open"), empty = QStringLiteral("empty"),
                  close = QStringLiteral("close");
    const QString busy = QStringLiteral("Zwischenablage kann nicht geöffnet werden");
    const QString invalid = QStringLiteral("Bitmap ist ungültig");
    const QString exhausted = QStringLiteral("Systemressourcen erschöpft.");

    QTest::newRow("after an Open")
        << true << QString() << QString() << QStringList{open, empty, bitmap, close};
    QTest::newRow("before any Open")
        << false << QString() << QString() << QStringList{open, empty, null, close};
    QTest::newRow("clipboard busy: nothing else happens")
        << true << open << busy << QStringList{open};
    QTest::newRow("emptying fails: closed")
        << true << empty << exhausted << QStringList{open, empty, close};
    QTest::newRow("handing over fails: closed") << true << QStringLiteral("setBitmap") << invalid
                                                << QStringList{open, empty, bitmap, close};
    QTest::newRow("handing over nothing fails: closed")
        << false << QStringLiteral("setBitmap") << exhausted
        << QStringList{open, empty, null, close};
}

void ClipboardTest::callsInOrder() {
    QFETCH(bool, drawn);
    QFETCH(QString, failAt);
    QFETCH(QString, message);
    QFETCH(QStringList, calls);
    const MapSurface map = drawn ? drawnMap() : MapSurface();
    FakeClipboard clipboard;
    clipboard.failAt = failAt;
    clipboard.failure = message;
    QString escaped;
    try {
        copyMapToClipboard(map, clipboard);
    } catch (const Exception& failure) {
        escaped = failure.message();
    }
    QCOMPARE(escaped, message);
    QCOMPARE(clipboard.calls, calls);
}

void ClipboardTest::copyIsSeparateFromTheMap() {
    MapSurface map = drawnMap();
    FakeClipboard clipboard;
    copyMapToClipboard(map, clipboard);
    const QImage before = map.raster().copy();
    QCOMPARE(clipboard.bitmap, before);

    // Drawing after the copy changes the map but not what was copied.
    map.DrawRectangle(MapRect{200, 200, 300, 300});
    QVERIFY(map.raster() != before);
    QCOMPARE(clipboard.bitmap, before);
}

void ClipboardTest::copyBitmapOfNothingIsNothing() {
    QVERIFY(copyBitmap(QImage()).isNull());
}

void ClipboardTest::copyNeverCreatesTheRaster() {
    MapSurface map;
    FakeClipboard clipboard;
    copyMapToClipboard(map, clipboard);
    QVERIFY(!map.hasRaster());
    QVERIFY(clipboard.bitmap.isNull());
    // The next Open makes the raster at full size as usual.
    map.ResetMap();
    QCOMPARE(map.raster().size(), QSize(800, 600));
}

void ClipboardTest::qtClipboardHoldsTheMap() {
    const MapSurface map = drawnMap();
    QGuiApplication::clipboard()->setText(QStringLiteral("earlier"));
    ClipboardQt clipboard;
    copyMapToClipboard(map, clipboard);
    QVERIFY(!clipboard.isOpen());
    const QMimeData* const data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data);
    QVERIFY(!data->hasText());
    QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
             map.raster());

    // A second Copy replaces the first with the same picture.
    copyMapToClipboard(map, clipboard);
    QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
             map.raster());
}

void ClipboardTest::qtClipboardEmptiedBeforeAnyOpen() {
    QGuiApplication::clipboard()->setText(QStringLiteral("earlier"));
    const MapSurface map;
    ClipboardQt clipboard;
    copyMapToClipboard(map, clipboard);
    const QMimeData* const data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(!data || data->formats().isEmpty());
    QVERIFY(QGuiApplication::clipboard()->image().isNull());
    QVERIFY(QGuiApplication::clipboard()->text().isEmpty());
}

int main(int argc, char* argv[]) {
    ClipboardWithoutApplicationTest withoutApplication;
    int status = QTest::qExec(&withoutApplication, argc, argv);
    QGuiApplication app(argc, argv);
    ClipboardTest withApplication;
    status |= QTest::qExec(&withApplication, argc, argv);
    return status;
}

#include "tst_Clipboard.moc"
