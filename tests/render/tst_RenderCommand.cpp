// lyremap-render as a script runs it: arguments, output, exit status and the PNG it writes.
#include "TestSupport.h"

#include "layout/OpenLayout.h"
#include "map/MapSurface.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTest>

using namespace lyremap;
using lyremap::test::ScratchDir;

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run render(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(LYREMAP_RENDER_EXE), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        qFatal("lyremap-render did not finish normally");
    return Run{process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

QString example(const char* name) {
    return test::sourceDir() + QStringLiteral("/examples/") + QString::fromUtf8(name);
}

// A layout with a misspelt closing tag on line 6.
QString brokenLayout() {
    return test::sourceDir() + QStringLiteral("/tests/render/data/broken.xml");
}

// The map an open draws in this process, for comparison with the command's PNG.
QImage mapOf(const QString& path) {
    MapSurface surface;
    XmlDocument doc;
    OpenLayout(doc, surface, path);
    return surface.raster();
}

bool samePixels(const QImage& a, const QImage& b) {
    return a.size() == b.size() &&
           a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

} // namespace

class RenderCommandTest : public QObject {
    Q_OBJECT

private slots:
    void traceIsExact();
    void everyExampleLoads();
    void statusAndExitCode_data();
    void statusAndExitCode();
    void pngMatchesTheMap_data();
    void pngMatchesTheMap();
    void pngAfterAFailedOpen();
    void readmePictureIsCurrent();
    void badArguments_data();
    void badArguments();
    void unwritableOutput();
    void helpAndVersion();
};

void RenderCommandTest::traceIsExact() {
    ScratchDir dir;
    const QString path = dir.write(
        QStringLiteral("t.xml"),
        "<widget_description><widget><frame x='10' y='10' width='100' height='50' border='yes'/>"
        "<widget><frame x='-5' y='2147483647'/></widget></widget><widget/></widget_description>");
    const Run run = render({QStringLiteral("--trace"), path});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, "ResetMap\n"
                      "SetPenStyle solid\n"
                      "DrawRectangle 10 10 110 60\n"
                      "SetPenStyle dotted\n"
                      "DrawRectangle 5 10 29 34\n"
                      "RefreshMap\n" +
                          path.toUtf8() + " loaded.\n");
    QVERIFY(run.err.isEmpty());
}

void RenderCommandTest::everyExampleLoads() {
    const QDir examples(test::sourceDir() + QStringLiteral("/examples"));
    const QStringList layouts = examples.entryList({QStringLiteral("*.xml")}, QDir::Files);
    QVERIFY(layouts.size() >= 3);
    for (const QString& name : layouts) {
        const QString path = examples.absoluteFilePath(name);
        const Run run = render({QStringLiteral("--trace"), path});
        QCOMPARE(run.status, 0);
        const QList<QByteArray> lines = run.out.split('\n');
        QCOMPARE(lines.first(), QByteArray("ResetMap"));
        QVERIFY2(lines.count("SetPenStyle solid") + lines.count("SetPenStyle dotted") > 3,
                 qPrintable(name));
        QCOMPARE(lines.at(lines.size() - 3), QByteArray("RefreshMap"));
        QCOMPARE(lines.at(lines.size() - 2), path.toUtf8() + " loaded.");
    }
}

void RenderCommandTest::statusAndExitCode_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("tail"); // what follows the absolute path on stdout
    QTest::newRow("loaded") << QByteArray("<widget_description/>") << 0 << QByteArray(" loaded.\n");
    QTest::newRow("parse failure keeps its line breaks")
        << QByteArray("<widget_description>\n<widget>\n</widget_description>") << 1
        << QByteArray(" failed: Opening and ending tag mismatch: widget line 2 and "
                      "widget_description\r\nLinie: 3\r\n</widget_description>\n");
    QTest::newRow("no root element")
        << QByteArray("<layout/>") << 1
        << QByteArray(" failed: Das Dokument hat kein Element widget_description auf oberster "
                      "Ebene\n");
}

