// lyremap-render for layout authors: --check's findings with their places, --json's document
// against --trace, --at's frames at a pixel, and hostile files under each.
#include "RenderSupport.h"
#include "XmlAttackFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace lyremap::test;

namespace {

QStringList linesOf(const QByteArray& text) {
    return QString::fromUtf8(text).split(u'\n', Qt::SkipEmptyParts);
}

QJsonObject jsonOf(const QByteArray& line) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        qFatal("not a JSON object: %s", line.left(200).constData());
    return document.object();
}

} // namespace

class AuthorOptionsTest : public QObject {
    Q_OBJECT

private slots:
    void warnings_data();
    void warnings();
    void positions_data();
    void positions();
    void failures_data();
    void failures();
    void hostileFilesFailAlike();
    void jsonMatchesTrace();
    void framesAtAPixel_data();
    void framesAtAPixel();
    void badCombinations_data();
    void badCombinations();
    void fullStandardOutput_data();
    void fullStandardOutput();
};

void AuthorOptionsTest::warnings_data() {
    QTest::addColumn<QByteArray>("widget");    // the content of one top-level widget
    QTest::addColumn<QStringList>("expected"); // "LINE:COLUMN TEXT [NAME]", all on line 2
    QTest::newRow("none") << QByteArray("<frame x='5' y='0x10' width='true' border='YES'/>")
                          << QStringList();
    QTest::newRow("value")
        << QByteArray("<frame width='l00' x='99999999999' height=''/>")
        << QStringList{u"2:16 width \"l00\" is not a number; 24 used [value]"_s,
                       u"2:28 x \"99999999999\" is beyond the 32-bit range; 0 used [value]"_s,
                       u"2:44 height \"\" is not a number; 24 used [value]"_s};
    QTest::newRow("range")
        << QByteArray("<frame x='3'/><frame x='2147483647' y='-1' height='-2147483648'/>")
        << QStringList{u"2:30 x \"2147483647\" added to the origin's x 3 leaves the 32-bit "
                       "range; 0 used [range]"_s,
                       u"2:52 height \"-2147483648\" added to the top edge -1 leaves the 32-bit "
                       "range; 24 used [range]"_s};
    QTest::newRow("border")
        << QByteArray("<frame border='true'/><frame border=' yes'/><frame border='NO'/>"
                      "<frame border=''/>")
        << QStringList{
               u"2:16 border \"true\" is neither yes nor no, so the frame is drawn dotted [border]"_s,
               u"2:38 border \" yes\" is neither yes nor no, so the frame is drawn dotted [border]"_s,
               u"2:80 border \"\" is neither yes nor no, so the frame is drawn dotted [border]"_s};
    QTest::newRow("attribute-name")
        << QByteArray("<frame X='5' Border='yes' xx='1' p:x='2' xmlns:p='urn:p'/>")
        << QStringList{u"2:16 attribute \"X\" is ignored: names count letter case, and the one "
                       "read is \"x\" [attribute-name]"_s,
                       u"2:22 attribute \"Border\" is ignored: names count letter case, and the "
                       "one read is \"border\" [attribute-name]"_s};
    QTest::newRow("unreached")
        << QByteArray("<widgte><frame/><widget><frame/></widget></widgte>"
                      "<frame><widget><frame/></widget><frame/></frame>"
                      "<p:widget xmlns:p='urn:p'><frame/></p:widget><label><widget/></label>")
        << QStringList{
               u"2:9 \"widgte\" is neither widget nor frame, so nothing in it is walked; 2 frames "
               "lost [unreached]"_s,
               u"2:66 \"widget\" inside a frame is never walked; 1 frame lost [unreached]"_s,
               u"2:91 \"frame\" inside a frame is never drawn; 1 frame lost [unreached]"_s,
               u"2:107 \"p:widget\" has a prefix, so it is neither widget nor frame and is never "
               "walked; 1 frame lost [unreached]"_s};
    QTest::newRow("off-map and empty")
        << QByteArray("<frame x='800'/></widget><widget><frame x='-24'/></widget><widget>"
                      "<frame x='-25' width='2'/></widget><widget><frame width='0'/></widget>"
                      "<widget><frame height='0' x='900'/></widget><widget>"
                      "<frame x='30' width='-31'/><frame x='-31' width='-5'/>")
        << QStringList{
               u"2:9 frame (800, 0, 824, 24) lies wholly outside the 800 by 600 map, so "
               "nothing of it shows [off-map]"_s,
               u"2:42 frame (-24, 0, 0, 24) lies wholly outside the 800 by 600 map, so "
               "nothing of it shows [off-map]"_s,
               u"2:75 frame (-25, 0, -23, 24) lies wholly outside the 800 by 600 map, so "
               "nothing of it shows [off-map]"_s,
               u"2:118 frame (0, 0, 0, 24) has zero width, so nothing is drawn [empty]"_s,
               u"2:153 frame (900, 0, 924, 0) has zero height, so nothing is drawn [empty]"_s,
               u"2:224 frame (-1, 0, -6, 24) lies wholly outside the 800 by 600 map, so "
               "nothing of it shows [off-map]"_s};
}

