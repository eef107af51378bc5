// lyremap-render as a script runs it: arguments, output, exit status and the PNG it writes.
#include "RenderSupport.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTest>
#include <climits>

using namespace Qt::StringLiterals;
using namespace lyremap;
using namespace lyremap::test;

namespace {

QByteArray contentOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

// Frames at and beyond every edge of the map, of every small size and direction, and at the
// 32-bit limits: each top-level widget holds one frame placed from (0, 0).
QByteArray oddRectangles() {
    const int places[] = {INT_MIN, -100000, -30, -25, -1,  0,   1,   5,   17,   300,
                          575,     598,     599, 600, 790, 799, 800, 801, 5000, INT_MAX};
    const int sizes[] = {INT_MIN, -900, -50, -2, -1, 0, 1, 2, 3, 7, 18, 19, 24, 25, 100, 900};
    QRandomGenerator random(12);
    QByteArray layout = "<widget_description>";
    const auto pick = [&](const auto& values) {
        return QByteArray::number(values[random.bounded(int(std::size(values)))]);
    };
    for (int i = 0; i < 600; ++i)
        layout += "<widget><frame x='" + pick(places) + "' y='" + pick(places) + "' width='" +
                  pick(sizes) + "' height='" + pick(sizes) + "' border='" +
                  (random.bounded(2) ? "yes" : "no") + "'/></widget>";
    return layout + "</widget_description>";
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
    void helpAndVersion();
    void manyLayouts();
    void gravestStatusOfABatch_data();
    void gravestStatusOfABatch();
    void imageOutputs_data();
    void imageOutputs();
    void imageToStandardOutput();
};

void RenderCommandTest::traceIsExact() {
    ScratchDir dir;
    const QString path = dir.write(
        QStringLiteral("t.xml"),
        "<widget_description><widget><frame x='10' y='10' width='100' height='50' border='yes'/>"
        "<widget><frame x='-5' y='2147483647'/></widget></widget><widget/></widget_description>");
    const RenderRun run = render({QStringLiteral("--trace"), path});
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
        const RenderRun run = render({QStringLiteral("--trace"), path});
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
    const RenderRun run = render({path});
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
    const RenderRun run = render({QStringLiteral("--output"), png, layout});
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
    const RenderRun run = render({QStringLiteral("--output=") + png, brokenLayout()});
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
    // A row whose arguments are the words of ARGUMENTS.
    const auto row = [](const char* name, const char* arguments, const char* complaint) {
        QTest::newRow(name) << QString::fromUtf8(arguments).split(u' ', Qt::SkipEmptyParts)
                            << QByteArray(complaint);
    };
    row("no layout", "", "no layout file given");
    row("--output, two layouts", "--output=m.png a.xml b.xml", "--output takes one layout file");
    row("--output and --output-dir", "--output=m.png --output-dir=. a.xml",
        "cannot be used together");
    row("--output twice", "--output=m.png --output=n.png a.xml", "--output given more than once");
    row("two layouts of one name", "--output-dir=/none a/map.xml b/map.XML",
        "'a/map.xml' and 'b/map.XML' would both write /none/map.png");
    row("a layout that names no file", "--output-dir=. a/..", "'a/..' gives no name");
    for (const char* scale : {"--scale=0 a.xml", "--scale=17 a.xml", "--scale=2x a.xml"})
        row(scale, scale, "--scale takes a whole number from 1 to 16");
    row("--watch, two layouts", "--watch a.xml b.xml", "--watch takes one layout file");
    row("--watch to standard output", "--watch --output=- a.xml",
        "--watch cannot write to standard output");
    row("unknown option", "--colour a.xml", "Unknown option 'colour'");
    row("output without value", "a.xml --output", "Missing value after '--output'");
    QTest::newRow("empty layout name")
        << QStringList{QString()} << QByteArray("a layout file name is empty");
}

void RenderCommandTest::badArguments() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, complaint);
    const RenderRun run = render(arguments);
    QCOMPARE(run.status, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains(complaint), run.err.constData());
    QVERIFY(run.err.contains("Usage: lyremap-render"));
}

void RenderCommandTest::helpAndVersion() {
    const RenderRun help = render({QStringLiteral("--help")});
    QCOMPARE(help.status, 0);
    QVERIFY(help.out.startsWith("Usage: lyremap-render [--trace] [--output FILE | --output-dir "
                                "DIR] [--scale N] [--watch] [--check] [--json | --at X,Y] "
                                "LAYOUT...\n"));
    for (const char* option : {"--trace", "--output FILE", "--output-dir DIR", "--scale N",
                               "--watch", "--check", "--json", "--at X,Y", "Exit status"})
        QVERIFY2(help.out.contains(option), option);
    const RenderRun version = render({QStringLiteral("--version")});
    QCOMPARE(version.status, 0);
    QVERIFY(version.out.startsWith("lyremap-render "));
}

