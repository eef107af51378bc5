// The widget walk against a recording map: which rectangles, with which pens, in which order.
#include "RecordingTarget.h"
#include "TestSupport.h"

#include "layout/OpenLayout.h"
#include "layout/WidgetWalk.h"
#include "layout/xml/XmlDocument.h"

#include <QTest>
#include <limits>

using namespace lyremap;
using lyremap::test::RecordingTarget;
using lyremap::test::ScratchDir;

namespace {

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

// The rectangles a layout draws, one "pen L T R B" each, without the map's reset and refresh.
QStringList drawnBy(const QByteArray& body, const QLocale& locale = kEnglish) {
    ScratchDir dir;
    const QString path = dir.write(QStringLiteral("layout.xml"),
                                   "<widget_description>" + body + "</widget_description>");
    XmlDocument doc;
    RecordingTarget target;
    const OpenOutcome outcome = OpenLayout(doc, target, path, locale);
    if (!outcome.loaded)
        qWarning("%s", qPrintable(outcome.statusText));
    return target.calls.mid(1, target.calls.size() - 2);
}

// The first top-level widget of a layout loaded into DOC.
Node firstWidget(XmlDocument& doc, const ScratchDir& dir, const QByteArray& layout) {
    doc.LoadFromFile(dir.write(QStringLiteral("widget.xml"), layout));
    return doc.FindTopLevelNode(QStringLiteral("widget_description")).ChildNodes().Item(0);
}

QStringList split(const char* expected) {
    QStringList list = QString::fromUtf8(expected).split(u';', Qt::SkipEmptyParts);
    for (QString& item : list)
        item = item.trimmed();
    return list;
}

} // namespace

class WidgetWalkTest : public QObject {
    Q_OBJECT

private slots:
    void geometry_data();
    void geometry();
    void localeNumbers();
    void defaultsDeclaredInTheFile();
    void originIsPassedIn();
    void overflowNearTheTop_data();
    void overflowNearTheTop();
    void deepNestingDoesNotExhaustTheStack();
    void failureEndsTheWalkAndKeepsWhatWasDrawn();
};

