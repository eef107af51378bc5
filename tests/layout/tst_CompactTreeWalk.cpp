// The walk over the compact tree against a walk over libxml2's own tree: random layouts, with
// and without a DTD, its defaults and entities, draw the same calls and the same outcome.
#include "TestSupport.h"

#include "LibxmlReference.h"
#include "RecordingTarget.h"

#include "layout/Conversion.h"
#include "layout/OpenLayout.h"
#include "layout/xml/XmlDocument.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

using lyremap::XmlDocument;
using lyremap::test::LibxmlReference;
using lyremap::test::ScratchDir;

class CompactTreeWalkTest : public QObject {
    Q_OBJECT

private slots:
    void walkDrawsTheSameOnBothTrees_data();
    void walkDrawsTheSameOnBothTrees();
};

namespace {

// A layout of random nesting, names, attributes and other content, the same for each SEED.
QByteArray randomLayout(quint32 seed, const QByteArray& prolog) {
    QRandomGenerator random(seed);
    // Space-separated; "w\xc3\xad" "dget" and "FRAME\xc3\xa4" are no widget and no frame.
    const QByteArrayList names = QByteArray("widget frame Widget FRAME frame widget frame widget "
                                            "frame widget frame p:frame p:widget other "
                                            "w\xc3\xad"
                                            "dget FRAME\xc3\xa4")
                                     .split(' ');
    const char* attributes[] = {"x", "y", "width", "height", "border", "X", "p:x", "y"};
    const char* values[] = {"10",  "-7",          "0",          "+3",          " 7",
                            "1,5", "0x1F",        "$FFFFFFFF",  "true",        "False",
                            "",    "yes",         "YES",        "yes ",        "no",
                            "abc", "99999999999", "2147483647", "-2147483648", "\xd9\xa3",
                            "1e2", "&#x35;",      "&amp;"};
    const auto pick = [&](const auto& list) {
        return QByteArray(list[random.bounded(int(std::size(list)))]);
    };
    QByteArray xml = prolog + "<widget_description xmlns:p='urn:p'>";
    QList<QByteArray> open;
    for (int step = 0; step < 400; ++step) {
        const int choice = random.bounded(10);
        if (choice < 4 && open.size() < 12) {
            // Mostly widgets at the top, where the walk starts.
            const QByteArray name =
                open.isEmpty() && random.bounded(4) != 0 ? QByteArray("widget") : pick(names);
            xml += '<' + name;
            QSet<QByteArray> used;
            for (int a = random.bounded(6); a > 0; --a) {
                const QByteArray attribute = pick(attributes);
                if (used.contains(attribute))
                    continue;
                used.insert(attribute);
                xml += ' ' + attribute + "='" + pick(values) + '\'';
            }
            if (random.bounded(3) == 0) {
                xml += "/>";
            } else {
                xml += '>';
                open.append(name);
            }
        } else if (choice < 7 && !open.isEmpty()) {
            xml += "</" + open.takeLast() + '>';
        } else if (choice == 7) {
            xml += random.bounded(2) ? "<?frame x='1'?>" : "<?widget?>";
        } else if (choice == 8) {
            // The entities row declares w and f; elsewhere they stay comments.
            const bool entities = prolog.contains("ENTITY w");
            xml += random.bounded(2) ? (entities ? "&w;" : "<!-- c -->")
                                     : (entities ? "&f;" : "<![CDATA[t]]>");
        } else {
            xml += random.bounded(2) ? "\n  " : "text";
        }
    }
    while (!open.isEmpty())
        xml += "</" + open.takeLast() + '>';
    return xml + "</widget_description>";
}

const QLocale kGerman(QLocale::German, QLocale::Germany);

QStringList drawnBy(const QString& path) {
    XmlDocument document;
    lyremap::test::RecordingTarget target;
    const lyremap::OpenOutcome outcome = lyremap::OpenLayout(document, target, path, kGerman);
    return target.calls << outcome.statusText;
}

} // namespace

void CompactTreeWalkTest::walkDrawsTheSameOnBothTrees_data() {
    QTest::addColumn<QByteArray>("prolog");
    QTest::addColumn<quint32>("firstSeed");
    // Attributes are found among the written ones, the DTD's defaults and in entities.
    QTest::newRow("no DTD") << QByteArray() << 1u;
    QTest::newRow("DTD without attributes")
        << QByteArray("<!DOCTYPE widget_description [<!ELEMENT frame ANY>]>") << 101u;
    QTest::newRow("DTD defaults")
        << QByteArray("<!DOCTYPE widget_description [<!ATTLIST frame x CDATA '4' "
                      "border CDATA 'Yes'>]>")
        << 201u;
    QTest::newRow("entities")
        << QByteArray("<!DOCTYPE widget_description [<!ENTITY e '5'>"
                      "<!ENTITY f '<frame x=\"&e;\" y=\"2\"/><frame border=\"yes\"/>'>"
                      "<!ENTITY w '<widget><frame x=\"1\"/>&f;<widget>&f;</widget></widget>'>]>")
        << 301u;
}

void CompactTreeWalkTest::walkDrawsTheSameOnBothTrees() {
    QFETCH(QByteArray, prolog);
    QFETCH(quint32, firstSeed);
    ScratchDir scratch;
    int drawn = 0;
    for (quint32 seed = firstSeed; seed < firstSeed + 40; ++seed) {
        const QString path = scratch.write(u"walk.xml"_s, randomLayout(seed, prolog));
        const QStringList compact = drawnBy(path);
        const LibxmlReference reference(path);
        QCOMPARE(compact, reference.drawing(kGerman, path + u" loaded."_s));
        QVERIFY2(compact.last().endsWith(u" loaded."_s), qPrintable(compact.last()));
        drawn += int(compact.size()) - 3; // ResetMap, RefreshMap and the outcome
    }
    QVERIFY2(drawn > 40 * 8, qPrintable(QString::number(drawn))); // they draw plenty
}

QTEST_GUILESS_MAIN(CompactTreeWalkTest)
#include "tst_CompactTreeWalk.moc"