void AuthorOptionsTest::warnings() {
    QFETCH(QByteArray, widget);
    QFETCH(QStringList, expected);
    ScratchDir dir;
    const QString path = dir.write(u"layout.xml"_s, "<widget_description>\n<widget>" + widget +
                                                        "</widget>\n</widget_description>\n");
    const RenderRun run = render({u"--check"_s, path});
    // Lines read "PATH:LINE:COLUMN: warning: TEXT [NAME]"; compared as "LINE:COLUMN TEXT [NAME]".
    static const QRegularExpression form(u"^(\\d+:\\d+): warning: (.*)$"_s);
    QStringList actual;
    for (const QString& line : linesOf(run.err)) {
        QVERIFY2(line.startsWith(path + u':'), qPrintable(line));
        const QRegularExpressionMatch match = form.match(line.mid(path.size() + 1));
        QVERIFY2(match.hasMatch(), qPrintable(line));
        actual << match.captured(1) + u' ' + match.captured(2);
    }
    QCOMPARE(actual, expected);
    QCOMPARE(run.status, expected.isEmpty() ? 0 : 3);
    QCOMPARE(run.out, path.toUtf8() + " loaded.\n");

    // --json finds the same, and without --check its status is a plain open's.
    const RenderRun json = render({u"--json"_s, path});
    QCOMPARE(json.status, 0);
    const QJsonArray diagnostics = jsonOf(json.out)[u"diagnostics"_s].toArray();
    // They read exactly as Qt writes them.
    const qsizetype start = json.out.indexOf(",\"diagnostics\":") + 15;
    const QByteArray written = json.out.mid(start, json.out.indexOf(",\"frames\":") - start);
    QCOMPARE(written, QJsonDocument(diagnostics).toJson(QJsonDocument::Compact));
    QCOMPARE(diagnostics.size(), expected.size());
    for (qsizetype i = 0; i < diagnostics.size(); ++i) {
        const QJsonObject d = diagnostics[i].toObject();
        QCOMPARE(QStringLiteral("%1:%2 %3 [%4]")
                     .arg(d[u"line"_s].toInt())
                     .arg(d[u"column"_s].toInt())
                     .arg(d[u"message"_s].toString(), d[u"name"_s].toString()),
                 expected[i]);
        QCOMPARE(d[u"severity"_s].toString(), u"warning"_s);
    }
}