void WidgetWalkTest::geometry_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* name, const char* body, const char* expected) {
        QTest::newRow(name) << QByteArray(body) << split(expected).join(u';');
    };

    row("bare frame takes the defaults", "<widget><frame/></widget>", "dotted 0 0 24 24");
    row("unconvertible x falls back to the origin",
        "<widget><frame x='abc'/><frame x='5px'/><frame x=''/></widget>",
        "dotted 0 0 24 24; dotted 0 0 24 24; dotted 0 0 24 24");
    row("x behind a space, true and False",
        "<widget><frame x=' 7'/></widget><widget><frame x='true'/></widget>"
        "<widget><frame x='False'/></widget>",
        "dotted 7 0 31 24; dotted 1 0 25 24; dotted 0 0 24 24");
    row("hexadecimal and dollar forms",
        "<widget><frame x='0x1F' y='$FFFFFFFF' width='x10' height='-$10'/></widget>",
        "dotted 31 -1 47 -17");
    row("x beyond 32 bits", "<widget><frame x='99999999999' y='3'/></widget>", "dotted 0 3 24 27");
    row("negative coordinates pass unchanged", "<widget><frame x='-10' y='-20'/></widget>",
        "dotted -10 -20 14 4");
    row("zero and negative sizes are kept",
        "<widget><frame x='100' y='100' width='0' height='-30'/></widget>",
        "dotted 100 100 100 70");
    row("border spellings",
        "<widget><frame border='YES'/></widget><widget><frame border='Yes'/></widget>"
        "<widget><frame border='no'/></widget><widget><frame border='true'/></widget>"
        "<widget><frame border='1'/></widget><widget><frame border=' yes'/></widget>"
        "<widget><frame border='yes '/></widget><widget><frame border=''/></widget>",
        "solid 0 0 24 24; solid 0 0 24 24; dotted 0 0 24 24; dotted 0 0 24 24;"
        "dotted 0 0 24 24; dotted 0 0 24 24; dotted 0 0 24 24; dotted 0 0 24 24");
    row("frames chain and nested widgets start at the last frame",
        "<widget><frame x='10' y='10' width='100' height='50'/>"
        "<frame x='5' y='5' width='20' height='20'/>"
        "<widget><frame x='1' y='1' width='2' height='2'/></widget></widget>",
        "dotted 10 10 110 60; dotted 15 15 35 35; dotted 16 16 18 18");
    row("nested widget relative to its parent's frame",
        "<widget><frame x='100' y='50' width='300' height='200' border='yes'/>"
        "<widget><frame x='10' y='20' width='50' height='30'/></widget></widget>",
        "solid 100 50 400 250; dotted 110 70 160 100");
    row("widget without frame passes its own origin",
        "<widget><frame x='40' y='30'/><widget><widget><frame x='1' y='2'/></widget></widget>"
        "</widget>",
        "dotted 40 30 64 54; dotted 41 32 65 56");
    row("frames after nested widgets are drawn first",
        "<widget><widget><frame x='1' y='1'/></widget><frame x='50' y='60'/></widget>",
        "dotted 50 60 74 84; dotted 51 61 75 85");
    row("sibling widgets start from the same origin",
        "<widget><frame x='10' y='10'/><widget><frame x='5' y='5'/></widget>"
        "<widget><frame x='7' y='7'/></widget></widget>",
        "dotted 10 10 34 34; dotted 15 15 39 39; dotted 17 17 41 41");
    row("depth first over the whole document",
        "<widget><frame x='1'/><widget><frame x='1'/><widget><frame x='1'/></widget></widget>"
        "<widget><frame x='100'/></widget></widget><widget><frame x='300'/></widget>",
        "dotted 1 0 25 24; dotted 2 0 26 24; dotted 3 0 27 24; dotted 101 0 125 24;"
        "dotted 300 0 324 24");
    row("element names in any case, attribute names exactly",
        "<Widget><FRAME X='5' x='9'/><fRaMe X='5'/></Widget><WIDGET><Frame/></WIDGET>",
        "dotted 9 0 33 24; dotted 9 0 33 24; dotted 0 0 24 24");
    row("frame under the root and widgets hidden in other elements are not drawn",
        "<frame x='1'/><widget><frame x='2'><widget><frame x='3'/></widget></frame>"
        "<panel><widget><frame x='4'/></widget></panel></widget>"
        "<group><widget><frame x='5'/></widget></group>",
        "dotted 2 0 26 24");
    row("prefixed names are not widget or frame",
        "<widget xmlns:p='urn:p'><p:frame x='1'/><frame x='2'/></widget>"
        "<p:widget xmlns:p='urn:p'><frame x='3'/></p:widget>",
        "dotted 2 0 26 24");
    row("text, comments and CDATA are passed over",
        "text<!--c--><widget>more<![CDATA[<frame x='1'/>]]><?pi x?><frame x='6'/></widget>",
        "dotted 6 0 30 24");
    row("empty widgets draw nothing", "<widget/><widget></widget>", "");
    row("character references in attributes",
        "<widget><frame x='&#52;2' width='&#x31;0'/></widget>", "dotted 42 0 52 24");
}

void WidgetWalkTest::geometry() {
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    QCOMPARE(drawnBy(body).join(u';'), expected);
}

void WidgetWalkTest::localeNumbers() {
    const QByteArray body = "<widget><frame x='1,5' y='2.5' width='1.000' height='wahr'/></widget>";
    // German: "1,5" is one and a half (rounded to even: 2), "2.5" groups to 25, "1.000" is a
    // thousand, and "wahr" is true.
    QCOMPARE(drawnBy(body, QLocale(QLocale::German, QLocale::Germany)),
             QStringList{QStringLiteral("dotted 2 25 1002 26")});
    // English: "1,5" groups to 15, "2.5" rounds to 2, "1.000" is one and "wahr" nothing.
    QCOMPARE(drawnBy(body, kEnglish), QStringList{QStringLiteral("dotted 15 2 16 26")});
}

void WidgetWalkTest::defaultsDeclaredInTheFile() {
    ScratchDir dir;
    const QString path = dir.write(
        QStringLiteral("dtd.xml"),
        "<!DOCTYPE widget_description [\n"
        "  <!ATTLIST frame border CDATA 'yes' width CDATA '50'>\n"
        "]>\n"
        "<widget_description><widget><frame/><frame x='1' width='2' border='no'/></widget>"
        "</widget_description>");
    XmlDocument doc;
    RecordingTarget target;
    QVERIFY(OpenLayout(doc, target, path, kEnglish).loaded);
    QCOMPARE(target.calls.mid(1, 2),
             (QStringList{QStringLiteral("solid 0 0 50 24"), QStringLiteral("dotted 1 0 3 24")}));
}

