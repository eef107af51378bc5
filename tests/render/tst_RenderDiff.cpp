// lyremap-render --diff as a script runs it: which frames it reports for each kind of change,
// its exit statuses, the overlay picture in PNG and SVG, and files that fail to load.
#include "RenderSupport.h"
#include "XmlAttackFiles.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace lyremap;
using namespace lyremap::test;

namespace {

// Two top-level widgets; the first has two chained frames and a nested widget.
const QByteArray kBase = R"(<widget_description>
  <widget>
    <frame x="10" y="10" width="100" height="50" border="yes"/>
    <frame x="5" y="5" width="20" height="20"/>
    <widget>
      <frame x="1" y="2" width="30" height="10"/>
    </widget>
  </widget>
  <widget>
    <frame x="300" y="200" width="40" height="40" border="yes"/>
  </widget>
</widget_description>
)";

// kBase with a widget inserted between the two (lines 9 to 11).
QByteArray withInsertedWidget() {
    QByteArray layout = kBase;
    return layout.insert(layout.indexOf("  <widget>\n    <frame x=\"300\""),
                         "  <widget>\n    <frame x=\"50\" y=\"60\" width=\"70\" height=\"80\"/>\n"
                         "  </widget>\n");
}

QByteArray replaced(QByteArray layout, const char* from, const char* to) {
    return layout.replace(from, to);
}

// COUNT top-level widgets of one frame each, the k-th (from 1) at x = k on line k + 1; EDIT
// may change the line of a widget or add lines after it.
QByteArray manyWidgets(int count, const std::function<QByteArray(int, QByteArray)>& edit) {
    QByteArray layout = "<widget_description>\n";
    for (int k = 1; k <= count; ++k)
        layout += edit(k, "<widget><frame x=\"" + QByteArray::number(k) +
                              "\" y=\"0\" width=\"5\" height=\"5\"/></widget>\n");
    return layout + "</widget_description>\n";
}

} // namespace

class RenderDiffTest : public QObject {
    Q_OBJECT

private slots:
    void changes_data();
    void changes();
    void overlay_data();
    void overlay();
    void troubleLoading_data();
    void troubleLoading();
    void badArguments_data();
    void badArguments();
};