void AuthorOptionsTest::positions_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("expected"); // "LINE:COLUMN NAME"
    const QString tabbed = u"<widget_description><widget>\n\t<!-- äöü € --><frame border='ja'/>"
                           "\r\n\t<frame\n\t  x='1'\n\twidth\t=\t'l00'\n\t/>\n</widget>"
                           "\n\t<frame/></widget_description>"_s;
    const QStringList places{u"2:23 border"_s, u"5:2 value"_s, u"8:2 unreached"_s};
    QTest::newRow("UTF-8") << tabbed.toUtf8() << places;
    QByteArray utf16("\xFF\xFE");
    utf16 += QByteArray(reinterpret_cast<const char*>(tabbed.utf16()), tabbed.size() * 2);
    QTest::newRow("UTF-16 with byte-order mark") << utf16 << places;
    QTest::newRow("an entity's frame is placed at its reference")
        << QByteArray("<!DOCTYPE widget_description [<!ENTITY f '<frame X=\"1\"/>'>]>\n"
                      "<widget_description><widget>\n  &f;<frame border='1'/>\n"
                      "</widget></widget_description>")
        << QStringList{u"3:3 unreached"_s, u"3:13 border"_s};
    QTest::newRow("values the DTD supplies are placed at their element")
        << QByteArray("<!DOCTYPE widget_description [<!ATTLIST frame border CDATA 'true' "
                      "width CDATA 'l00' Y CDATA '1'>]>\n<widget_description><widget>\n  "
                      "<frame/></widget></widget_description>")
        << QStringList{u"3:3 value"_s, u"3:3 border"_s};
}

void AuthorOptionsTest::positions() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expected);
    ScratchDir dir;
    const QString path = dir.write(u"layout.xml"_s, file);
    const RenderRun run = render({u"--check"_s, path});
    static const QRegularExpression form(u"^(\\d+:\\d+): warning: .* \\[([a-z-]+)\\]$"_s);
    QStringList actual;
    for (const QString& line : linesOf(run.err)) {
        const QRegularExpressionMatch match = form.match(line.mid(path.size() + 1));
        QVERIFY2(match.hasMatch(), qPrintable(line));
        actual << match.captured(1) + u' ' + match.captured(2);
    }
    QCOMPARE(actual, expected);
    QCOMPARE(run.status, 3);
}

void AuthorOptionsTest::failures_data() {
    QTest::addColumn<QByteArray>("file"); // empty: no such file; "/": a folder
    QTest::addColumn<QString>("place");   // ":LINE:COLUMN" or empty
    QTest::addColumn<QString>("reason");
    QTest::newRow("not well-formed, tabs before the place")
        << QByteArray("<widget_description>\n\t<widget>\n\t\t<frame x=\"1\"></frme>\n")
        << u":3:23"_s << u"Opening and ending tag mismatch: frame line 3 and frme"_s;
    QTest::newRow("another root element")
        << QByteArray("<?xml version='1.0'?>\n<!-- a layout -->\n  <Widget_Description/>\n")
        << u":3:3"_s << u"Das Dokument hat kein Element widget_description auf oberster Ebene"_s;
    QTest::newRow("no such file") << QByteArray() << QString() << u"Die Datei existiert nicht"_s;
    QTest::newRow("a folder") << QByteArray("/") << QString()
                              << u"Der Pfad bezeichnet einen Ordner, keine Datei"_s;
}

void AuthorOptionsTest::failures() {
    QFETCH(QByteArray, file);
    QFETCH(QString, place);
    QFETCH(QString, reason);
    ScratchDir dir;
    QString path = dir.path(u"layout.xml"_s);
    if (file == "/")
        QDir().mkpath(path);
    else if (!file.isEmpty())
        dir.write(u"layout.xml"_s, file);
    const RenderRun plain = render({path});
    QCOMPARE(plain.status, 1);

    const RenderRun check = render({u"--check"_s, path});
    QCOMPARE(check.status, 1);
    QCOMPARE(check.out, plain.out);
    QCOMPARE(QString::fromUtf8(check.err), path + place + u": error: "_s + reason + u'\n');

    const RenderRun json = render({u"--json"_s, u"--check"_s, path});
    QCOMPARE(json.status, 1);
    QCOMPARE(linesOf(json.out).size(), 1);
    const QJsonObject document = jsonOf(json.out);
    QCOMPARE(document[u"loaded"_s].toBool(true), false);
    QCOMPARE(document[u"file"_s].toString(), path);
    QCOMPARE(document[u"status"_s].toString() + u'\n', QString::fromUtf8(plain.out));
    const QJsonObject error = document[u"error"_s].toObject();
    QCOMPARE(error[u"reason"_s].toString(), reason);
    QCOMPARE(error[u"line"_s].isNull(), place.isEmpty());
    if (!place.isEmpty())
        QCOMPARE(u":%1:%2"_s.arg(error[u"line"_s].toInt()).arg(error[u"column"_s].toInt()), place);
}

