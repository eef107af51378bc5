// The XPaths written for --json and --at: each frame's and widget's must be the frame log's own
// path of it, however deep the widgets nest and in whatever order the steps are asked for.
#include "RecordingTarget.h"
#include "TestSupport.h"

#include "layout/FrameLog.h"
#include "layout/OpenLayout.h"
#include "render/XPathCache.h"

#include <QRandomGenerator>
#include <QTest>

using namespace lyremap;
using lyremap::test::ScratchDir;

namespace {

// Widgets nested up to DEPTH deep, opened and closed at random, with frames of several names
// among them: COUNT elements in all.
QByteArray randomLayout(quint32 seed, int depth, int count) {
    QRandomGenerator random(seed);
    QByteArray layout = "<widget_description>";
    QList<QByteArray> open;
    for (int i = 0; i < count; ++i) {
        const int pick = random.bounded(6);
        if (pick < 2 && open.size() < depth) {
            open << (pick == 0 ? "widget" : "Widget");
            layout += '<' + open.last() + '>';
        } else if (pick == 2 && !open.isEmpty()) {
            layout += "</" + open.takeLast() + '>';
        } else if (!open.isEmpty()) {
            layout += random.bounded(3) ? "<frame x='1'/>" : "<FRAME/>";
        }
    }
    while (!open.isEmpty())
        layout += "</" + open.takeLast() + '>';
    return layout + "</widget_description>";
}

} // namespace

class XPathCacheTest : public QObject {
    Q_OBJECT

private slots:
    void pathsAreTheLogs_data() {
        QTest::addColumn<QByteArray>("layout");
        QTest::newRow("shallow, many siblings") << randomLayout(1, 3, 3000);
        QTest::newRow("deep, up and down") << randomLayout(2, 200, 6000);
        QTest::newRow("more frames than a block of the log holds") << randomLayout(3, 12, 20000);
    }
    void pathsAreTheLogs() {
        QFETCH(QByteArray, layout);
        ScratchDir dir;
        XmlDocument doc;
        FrameLog log;
        test::RecordingTarget target;
        QVERIFY(OpenLayout(doc, target, dir.write(QStringLiteral("layout.xml"), layout),
                           QLocale(QLocale::English, QLocale::UnitedStates), &log)
                    .loaded);
        QCOMPARE(qsizetype(log.frames().size()), layout.count("<frame") + layout.count("<FRAME"));
        std::vector<std::string> names;
        for (const QString& name : log.names())
            names.push_back(name.toStdString());
        XPathCache paths(log, names);
        // Drawing order first, then every step backwards, which rebuilds the chain each time.
        std::vector<std::uint32_t> order;
        for (const FrameLog::Frame& frame : log.frames())
            order.push_back(frame.step);
        for (std::uint32_t step = std::uint32_t(log.steps().size()); step-- > 0;)
            order.push_back(step);
        for (const std::uint32_t step : order) {
            std::string path;
            paths.append(path, step);
            QCOMPARE(QString::fromStdString(path), log.xpath(step));
        }
    }
};

QTEST_GUILESS_MAIN(XPathCacheTest)
#include "tst_XPathCache.moc"
