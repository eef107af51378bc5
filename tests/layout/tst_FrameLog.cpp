// What the walk tells its listener: each frame's rectangle, pen, place in the file and XPath,
// and why a coordinate took its default. Listening must not change what is drawn.
#include "RecordingTarget.h"
#include "TestSupport.h"

#include "layout/FrameLog.h"
#include "layout/OpenLayout.h"

#include <QTest>

using namespace lyremap;
using namespace Qt::StringLiterals;
using lyremap::test::RecordingTarget;
using lyremap::test::ScratchDir;

namespace {

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

// Records the fallbacks of every frame besides logging it.
class FallbackLog final : public WalkListener {
public:
    FrameLog log;
    QStringList fallbacks; // "x:NotANumber" and the like, one line per frame
    void rootFound(const Node& root) override { log.rootFound(root); }
    void widgetEntered(const Node& widget, int ordinal) override {
        log.widgetEntered(widget, ordinal);
    }
    void widgetLeft() override { log.widgetLeft(); }
    void frameDrawn(const Node& frame, int ordinal, const FrameOutcome& outcome) override {
        log.frameDrawn(frame, ordinal, outcome);
        static const char* const names[] = {"x", "y", "width", "height"};
        static const char* const reasons[] = {"None", "Absent", "NotANumber", "OutOfRange"};
        QStringList line;
        for (std::size_t k = 0; k < 4; ++k)
            if (outcome.fallback[k] != Fallback::Absent)
                line << QString::fromLatin1(names[k]) + u':' +
                            QString::fromLatin1(reasons[int(outcome.fallback[k])]);
        fallbacks << line.join(u' ');
    }
    void passedOver(const Node& child, const Node& parent) override {
        passed << child.NodeName() + u'<' + parent.NodeName();
    }
    void walkUndone() override {
        log.walkUndone();
        fallbacks.clear();
        passed.clear();
    }
    QStringList passed; // "CHILD<PARENT" by their names, one per child passed over
};

} // namespace

class FrameLogTest : public QObject {
    Q_OBJECT

private slots:
    void frames_data();
    void frames();
    void fallbacks_data();
    void fallbacks();
    void passedOver_data();
    void passedOver();
};

void FrameLogTest::frames_data() {
    QTest::addColumn<QByteArray>("layout");
    // One entry per frame: "LINE:COLUMN XPATH PEN L T R B".
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("siblings of one name count apart from other names")
        << QByteArray(
               "<widget_description>\n"
               "<widget><frame x='1' border='yes'/><x/><frame/></widget>\n"
               "<Widget><frame/></Widget>\n"
               "<widget>\n  <widget/>\n  <widget><FRAME y='2'/><frame/></widget>\n</widget>\n"
               "</widget_description>")
        << QStringList{u"2:9 /widget_description/widget[1]/frame[1] solid 1 0 25 24"_s,
                       u"2:40 /widget_description/widget[1]/frame[2] dotted 1 0 25 24"_s,
                       u"3:9 /widget_description/Widget[1]/frame[1] dotted 0 0 24 24"_s,
                       u"6:11 /widget_description/widget[2]/widget[2]/FRAME[1] dotted 0 2 24 26"_s,
                       u"6:25 /widget_description/widget[2]/widget[2]/frame[1] dotted 0 2 24 26"_s};
    QTest::newRow("a frame after the nested widgets is drawn first")
        << QByteArray("<widget_description><widget><widget><frame x='5'/></widget>"
                      "<frame x='10' y='10' width='1' height='1'/></widget></widget_description>")
        << QStringList{
               u"1:60 /widget_description/widget[1]/frame[1] dotted 10 10 11 11"_s,
               u"1:37 /widget_description/widget[1]/widget[1]/frame[1] dotted 15 10 39 34"_s};
    QTest::newRow("a prefixed root keeps its prefix; a frame inside an entity is not drawn")
        << QByteArray("<!DOCTYPE p:widget_description [<!ENTITY f '<frame x=\"3\"/>'>]>\n"
                      "<p:widget_description xmlns:p='urn:x'>\n\t<widget>&f;<frame/></widget>"
                      "</p:widget_description>")
        << QStringList{u"3:13 /p:widget_description/widget[1]/frame[1] dotted 0 0 24 24"_s};
}