void WidgetWalkTest::originIsPassedIn() {
    ScratchDir dir;
    XmlDocument doc;
    const Node widget =
        firstWidget(doc, dir,
                    "<widget_description><widget><frame/><frame x='5' y='-5' border='yes'/>"
                    "<widget><frame x='1' y='1'/></widget></widget></widget_description>");
    RecordingTarget target;
    WidgetWalk walk(target, kEnglish);
    walk.DrawWidget(widget, 100, 200);
    QCOMPARE(target.calls, (QStringList{QStringLiteral("dotted 100 200 124 224"),
                                        QStringLiteral("solid 105 195 129 219"),
                                        QStringLiteral("dotted 106 196 130 220")}));

    // DrawFrame moves the caller's origin to the frame's top-left corner.
    std::int32_t x = 7, y = 8;
    walk.DrawFrame(widget.ChildNodes().Item(1), x, y);
    QCOMPARE(x, 12);
    QCOMPARE(y, 3);
}

void WidgetWalkTest::overflowNearTheTop_data() {
    QTest::addColumn<std::int32_t>("originX");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("expected");
    constexpr auto max = std::numeric_limits<std::int32_t>::max();
    constexpr auto min = std::numeric_limits<std::int32_t>::min();

    // x = max at origin 1 leaves the range: Left stays on the origin.
    QTest::newRow("x sum overflows")
        << 1 << QByteArray("x='2147483647' width='5'") << QStringLiteral("dotted 1 0 6 24");
    // A width whose sum leaves the range gives the default width.
    QTest::newRow("width sum overflows")
        << 0 << QByteArray("x='2147483640' width='100'")
        << QStringLiteral("dotted 2147483640 0 %1 24").arg(std::int32_t(2147483640u + 24u));
    // The default width wraps round: Left + 24 modulo 2^32.
    QTest::newRow("default width wraps")
        << 0 << QByteArray("x='2147483630'")
        << QStringLiteral("dotted 2147483630 0 %1 24").arg(min + 6);
    QTest::newRow("negative sum in range")
        << -100 << QByteArray("x='-2147483548' width='-1'")
        << QStringLiteral("dotted %1 0 %2 24").arg(min).arg(min + 24);
    QTest::newRow("largest x at origin 0") << 0 << QByteArray("x='2147483647' width='0'")
                                           << QStringLiteral("dotted %1 0 %1 24").arg(max);
}

void WidgetWalkTest::overflowNearTheTop() {
    QFETCH(std::int32_t, originX);
    QFETCH(QByteArray, frame);
    QFETCH(QString, expected);
    ScratchDir dir;
    XmlDocument doc;
    const Node widget = firstWidget(doc, dir,
                                    "<widget_description><widget><frame " + frame +
                                        "/></widget></widget_description>");
    RecordingTarget target;
    WidgetWalk(target, kEnglish).DrawWidget(widget, originX, 0);
    QCOMPARE(target.calls, QStringList{expected});
}

void WidgetWalkTest::deepNestingDoesNotExhaustTheStack() {
    // As deep as the parser allows: every level is walked, each one pixel further.
    constexpr int depth = 250;
    QByteArray body;
    for (int i = 0; i < depth; ++i)
        body += "<widget><frame x='1' y='1' width='1' height='1'/>";
    for (int i = 0; i < depth; ++i)
        body += "</widget>";
    const QStringList calls = drawnBy(body);
    QCOMPARE(calls.size(), depth);
    QCOMPARE(calls.last(), QStringLiteral("dotted %1 %1 %2 %2").arg(depth).arg(depth + 1));
}

void WidgetWalkTest::failureEndsTheWalkAndKeepsWhatWasDrawn() {
    ScratchDir dir;
    const QString path = dir.write(
        QStringLiteral("f.xml"),
        "<widget_description><widget><frame x='1'/><frame x='2'/><widget><frame x='3'/></widget>"
        "</widget><widget><frame x='4'/></widget></widget_description>");
    XmlDocument doc;
    RecordingTarget target;
    target.failAfter = 2;
    const OpenOutcome outcome = OpenLayout(doc, target, path, kEnglish);
    QVERIFY(!outcome.loaded);
    QCOMPARE(outcome.statusText,
             path + QStringLiteral(" failed: Leinwand/Bild erlaubt kein Zeichnen"));
    // Reset and the first two frames; no third frame, no refresh.
    QCOMPARE(target.calls,
             (QStringList{QStringLiteral("ResetMap"), QStringLiteral("dotted 1 0 25 24"),
                          QStringLiteral("dotted 3 0 27 24")}));
}

QTEST_GUILESS_MAIN(WidgetWalkTest)
#include "tst_WidgetWalk.moc"
