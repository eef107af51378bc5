// The open sequence: the status texts, the order of map calls and what survives a failure.
#include "RecordingTarget.h"
#include "TestSupport.h"

#include "layout/FrameLog.h"
#include "layout/OpenLayout.h"
#include "map/MapSurface.h"

#include <QDir>
#include <QTest>
#include <limits>

using namespace lyremap;
using lyremap::test::RecordingTarget;
using lyremap::test::ScratchDir;

namespace {

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

// Changes the working directory for the lifetime of the object.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const QString& path) : previous_(QDir::currentPath()) {
        QDir::setCurrent(path);
    }
    ~WorkingDirectory() { QDir::setCurrent(previous_); }

private:
    QString previous_;
};

} // namespace

class OpenLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void fullPathName_data();
    void fullPathName();
    void outcomes_data();
    void outcomes();
    void relativeNameIsMadeAbsolute();
    void secondOpenReplacesTheFirst();
    void mapFailureNamesTheChosenFile();
    void walkBesideTheLoad_data();
    void walkBesideTheLoad();
};

void OpenLayoutTest::fullPathName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("absolute") << "/a/b.xml"
                              << "/a/b.xml";
    QTest::newRow("dots folded") << "/a/./b/../c.xml"
                                 << "/a/c.xml";
    QTest::newRow("double slashes") << "/a//b.xml"
                                    << "/a/b.xml";
    QTest::newRow("relative") << "x/../y.xml" << QDir::currentPath() + "/y.xml";
    QTest::newRow("empty stays empty") << ""
                                       << "";
}

void OpenLayoutTest::fullPathName() {
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(lyremap::fullPathName(name), expected);
}

void OpenLayoutTest::outcomes_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QString>("message"); // after "<path> loaded." or "<path> failed: "
    QTest::addColumn<QStringList>("calls");

    const QString reset = QStringLiteral("ResetMap");
    const QString refresh = QStringLiteral("RefreshMap");
    QTest::newRow("drawn") << QByteArray("<widget_description><widget><frame/></widget>"
                                         "</widget_description>")
                           << true << QString()
                           << QStringList{reset, QStringLiteral("dotted 0 0 24 24"), refresh};
    QTest::newRow("root without children")
        << QByteArray("<widget_description/>") << true << QString() << QStringList{reset, refresh};
    QTest::newRow("top-level names in any case")
        << QByteArray("<widget_description><WIDGET><frame/></WIDGET><Widget><frame x='1'/>"
                      "</Widget><frame x='9'/></widget_description>")
        << true << QString()
        << QStringList{reset, QStringLiteral("dotted 0 0 24 24"),
                       QStringLiteral("dotted 1 0 25 24"), refresh};
    QTest::newRow("root of another name")
        << QByteArray("<Widget_Description><widget><frame/></widget></Widget_Description>") << false
        << QStringLiteral("Das Dokument hat kein Element widget_description auf oberster Ebene")
        << QStringList{reset};
    QTest::newRow("not well-formed")
        << QByteArray("<widget_description>\n<widget></frame>\n</widget_description>") << false
        << QStringLiteral("Opening and ending tag mismatch: widget line 2 and frame\r\nLinie: 2\r\n"
                          "<widget></frame>")
        << QStringList{reset};
    QTest::newRow("empty file") << QByteArray() << false
                                << QStringLiteral("Document is empty\r\nLinie: 1\r\n")
                                << QStringList{reset};
}

void OpenLayoutTest::outcomes() {
    QFETCH(QByteArray, content);
    QFETCH(bool, loaded);
    QFETCH(QString, message);
    QFETCH(QStringList, calls);
    ScratchDir dir;
    const QString path = dir.write(QStringLiteral("layout.xml"), content);
    XmlDocument doc;
    RecordingTarget target;
    const OpenOutcome outcome = OpenLayout(doc, target, path, kEnglish);
    QCOMPARE(outcome.loaded, loaded);
    QCOMPARE(outcome.statusText, loaded ? path + QStringLiteral(" loaded.")
                                        : path + QStringLiteral(" failed: ") + message);
    QCOMPARE(target.calls, calls);
    QCOMPARE(doc.FileName(), path);
}

void OpenLayoutTest::relativeNameIsMadeAbsolute() {
    ScratchDir dir;
    const QString path = dir.write(QStringLiteral("rel.xml"), "<widget_description/>");
    QDir(dir.path(QString())).mkdir(QStringLiteral("sub"));
    const WorkingDirectory cwd(dir.path(QStringLiteral("sub")));
    XmlDocument doc;
    RecordingTarget target;
    const OpenOutcome outcome = OpenLayout(doc, target, QStringLiteral("./../sub/../rel.xml"));
    QVERIFY2(outcome.loaded, qPrintable(outcome.statusText));
    QCOMPARE(outcome.statusText, QFileInfo(path).absoluteFilePath() + QStringLiteral(" loaded."));

    // A file that does not exist is an ordinary failed open, named by its absolute path.
    const OpenOutcome missing = OpenLayout(doc, target, QStringLiteral("*.xml"));
    QVERIFY(!missing.loaded);
    QCOMPARE(missing.statusText,
             QDir::currentPath() + QStringLiteral("/*.xml failed: Die Datei existiert nicht\r\n"
                                                  "Linie: 0\r\n"));
    QVERIFY(!doc.Active());
}