void AuthorOptionsTest::hostileFilesFailAlike() {
    const QString dir = xmlAttackDir();
    for (const auto& [name, bytes] : xmlAttackFiles()) {
        const QString path = dir + u'/' + name;
        const RenderRun plain = render({path});
        const RenderRun check = render({u"--check"_s, path});
        const RenderRun json = render({u"--json"_s, path});
        QCOMPARE(check.status, plain.status);
        QCOMPARE(json.status, plain.status);
        QCOMPARE(check.out, plain.out);
        const QJsonObject document = jsonOf(json.out);
        QCOMPARE(document[u"status"_s].toString() + u'\n', QString::fromUtf8(plain.out));
        QCOMPARE(document[u"loaded"_s].toBool(), plain.status == 0);
        if (plain.status == 1) {
            QCOMPARE(linesOf(check.err).size(), 1);
            QVERIFY2(check.err.startsWith(path.toUtf8() + ':') && check.err.contains(": error: "),
                     check.err.constData());
            QVERIFY(document[u"error"_s].isObject());
        }
    }
}

void AuthorOptionsTest::jsonMatchesTrace() {
    QRandomGenerator random(11);
    ScratchDir dir;
    for (int round = 0; round < 20; ++round) {
        // The last rounds are large enough to be walked while they load, drawn in place for
        // --json and recorded for --trace.
        const QString path =
            dir.write(u"random.xml"_s, randomLayout(random, round < 16 ? 200 : 4000));
        const RenderRun trace = render({u"--trace"_s, path});
        QStringList traced;
        QString pen;
        for (const QString& line : linesOf(trace.out)) {
            if (line.startsWith(u"SetPenStyle "_s))
                pen = line.section(u' ', 1);
            else if (line.startsWith(u"DrawRectangle "_s))
                traced << line.section(u' ', 1) + u' ' + pen;
        }
        const RenderRun json = render({u"--json"_s, path});
        QCOMPARE(json.status, trace.status);
        QStringList listed;
        for (const QJsonValue& value : jsonOf(json.out)[u"frames"_s].toArray()) {
            const QJsonObject frame = value.toObject();
            listed << u"%1 %2 %3 %4 %5"_s.arg(frame[u"left"_s].toInt())
                          .arg(frame[u"top"_s].toInt())
                          .arg(frame[u"right"_s].toInt())
                          .arg(frame[u"bottom"_s].toInt())
                          .arg(frame[u"pen"_s].toString());
            QVERIFY(frame[u"path"_s].toString().startsWith(u"/widget_description/widget["_s));
            QVERIFY(frame[u"path"_s].toString().contains(u"/FRAME["_s) ||
                    frame[u"path"_s].toString().contains(u"/frame["_s));
            QVERIFY(frame[u"line"_s].toInt() == 1 && frame[u"column"_s].toInt() > 20);
        }
        QCOMPARE(listed, traced);
        // The frames read exactly as Qt writes them.
        const qsizetype start = json.out.indexOf(",\"frames\":") + 10;
        const QByteArray frames = json.out.mid(start, json.out.size() - start - 2);
        QCOMPARE(
            frames,
            QJsonDocument(QJsonDocument::fromJson(frames).array()).toJson(QJsonDocument::Compact));
    }
}

void AuthorOptionsTest::framesAtAPixel_data() {
    QTest::addColumn<QString>("point");
    QTest::addColumn<QStringList>("expected"); // "LINE:COLUMN: frame ..." of layout.xml
    QTest::addColumn<int>("status");
    QTest::newRow("inside two") << u"12,12"_s
                                << QStringList{u"2:9: frame 10 10 110 60 solid "
                                               "/widget_description/widget[1]/frame[1]"_s,
                                               u"3:11: frame 15 15 5 5 dotted "
                                               "/widget_description/widget[1]/widget[1]/frame[1]"_s}
                                << 0;
    QTest::newRow("right and bottom edges are outside") << u"110,12"_s << QStringList() << 1;
    QTest::newRow("a frame drawn backwards covers its block")
        << u"7,7"_s
        << QStringList{u"3:11: frame 15 15 5 5 dotted "
                       "/widget_description/widget[1]/widget[1]/frame[1]"_s}
        << 0;
    QTest::newRow("a frame of zero width holds no pixel") << u"200,5"_s << QStringList() << 1;
    QTest::newRow("off the map") << u"-5,-5"_s
                                 << QStringList{u"4:52: frame -10 -10 0 0 dotted "
                                                "/widget_description/widget[3]/frame[1]"_s}
                                 << 0;
}