void FrameLogTest::frames() {
    QFETCH(QByteArray, layout);
    QFETCH(QStringList, expected);
    ScratchDir dir;
    const QString path = dir.write(QStringLiteral("layout.xml"), layout);
    XmlDocument doc;
    RecordingTarget plain, listened;
    QVERIFY(OpenLayout(doc, plain, path, kEnglish).loaded);
    FrameLog log;
    QVERIFY(OpenLayout(doc, listened, path, kEnglish, &log).loaded);
    QCOMPARE(listened.calls, plain.calls);

    QStringList actual;
    for (const FrameLog::Frame& frame : log.frames())
        actual << QStringLiteral("%1:%2 %3 %4 %5 %6 %7 %8")
                      .arg(frame.position.line)
                      .arg(frame.position.column)
                      .arg(log.xpath(frame.step), QString::fromLatin1(penStyleName(frame.pen)))
                      .arg(frame.rect.Left)
                      .arg(frame.rect.Top)
                      .arg(frame.rect.Right)
                      .arg(frame.rect.Bottom);
    QCOMPARE(actual, expected);
}

void FrameLogTest::fallbacks_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("expected");
    QTest::newRow("values") << QByteArray("<frame x='5' y='0x10' width='true' height='-3'/>")
                            << u"x:None y:None width:None height:None"_s;
    QTest::newRow("not numbers")
        << QByteArray("<frame x='abc' y='' width='l00' height='5px'/>")
        << u"x:NotANumber y:NotANumber width:NotANumber height:NotANumber"_s;
    QTest::newRow("beyond 32 bits") << QByteArray("<frame x='99999999999'/>") << u"x:NotANumber"_s;
    QTest::newRow("sums out of range")
        << QByteArray("<frame x='2147483646' width='1'/><frame x='5' width='1' height='1'/>"
                      "<frame y='-2147483648' height='-1'/>")
        << u"x:None width:None;x:OutOfRange width:None height:None;y:None height:OutOfRange"_s;
}

void FrameLogTest::fallbacks() {
    QFETCH(QByteArray, frame);
    QFETCH(QString, expected);
    ScratchDir dir;
    const QString path =
        dir.write(QStringLiteral("layout.xml"), "<widget_description><widget><frame x='0' y='0'/>" +
                                                    frame + "</widget></widget_description>");
    XmlDocument doc;
    RecordingTarget target;
    FallbackLog listener;
    QVERIFY(OpenLayout(doc, target, path, kEnglish, &listener).loaded);
    QCOMPARE(listener.fallbacks.mid(1).join(u';'), expected);
}

void FrameLogTest::passedOver_data() {
    QTest::addColumn<QByteArray>("layout");
    QTest::addColumn<QStringList>("expected"); // "CHILD<PARENT", in the order the walk tells
    QTest::newRow("children of the root and of entered widgets, not of frames")
        << QByteArray("<!DOCTYPE widget_description [<!ENTITY e '<frame/>'>]>"
                      "<widget_description>text<frame/><widget>&e;<frame><widget/></frame>"
                      "<label/><!--c--><p:widget xmlns:p='urn:p'/><widget><x/></widget></widget>"
                      "<?frame?></widget_description>")
        << QStringList{u"#text<widget_description"_s,
                       u"frame<widget_description"_s,
                       u"e<widget"_s,
                       u"label<widget"_s,
                       u"#comment<widget"_s,
                       u"p:widget<widget"_s,
                       u"x<widget"_s,
                       u"frame<widget_description"_s};
    QTest::newRow("a widget named through an entity is entered")
        << QByteArray("<!DOCTYPE widget_description [<!ENTITY widget '<y/>'>]>"
                      "<widget_description><widget>&widget;</widget></widget_description>")
        << QStringList{u"y<widget"_s};
}

void FrameLogTest::passedOver() {
    QFETCH(QByteArray, layout);
    QFETCH(QStringList, expected);
    ScratchDir dir;
    const QString path = dir.write(QStringLiteral("layout.xml"), layout);
    XmlDocument doc;
    RecordingTarget target;
    FallbackLog listener;
    QVERIFY(OpenLayout(doc, target, path, kEnglish, &listener).loaded);
    QCOMPARE(listener.passed, expected);
}

QTEST_GUILESS_MAIN(FrameLogTest)
#include "tst_FrameLog.moc"