void OpenLayoutTest::secondOpenReplacesTheFirst() {
    ScratchDir dir;
    const QString first = dir.write(
        QStringLiteral("first.xml"),
        "<widget_description><widget><frame x='10' y='10' width='100' height='100' border='yes'/>"
        "</widget></widget_description>");
    const QString second = dir.write(QStringLiteral("second.xml"), "<widget_description/>");
    XmlDocument doc;
    MapSurface surface;
    QVERIFY(OpenLayout(doc, surface, first, kEnglish).loaded);
    QCOMPARE(surface.raster().pixel(10, 10), qRgb(0, 0, 0));
    const Node firstRoot = doc.FindTopLevelNode(QStringLiteral("widget_description"));

    QVERIFY(OpenLayout(doc, surface, second, kEnglish).loaded);
    QCOMPARE(surface.raster().pixel(10, 10), qRgb(255, 255, 255));
    QCOMPARE(surface.raster().size(), QSize(800, 600));
    QVERIFY(!(doc.FindTopLevelNode(QStringLiteral("widget_description")) == firstRoot));
    // A handle from the first document stays usable after it was replaced.
    QCOMPARE(firstRoot.ChildNodes().Count(), 1);

    // A failed open clears the map too and leaves no document held.
    QVERIFY(!OpenLayout(doc, surface, dir.path(QStringLiteral("none.xml")), kEnglish).loaded);
    QVERIFY(!doc.Active());
    QCOMPARE(doc.FileName(), dir.path(QStringLiteral("none.xml")));
}

void OpenLayoutTest::mapFailureNamesTheChosenFile() {
    ScratchDir dir;
    const QString earlier = dir.write(QStringLiteral("earlier.xml"), "<widget_description/>");
    const QString chosen = dir.write(QStringLiteral("chosen.xml"), "<widget_description/>");
    XmlDocument doc;
    RecordingTarget recorder;
    QVERIFY(OpenLayout(doc, recorder, earlier, kEnglish).loaded);

    // A raster that cannot be made: the open fails before loading, and the status names the
    // file that was chosen, not the one opened before it.
    MapSurface impossible(QSize(std::numeric_limits<int>::max(), 1));
    const OpenOutcome outcome = OpenLayout(doc, impossible, chosen, kEnglish);
    QVERIFY(!outcome.loaded);
    QCOMPARE(outcome.statusText, chosen + QStringLiteral(" failed: Systemressourcen erschöpft."));
    QVERIFY(!doc.Active());
    QVERIFY(!impossible.hasRaster());
}

void OpenLayoutTest::walkBesideTheLoad_data() {
    QTest::addColumn<bool>("anyThread"); // the walk draws on the map itself, else on a record
    QTest::addColumn<bool>("fails");     // the file ends in a syntax error
    QTest::newRow("recorded") << false << false;
    QTest::newRow("drawn in place") << true << false;
    QTest::newRow("recorded, load fails") << false << true;
    QTest::newRow("drawn in place, load fails") << true << true;
}

void OpenLayoutTest::walkBesideTheLoad() {
    QFETCH(bool, anyThread);
    QFETCH(bool, fails);
    // Enough widgets that the walk, which starts at the root's start tag, runs while the rest
    // is read. A DTD that declares an attribute makes the load read the whole file first,
    // the walk after it: both must draw and tell the same.
    QByteArray body = "<widget_description>";
    for (int i = 0; i < 3000; ++i)
        body += "<widget><frame x='" + QByteArray::number(i % 700) +
                "' border='yes'/><widget><frame y='3'/></widget></widget>";
    body += fails ? "<bad" : "</widget_description>";
    ScratchDir dir;
    const QString streamed = dir.write(QStringLiteral("streamed.xml"), body);
    const QString afterwards = dir.write(QStringLiteral("afterwards.xml"),
                                         "<!DOCTYPE widget_description [<!ATTLIST other a CDATA "
                                         "'1'>]>" +
                                             body);
    XmlDocument doc;
    RecordingTarget early, late;
    early.anyThread = late.anyThread = anyThread;
    FrameLog earlyLog, lateLog;
    const OpenOutcome outcome = OpenLayout(doc, early, streamed, kEnglish, &earlyLog);
    QCOMPARE(outcome.loaded, !fails);
    QCOMPARE(OpenLayout(doc, late, afterwards, kEnglish, &lateLog).loaded, !fails);
    QCOMPARE(earlyLog.frames().size(), fails ? 0u : 6000u);
    QCOMPARE(lateLog.frames().size(), earlyLog.frames().size());
    QCOMPARE(earlyLog.steps().size(), lateLog.steps().size());
    // Only a map that allows it is drawn on from the walk's thread, and only while loading (a
    // failing load may end before the walk draws anything).
    QVERIFY(anyThread || !early.drawnElsewhere);
    QVERIFY(fails || early.drawnElsewhere == anyThread);
    QVERIFY(!late.drawnElsewhere);
    if (!fails) {
        QCOMPARE(early.calls, late.calls);
        return;
    }
    // A walk that drew in place is undone by a second reset; a recorded one never shows.
    QCOMPARE(early.calls.last(), QStringLiteral("ResetMap"));
    QCOMPARE(early.calls.count(QStringLiteral("ResetMap")), anyThread ? 2 : 1);
    if (!anyThread)
        QCOMPARE(early.calls, QStringList{QStringLiteral("ResetMap")});
}

QTEST_GUILESS_MAIN(OpenLayoutTest)
#include "tst_OpenLayout.moc"