void AuthorOptionsTest::framesAtAPixel() {
    QFETCH(QString, point);
    QFETCH(QStringList, expected);
    QFETCH(int, status);
    ScratchDir dir;
    const QString path =
        dir.write(u"layout.xml"_s,
                  "<widget_description>\n"
                  "<widget><frame x='10' y='10' width='100' height='50' border='yes'/>\n"
                  "  <widget><frame x='5' y='5' width='-10' height='-10'/></widget></widget>\n"
                  "<widget><frame x='200' width='0'/></widget><widget><frame x='-10' y='-10' "
                  "width='10' height='10'/></widget>\n</widget_description>\n");
    const RenderRun run = render({u"--at"_s, point, path});
    QStringList actual = linesOf(run.out);
    for (QString& line : actual) {
        QVERIFY(line.startsWith(path + u':'));
        line = line.mid(path.size() + 1);
    }
    QCOMPARE(actual, expected);
    QCOMPARE(run.status, status);
    QVERIFY(run.err.isEmpty());

    // Over two layouts, as grep: 0 when either lists a frame.
    const QString empty = dir.write(u"empty.xml"_s, "<widget_description/>");
    QCOMPARE(render({u"--at"_s, point, empty, path}).status, status);
}

void AuthorOptionsTest::badCombinations_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");
    const QString x = u"x.xml"_s;
    QTest::newRow("--at without a comma") << QStringList{u"--at"_s, u"5"_s, x} << u"--at takes"_s;
    QTest::newRow("--at with a space") << QStringList{u"--at"_s, u"5, 6"_s, x} << u"--at takes"_s;
    QTest::newRow("--at beyond 32 bits")
        << QStringList{u"--at"_s, u"5,2147483648"_s, x} << u"--at takes"_s;
    QTest::newRow("--at twice") << QStringList{u"--at=1,1"_s, u"--at=2,2"_s, x}
                                << u"--at given more than once"_s;
    QTest::newRow("--json with --at")
        << QStringList{u"--json"_s, u"--at=1,1"_s, x} << u"--json and --at"_s;
    QTest::newRow("--json with --trace")
        << QStringList{u"--json"_s, u"--trace"_s, x} << u"--trace cannot"_s;
    QTest::newRow("--at with --output -")
        << QStringList{u"--at=1,1"_s, u"--output"_s, u"-"_s, x} << u"--output -"_s;
    QTest::newRow("--at with --watch")
        << QStringList{u"--at=1,1"_s, u"--watch"_s, x} << u"--at answers once"_s;
}

void AuthorOptionsTest::badCombinations() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);
    const RenderRun run = render(arguments);
    QCOMPARE(run.status, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.startsWith("lyremap-render: " + complaint.toUtf8()), run.err.constData());
}

void AuthorOptionsTest::fullStandardOutput_data() {
    QTest::addColumn<QStringList>("options");
    QTest::newRow("outcome") << QStringList();
    QTest::newRow("--json") << QStringList{u"--json"_s};
    QTest::newRow("--at") << QStringList{u"--at=300,200"_s};
}

void AuthorOptionsTest::fullStandardOutput() {
    QFETCH(QStringList, options);
    if (!QFileInfo(u"/dev/full"_s).isWritable())
        QSKIP("no writable /dev/full here");
    const RenderRun run = render(options << example("dialog.xml"), u"/dev/full"_s);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains("standard output could not be written"), run.err.constData());
}

QTEST_GUILESS_MAIN(AuthorOptionsTest)
#include "tst_AuthorOptions.moc"