void RenderDiffTest::changes_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("expected"); // the lines, OLD and NEW standing for the two paths

    QTest::newRow("identical") << kBase << kBase << QString();
    QTest::newRow("attribute order and white space only")
        << kBase
        << QByteArray("<widget_description><widget><frame border='yes' height='50' width='100' "
                      "y='10'   x='10'/><frame height='20' width='20' y='5' x='5'/><widget>"
                      "<frame height='10' width='30' y='2' x='1'/></widget></widget>\n<widget>"
                      "<frame\n border='yes' height='40' width='40' y='200' x='300'/></widget>"
                      "</widget_description>")
        << QString();
    // Entities: a value from one counts as written there; content brought by a reference to
    // one is never walked, as in the viewer, so changing it changes no frame.
    const QByteArray fromEntity = "<!DOCTYPE widget_description [<!ENTITY left '300'>]>\n" +
                                  replaced(kBase, "x=\"300\"", "x=\"&left;\"");
    QTest::newRow("a value from an entity") << kBase << fromEntity << QString();
    QTest::newRow("an entity's value changed")
        << fromEntity << replaced(fromEntity, "'300'", "'310'")
        << u"NEW:11:5: moved /widget_description/widget[2]/frame[1] 300 200 340 240 -> "
           "310 200 350 240\n"_s;
    const QByteArray content = "<!DOCTYPE widget_description [<!ENTITY more '<widget><frame "
                               "x=\"1\"/></widget>'>]>\n<widget_description>&more;"
                               "<widget><frame/></widget></widget_description>";
    QTest::newRow("content of an entity changed")
        << content << replaced(content, "x=\"1\"", "x=\"2\"") << QString();
    QTest::newRow("widget inserted")
        << kBase << withInsertedWidget()
        << u"NEW:10:5: added /widget_description/widget[2]/frame[1] 50 60 120 140\n"_s;
    QTest::newRow("widget removed")
        << withInsertedWidget() << kBase
        << u"OLD:10:5: removed /widget_description/widget[2]/frame[1] 50 60 120 140\n"_s;
    QTest::newRow("nested widget removed")
        << kBase << replaced(kBase, "<frame x=\"1\" y=\"2\" width=\"30\" height=\"10\"/>", "")
        << u"OLD:6:7: removed /widget_description/widget[1]/widget[1]/frame[1] 16 17 46 27\n"_s;
    // The frames chained after the changed one and the widget nested below them move too.
    QTest::newRow("one x changed")
        << kBase << replaced(kBase, "x=\"10\"", "x=\"20\"")
        << u"NEW:3:5: moved /widget_description/widget[1]/frame[1] 10 10 110 60 -> 20 10 120 60\n"
           "NEW:4:5: moved /widget_description/widget[1]/frame[2] 15 15 35 35 -> 25 15 45 35\n"
           "NEW:6:7: moved /widget_description/widget[1]/widget[1]/frame[1] 16 17 46 27 -> "
           "26 17 56 27\n"_s;
    QTest::newRow("resized, nothing placed from it moves")
        << kBase << replaced(kBase, "width=\"100\"", "width=\"150\"")
        << u"NEW:3:5: resized /widget_description/widget[1]/frame[1] 10 10 110 60 -> "
           "10 10 160 60\n"_s;
    QTest::newRow("restyled")
        << kBase << replaced(kBase, "height=\"40\" border=\"yes\"", "height=\"40\"")
        << u"NEW:10:5: restyled /widget_description/widget[2]/frame[1] solid -> dotted\n"_s;
    QTest::newRow("moved and restyled")
        << kBase
        << replaced(kBase, "x=\"300\" y=\"200\" width=\"40\" height=\"40\" border=\"yes\"",
                    "x=\"310\" y=\"200\" width=\"40\" height=\"40\" border=\"no\"")
        << u"NEW:10:5: moved /widget_description/widget[2]/frame[1] 300 200 340 240 -> "
           "310 200 350 240\n"
           "NEW:10:5: restyled /widget_description/widget[2]/frame[1] solid -> dotted\n"_s;
    // Too many siblings for a full alignment table: matched through the unchanged ones.
    QTest::newRow("1,500 siblings, three changes far apart")
        << manyWidgets(1500, [](int, QByteArray line) { return line; })
        << manyWidgets(1500,
                       [](int k, QByteArray line) {
                           if (k == 1)
                               return line.replace("x=\"1\"", "x=\"10000\"");
                           if (k == 1500)
                               return line.replace("width=\"5\"", "width=\"6\"");
                           if (k == 700)
                               return line + "<widget><frame x=\"-7\" y=\"0\" width=\"5\" "
                                             "height=\"5\"/></widget>\n";
                           return line;
                       })
        << u"NEW:2:9: moved /widget_description/widget[1]/frame[1] 1 0 6 5 -> 10000 0 10005 5\n"
           "NEW:702:9: added /widget_description/widget[701]/frame[1] -7 0 -2 5\n"
           "NEW:1502:9: resized /widget_description/widget[1501]/frame[1] 1500 0 1505 5 -> "
           "1500 0 1506 5\n"_s;
    // All alike, so nothing anchors them: paired in turn.
    const auto alike = [](int k, const char* from, const char* to) {
        return [=](int at, QByteArray line) {
            line.replace("x=\"" + QByteArray::number(at) + "\"", "x=\"0\"");
            return at == k ? line.replace(from, to) : line;
        };
    };
    QTest::newRow("1,100 equal siblings, the first and last changed")
        << manyWidgets(1100, alike(0, "", ""))
        << manyWidgets(1100,
                       [&](int k, QByteArray line) {
                           return alike(1, "x=\"0\"", "x=\"3\"")(
                               k, alike(1100, "width=\"5\"", "width=\"6\"")(k, line));
                       })
        << u"NEW:2:9: moved /widget_description/widget[1]/frame[1] 0 0 5 5 -> 3 0 8 5\n"
           "NEW:1101:9: resized /widget_description/widget[1100]/frame[1] 0 0 5 5 -> 0 0 6 5\n"_s;
}

void RenderDiffTest::changes() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QString, expected);
    ScratchDir dir;
    const QString oldPath = dir.write(u"old.xml"_s, before);
    const QString newPath = dir.write(u"new.xml"_s, after);
    const RenderRun run = render({u"--diff"_s, oldPath, newPath});
    QCOMPARE(
        QString::fromUtf8(run.out),
        QString(expected).replace(u"OLD:"_s, oldPath + u':').replace(u"NEW:"_s, newPath + u':'));
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, expected.isEmpty() ? 0 : 1);
}

void RenderDiffTest::overlay_data() {
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("scale");
    QTest::newRow("PNG") << u"diff.png"_s << 1;
    QTest::newRow("SVG") << u"diff.svg"_s << 1;
    QTest::newRow("SVG at scale 3") << u"diff.svg"_s << 3;
    QTest::newRow("into a missing folder") << u"none/diff.png"_s << 1;
}