void RenderCommandTest::manyLayouts() {
    // Each open resets the map, a failed one gets its picture too, and the status is the worst.
    ScratchDir dir;
    QVERIFY(QDir(dir.path(QString())).mkdir(QStringLiteral("maps")));
    const QString maps = dir.path(QStringLiteral("maps"));
    const QStringList layouts{example("dialog.xml"), brokenLayout(), example("toolbar.xml")};
    const RenderRun run = render(QStringList{QStringLiteral("--output-dir"), maps} + layouts);
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, QByteArray());
    qsizetype at = 0;
    for (const QString& layout : layouts) {
        at = run.out.indexOf(layout.toUtf8() + (layout == brokenLayout() ? " failed" : " loaded."),
                             at);
        QVERIFY2(at >= 0, qPrintable(layout));
        const QString name = QFileInfo(layout).completeBaseName();
        QVERIFY(samePixels(QImage(maps + u'/' + name + QStringLiteral(".png")), mapOf(layout)));
    }
    QCOMPARE(QDir(maps).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

void RenderCommandTest::gravestStatusOfABatch_data() {
    // Layouts: c clean, w loads with a warning, f fails to open. A warning never hides a failure.
    QTest::addColumn<QString>("layouts");
    QTest::addColumn<int>("status");
    QTest::newRow("clean") << QStringLiteral("cc") << 0;
    QTest::newRow("a warning") << QStringLiteral("cwc") << 3;
    QTest::newRow("a failure after a warning") << QStringLiteral("wf") << 1;
    QTest::newRow("a failure before a warning") << QStringLiteral("fw") << 1;
}

void RenderCommandTest::gravestStatusOfABatch() {
    QFETCH(QString, layouts);
    QFETCH(int, status);
    ScratchDir dir;
    const QString warned =
        dir.write(QStringLiteral("w.xml"), "<widget_description><widget><frame width='l00'/>"
                                           "</widget></widget_description>");
    QStringList arguments{QStringLiteral("--check")};
    for (const QChar kind : layouts)
        arguments << (kind == u'c'   ? example("toolbar.xml")
                      : kind == u'w' ? warned
                                     : brokenLayout());
    QCOMPARE(render(arguments).status, status);
}

void RenderCommandTest::imageOutputs_data() {
    QTest::addColumn<QByteArray>("layout");
    QTest::addColumn<int>("scale");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("status");
    const QByteArray dialog = contentOf(example("dialog.xml"));
    QTest::newRow("PNG at scale 4") << dialog << 4 << u"map.png"_s << 0;
    QTest::newRow("PNG at scale 7") << contentOf(example("toolbar.xml")) << 7 << u"map.png"_s << 0;
    QTest::newRow("SVG") << dialog << 1 << u"map.svg"_s << 0;
    QTest::newRow("SVG of nested panels")
        << contentOf(example("nested_panels.xml")) << 1 << u"map.SVG"_s << 0;
    QTest::newRow("SVG of a failed open") << contentOf(brokenLayout()) << 1 << u"map.svg"_s << 1;
    QTest::newRow("SVG of odd rectangles") << oddRectangles() << 1 << u"map.svg"_s << 0;
    QTest::newRow("SVG of odd rectangles at scale 3") << oddRectangles() << 3 << u"map.svg"_s << 0;
}

void RenderCommandTest::imageOutputs() {
    QFETCH(QByteArray, layout);
    QFETCH(int, scale);
    QFETCH(QString, output);
    QFETCH(int, status);
    ScratchDir dir;
    const QString path = dir.write(QStringLiteral("map.xml"), layout);
    QString picture = dir.path(output);
    const RenderRun run =
        render({u"--scale"_s, QString::number(scale), u"--output="_s + picture, path});
    QCOMPARE(run.status, status);
    if (picture.endsWith(QStringLiteral("svg"), Qt::CaseInsensitive)) {
        const QString rsvg = QStandardPaths::findExecutable(QStringLiteral("rsvg-convert"));
        if (rsvg.isEmpty())
            QSKIP("rsvg-convert is not installed (Debian's librsvg2-bin; scripts/install-deps.sh)");
        const QString svg = std::exchange(picture, dir.path(QStringLiteral("svg.png")));
        QCOMPARE(QProcess::execute(rsvg, {QStringLiteral("-o"), picture, svg}), 0);
    }
    QVERIFY(samePixels(QImage(picture), mapOf(path, scale)));
}

void RenderCommandTest::imageToStandardOutput() {
    // The picture alone on standard output; the trace and the outcome go to standard error.
    const QString layout = example("toolbar.xml");
    const RenderRun run = render({QStringLiteral("--trace"), QStringLiteral("--output"),
                                  QStringLiteral("-"), QStringLiteral("--scale=16"), layout});
    QCOMPARE(run.status, 0);
    // The largest scale; its pixels are too many for a comparison here.
    QByteArray bytes = run.out;
    QBuffer png(&bytes);
    QCOMPARE(QImageReader(&png, "png").size(), QSize(12800, 9600));
    QVERIFY(run.err.startsWith("ResetMap\n"));
    QVERIFY(run.err.endsWith("RefreshMap\n" + layout.toUtf8() + " loaded.\n"));
}

QTEST_GUILESS_MAIN(RenderCommandTest)
#include "tst_RenderCommand.moc"