void RenderCommandTest::statusAndExitCode() {
    QFETCH(QByteArray, content);
    QFETCH(int, status);
    QFETCH(QByteArray, tail);
    ScratchDir dir;
    const QString path = dir.write(QStringLiteral("s.xml"), content);
    const Run run = render({path});
    QCOMPARE(run.status, status);
    QCOMPARE(run.out, path.toUtf8() + tail);
    // libxml2 reports through our collector only: nothing reaches stderr.
    QCOMPARE(run.err, QByteArray());
}

void RenderCommandTest::pngMatchesTheMap_data() {
    QTest::addColumn<QString>("layout");
    for (const char* name : {"dialog.xml", "toolbar.xml", "nested_panels.xml"})
        QTest::newRow(name) << example(name);
}

void RenderCommandTest::pngMatchesTheMap() {
    QFETCH(QString, layout);
    ScratchDir dir;
    const QString png = dir.path(QStringLiteral("map.png"));
    const Run run = render({QStringLiteral("--output"), png, layout});
    QCOMPARE(run.status, 0);
    const QImage written(png);
    QCOMPARE(written.size(), QSize(800, 600));
    QVERIFY(samePixels(written, mapOf(layout)));
    // Frames were drawn: the picture is not the bare cleared map.
    const QString empty = dir.write(QStringLiteral("empty.xml"), "<widget_description/>");
    QVERIFY(!samePixels(written, mapOf(empty)));
}

void RenderCommandTest::pngAfterAFailedOpen() {
    ScratchDir dir;
    const QString png = dir.path(QStringLiteral("failed.png"));
    const Run run = render({QStringLiteral("--output=") + png, brokenLayout()});
    QCOMPARE(run.status, 1);
    const QImage written(png);
    QCOMPARE(written.size(), QSize(800, 600));
    // The cleared map: white inside, dashed border.
    QCOMPARE(written.pixel(400, 300), qRgb(255, 255, 255));
    QCOMPARE(written.pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(written.pixel(18, 0), qRgb(255, 255, 255));
}

void RenderCommandTest::readmePictureIsCurrent() {
    // The README shows examples/dialog.png: it must be what the program draws today.
    const QImage picture(test::sourceDir() + QStringLiteral("/examples/dialog.png"));
    QVERIFY(!picture.isNull());
    QVERIFY(samePixels(picture, mapOf(example("dialog.xml"))));
}

void RenderCommandTest::badArguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("complaint");
    QTest::newRow("no layout") << QStringList{} << QByteArray("no layout file given");
    QTest::newRow("two layouts") << QStringList{QStringLiteral("a.xml"), QStringLiteral("b.xml")}
                                 << QByteArray("more than one layout file");
    QTest::newRow("unknown option")
        << QStringList{QStringLiteral("--colour"), QStringLiteral("a.xml")}
        << QByteArray("Unknown option 'colour'");
    QTest::newRow("output without value")
        << QStringList{QStringLiteral("a.xml"), QStringLiteral("--output")}
        << QByteArray("Missing value after '--output'");
    QTest::newRow("empty layout name")
        << QStringList{QString()} << QByteArray("layout file name is empty");
}

void RenderCommandTest::badArguments() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, complaint);
    const Run run = render(arguments);
    QCOMPARE(run.status, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains(complaint), run.err.constData());
    QVERIFY(run.err.contains("Usage: lyremap-render"));
}

void RenderCommandTest::unwritableOutput() {
    ScratchDir dir;
    const QString png = dir.path(QStringLiteral("missing-folder/map.png"));
    const Run run = render({QStringLiteral("--output"), png, example("dialog.xml")});
    QCOMPARE(run.status, 2);
    QVERIFY(run.out.endsWith(" loaded.\n"));
    QVERIFY2(run.err.contains("cannot write " + png.toUtf8()), run.err.constData());
}

void RenderCommandTest::helpAndVersion() {
    const Run help = render({QStringLiteral("--help")});
    QCOMPARE(help.status, 0);
    QVERIFY(help.out.startsWith("Usage: lyremap-render [--trace] [--output MAP.png] LAYOUT\n"));
    const Run version = render({QStringLiteral("--version")});
    QCOMPARE(version.status, 0);
    QVERIFY(version.out.startsWith("lyremap-render "));
}

QTEST_GUILESS_MAIN(RenderCommandTest)
#include "tst_RenderCommand.moc"