void RenderDiffTest::overlay() {
    QFETCH(QString, output);
    QFETCH(int, scale);
    ScratchDir dir;
    const QString oldPath = dir.write(u"old.xml"_s, kBase);
    const QString newPath = dir.write(u"new.xml"_s, replaced(kBase, "x=\"10\"", "x=\"20\""));
    const QString picture = dir.path(output);
    const RenderRun run = render({u"--diff"_s, u"--scale"_s, QString::number(scale), u"--output"_s,
                                  picture, oldPath, newPath});
    QCOMPARE(run.out.count('\n'), 3);
    if (output.startsWith(u"none/")) {
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains("cannot write " + picture.toUtf8()), run.err.constData());
        return;
    }
    QCOMPARE(run.status, 1);
    // The PNG of the same diff is what the SVG must render to.
    const QString png = dir.path(u"reference.png"_s);
    QCOMPARE(render({u"--diff"_s, u"--scale"_s, QString::number(scale), u"--output"_s, png, oldPath,
                     newPath})
                 .status,
             1);
    QImage image(png);
    QCOMPARE(image.size(), QSize(800, 600) * scale);
    if (output.endsWith(u".svg")) {
        const QString rsvg = QStandardPaths::findExecutable(u"rsvg-convert"_s);
        if (rsvg.isEmpty())
            QSKIP("rsvg-convert is not installed (Debian's librsvg2-bin; scripts/install-deps.sh)");
        const QString rendered = dir.path(u"svg.png"_s);
        QCOMPARE(QProcess::execute(rsvg, {u"-o"_s, rendered, picture}), 0);
        QVERIFY(samePixels(QImage(rendered), image));
    }
    image = image.scaled(QSize(800, 600)).convertToFormat(QImage::Format_RGB32);
    const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0), red = qRgb(255, 0, 0),
               green = qRgb(0, 160, 0);
    const std::pair<QPoint, QRgb> pixels[] = {
        {{0, 0}, black},     {{18, 0}, white},    // the dashed border
        {{300, 200}, black}, {{339, 239}, black}, // the frame that stayed
        {{10, 10}, red},     {{10, 59}, red},     // the old first frame's left edge
        {{119, 10}, green},  {{60, 59}, green},   // the new one's right edge; over the old one
        {{26, 17}, green},   {{16, 17}, red},     // the nested frame, dotted, now and before
        {{400, 500}, white}};
    for (const auto& [at, colour] : pixels)
        QVERIFY2(
            image.pixel(at) == colour,
            qPrintable(u"pixel %1,%2 is %3"_s.arg(at.x()).arg(at.y()).arg(image.pixel(at), 0, 16)));
}

void RenderDiffTest::troubleLoading_data() {
    QTest::addColumn<QString>("failing");
    QTest::addColumn<bool>("asOld");
    QStringList failing{brokenLayout(), u"/nonexistent/layout.xml"_s, u"/dev/zero"_s,
                        xmlAttackDir()};
    for (const char* name : {"cyclic.xml", "quadratic.xml", "external.xml", "xmlbomb.xml"})
        failing << xmlAttackDir() + u'/' + QLatin1StringView(name);
    static const ScratchDir dir;
    failing << dir.write(u"deep.xml"_s,
                         "<widget_description>" + QByteArray("<widget>").repeated(300) +
                             QByteArray("</widget>").repeated(300) + "</widget_description>");
    for (const QString& path : failing) {
        QTest::addRow("%s as OLD", qPrintable(QFileInfo(path).fileName())) << path << true;
        QTest::addRow("%s as NEW", qPrintable(QFileInfo(path).fileName())) << path << false;
    }
}

void RenderDiffTest::troubleLoading() {
    // Trouble, and the failure that a plain open of the file reports, on standard error.
    QFETCH(QString, failing);
    QFETCH(bool, asOld);
    const QString good = example("dialog.xml");
    const RenderRun run = render({u"--diff"_s, asOld ? failing : good, asOld ? good : failing});
    QCOMPARE(run.status, 2);
    QCOMPARE(run.out, QByteArray());
    const RenderRun plain = render({failing});
    QCOMPARE(plain.status, 1);
    QCOMPARE(run.err, plain.out);
}

void RenderDiffTest::badArguments_data() {
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QByteArray>("complaint");
    const QByteArray two = "--diff takes two layout files, OLD and NEW";
    QTest::newRow("one layout") << u"--diff a.xml"_s << two;
    QTest::newRow("three layouts") << u"--diff a.xml b.xml c.xml"_s << two;
    for (const char* option : {"--trace", "--watch", "--output-dir"}) {
        const QString given = QLatin1StringView(option) +
                              (option == std::string_view("--output-dir") ? u"=."_s : QString());
        QTest::newRow(option) << u"--diff "_s + given + u" a.xml b.xml"_s
                              << "--diff cannot be used with " + QByteArray(option);
    }
}

void RenderDiffTest::badArguments() {
    QFETCH(QString, arguments);
    QFETCH(QByteArray, complaint);
    const RenderRun run = render(arguments.split(u' '));
    QCOMPARE(run.status, 2);
    QCOMPARE(run.out, QByteArray());
    QVERIFY2(run.err.contains(complaint) && run.err.contains("Usage: lyremap-render"),
             run.err.constData());
}

QTEST_GUILESS_MAIN(RenderDiffTest)
#include "tst_RenderDiff.moc"
