// Open through the viewer's window: a layout loads and shows, a failure beeps and clears the
// map, Cancel changes nothing, a second Open replaces the first, and a walk failing part-way
// keeps what it drew.
#include "MainFormTestSupport.h"

using namespace lyremap;
using namespace lyremap::test;
using namespace Qt::StringLiterals;

class MainFormOpenTest : public MainFormFixture {
    Q_OBJECT
private slots:
    void openLoads();
    void openFailureBeepsAndClears();
    void cancelChangesNothing();
    void secondOpenClearsTheFirst();
    void failureMidWalkKeepsWhatWasDrawn();
};

void MainFormOpenTest::openLoads() {
    const QString path = example("dialog.xml");
    openFile(path);
    QCOMPARE(form_->statusText(), path + QStringLiteral(" loaded."));
    QCOMPARE(statusField(*form_)->text(), form_->statusText());
    QCOMPARE(beeps_, 0);
    QVERIFY(form_->xmlDoc->document.Active());
    QCOMPARE(form_->xmlDoc->document.FileName(), path);
    const QImage expected = renderedMap(path);
    QCOMPARE(form_->surface().raster(), expected);
    QCOMPARE(shownMap(*form_), expected);
}

void MainFormOpenTest::openFailureBeepsAndClears() {
    ScratchDir dir;
    openFile(example("dialog.xml"));
    const QString missing = dir.path(QStringLiteral("missing.xml"));
    openFile(missing);
    // The status says which file was opened when the beep is missing.
    QVERIFY2(beeps_ == 1, qPrintable(form_->statusText()));
    QVERIFY2(form_->statusText().startsWith(missing + QStringLiteral(" failed: ")),
             qPrintable(form_->statusText()));
    // The loader's message, unchanged: no full stop is added in the status bar.
    QCOMPARE(form_->statusText(),
             missing + QStringLiteral(" failed: Die Datei existiert nicht\r\nLinie: 0\r\n"));
    QVERIFY(!form_->xmlDoc->document.Active());
    QCOMPARE(shownMap(*form_), resetMap());
}

void MainFormOpenTest::cancelChangesNothing() {
    // Cancelled before any Open: no raster is made, the area stays blank.
    open(DialogAnswer::cancel());
    QVERIFY(!form_->surface().hasRaster());
    QVERIFY(form_->statusText().isEmpty());

    const QString path = example("toolbar.xml");
    openFile(path);
    const QString status = form_->statusText();
    const QImage map = form_->surface().raster().copy();
    open(DialogAnswer::cancel());
    QCOMPARE(form_->statusText(), status);
    QCOMPARE(form_->surface().raster(), map);
    QCOMPARE(shownMap(*form_), map);
    QVERIFY(form_->xmlDoc->document.Active());
    QCOMPARE(form_->xmlDoc->document.FileName(), path);
    QCOMPARE(beeps_, 0);
}

void MainFormOpenTest::secondOpenClearsTheFirst() {
    openFile(example("dialog.xml"));
    const QString second = example("toolbar.xml");
    openFile(second);
    QCOMPARE(form_->statusText(), second + QStringLiteral(" loaded."));
    QCOMPARE(shownMap(*form_), renderedMap(second));
    // Opening the same file again gives the same map.
    openFile(second);
    QCOMPARE(shownMap(*form_), renderedMap(second));
}

void MainFormOpenTest::failureMidWalkKeepsWhatWasDrawn() {
    const QString path = example("dialog.xml");
    FailingTarget failing(form_->surface(), 3);
    form_->setDrawingTarget(&failing);
    openFile(path);
    form_->setDrawingTarget(nullptr);
    QCOMPARE(beeps_, 1);
    QCOMPARE(form_->statusText(),
             path + QStringLiteral(" failed: Leinwand/Bild erlaubt kein Zeichnen"));

    // The map shows exactly the first three rectangles of the walk on the reset map.
    MapSurface expected;
    FailingTarget reference(expected, 3);
    XmlDocument document;
    OpenLayout(document, reference, path);
    QVERIFY(expected.raster() != resetMap());
    QVERIFY(expected.raster() != renderedMap(path));
    QCOMPARE(form_->surface().raster(), expected.raster());
    QTRY_COMPARE(shownMap(*form_), expected.raster());
}

int main(int argc, char* argv[]) {
    return runMainFormTest<MainFormOpenTest>(argc, argv);
}

#include "tst_MainFormOpen.moc"
