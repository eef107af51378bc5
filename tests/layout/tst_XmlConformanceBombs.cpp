// The loader against hostile files: the attack files, each with its fixed outcome, and entity
// bombs built here, exponential and quadratic, in content and in attribute values; every one
// loads or is refused within the hang guard.
#include "XmlConformanceTestSupport.h"

#include <QElapsedTimer>
#include <QTest>

using namespace Qt::StringLiterals;

using lyremap::EDOMParseError;
using lyremap::Node;
using lyremap::NodeType;
using lyremap::XmlDocument;
using lyremap::test::ScratchDir;
using lyremap::test::xmlAttackDir;
using lyremap::test::xmlAttackFile;
using namespace lyremap::test;

class XmlConformanceBombsTest : public QObject {
    Q_OBJECT

private slots:
    void attackFiles_data();
    void attackFiles();
    void generatedBombs_data();
    void generatedBombs();
};

// The hostile files, each with its fixed outcome, loaded straight from their folder within the
// hang guard. Peak memory growth is reported, not judged.
void XmlConformanceBombsTest::attackFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<QString>("root");

    // Entity a names b, b names a: libxml2 stops at the loop.
    QTest::newRow("cyclic") << u"cyclic.xml"_s << false << QString();
    // The XHTML DTD named by URL is never fetched; the document itself is plain.
    QTest::newRow("dtd") << u"dtd.xml"_s << true << u"html"_s;
    // The external entity (a URL) is declared but never read; its reference stays empty.
    QTest::newRow("external") << u"external.xml"_s << true << u"root"_s;
    // Same with a file URL whose folder does not exist.
    QTest::newRow("external_file") << u"external_file.xml"_s << true << u"root"_s;
    // A bare DTD is no document: markup declarations outside a DOCTYPE are not well-formed.
    QTest::newRow("catalogue.dtd") << u"catalogue.dtd"_s << false << QString();
    // Names catalogue.dtd beside it; that file is never read.
    QTest::newRow("catalogue") << u"catalogue.xml"_s << true << u"catalogue"_s;
    // 1000 references to one 100,000-character entity stay references to one shared text.
    QTest::newRow("quadratic") << u"quadratic.xml"_s << true << u"bomb"_s;
    QTest::newRow("simple-ns") << u"simple-ns.xml"_s << true << u"root"_s;
    QTest::newRow("simple") << u"simple.xml"_s << true << u"root"_s;
    // Its internal subset declares <!ELEMENT title #PCDATA> without the parentheses.
    QTest::newRow("catalogue-inline") << u"catalogue-inline.xml"_s << false << QString();
    // Three levels of eight references: libxml2's amplification guard refuses the nesting
    // (it reports an entity reference loop), although the expansion is only 640 characters.
    QTest::newRow("xmlbomb") << u"xmlbomb.xml"_s << false << QString();
    // One reference to a ten-character entity.
    QTest::newRow("xmlbomb2") << u"xmlbomb2.xml"_s << true << u"root"_s;
}

void XmlConformanceBombsTest::attackFiles() {
    QFETCH(QString, file);
    QFETCH(bool, loads);
    QFETCH(QString, root);

    XmlDocument doc;
    resetPeakMemory();
    const qint64 before = peakMemoryKiB();
    QElapsedTimer timer;
    timer.start();
    const auto failure = loadFailure(doc, xmlAttackDir() + u'/' + file);
    const qint64 elapsed = timer.elapsed();
    qInfo("%s: %s in %lld ms, peak memory +%lld KiB", qPrintable(file),
          failure ? "refused" : "loaded", elapsed, peakMemoryKiB() - before);

    QVERIFY2(elapsed < kHangGuardMs, qPrintable(u"took %1 ms"_s.arg(elapsed)));
    QVERIFY2(failure.has_value() != loads, failure ? qPrintable(*failure) : "loads");
    if (!loads)
        return;
    const Node top = doc.FindTopLevelNode(root);
    QCOMPARE(top.NodeName(), root);
    QCOMPARE(markerPlace(doc.DocumentNode()), QString());

    if (file == u"external.xml" || file == u"external_file.xml") {
        // The reference is kept, but nothing is behind it.
        QCOMPARE(top.ChildNodes().Count(), 1);
        const Node reference = top.ChildNodes().Item(0);
        QCOMPARE(reference.nodeType(), NodeType::EntityReference);
        QCOMPARE(reference.NodeName(), u"ee"_s);
        QVERIFY(!reference.HasChildNodes());
    } else if (file == u"quadratic.xml") {
        const auto& references = top.ChildNodes();
        QCOMPARE(references.Count(), 1000);
        QCOMPARE(references.Item(999).nodeType(), NodeType::EntityReference);
        QCOMPARE(references.Item(999).ChildNodes().Count(), 1);
    } else if (file == u"simple-ns.xml") {
        QCOMPARE(top.NamespaceURI(), u"namespace"_s);
        QCOMPARE(elementChildren(top).size(), 3u);
    }
}

// Bombs built here: the exponential one in content and in an attribute value, and the
// quadratic one moved into an attribute value. libxml2 keeps references in attribute values
// unexpanded in this mode, so a loaded file would have AttributeValue build the whole
// expansion on request; such a file has to be refused at load.
void XmlConformanceBombsTest::generatedBombs_data() {
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<qint64>("expandedChars");

    QTest::newRow("laughs in content") << laughs("<lolz>&lol9;</lolz>") << qint64(3'000'000'000);
    QTest::newRow("laughs in attribute") << laughs("<lolz a='&lol9;'/>") << qint64(3'000'000'000);

    const QByteArray quadratic = xmlAttackFile(u"quadratic.xml"_s);
    const qsizetype subsetEnd = quadratic.indexOf("]>") + 2;
    const int references = int(quadratic.count("&a;"));
    QTest::newRow("quadratic in attribute")
        << quadratic.left(subsetEnd) + "\n<bomb a='" + repeated("&a;", references) + "'/>\n"
        << qint64(references) * 100'000;
    QTest::newRow("quadratic in attribute, own entity")
        << "<!DOCTYPE b [<!ENTITY a '" + repeated("B", 20'000) + "'>]>\n<b a='" +
               repeated("&a;", 20'000) + "'/>\n"
        << qint64(400'000'000);
}

void XmlConformanceBombsTest::generatedBombs() {
    QFETCH(QByteArray, document);
    QFETCH(qint64, expandedChars);

    const ScratchDir scratch;
    const QString path = scratch.write(u"bomb.xml"_s, document);
    XmlDocument doc;
    resetPeakMemory();
    const qint64 before = peakMemoryKiB();
    QElapsedTimer timer;
    timer.start();
    const auto failure = loadFailure(doc, path);
    const qint64 elapsed = timer.elapsed();
    qInfo("%s (%lld bytes): %s in %lld ms, peak memory +%lld KiB", QTest::currentDataTag(),
          qint64(document.size()), failure ? "refused" : "loaded", elapsed,
          peakMemoryKiB() - before);

    QVERIFY2(elapsed < kHangGuardMs, qPrintable(u"took %1 ms"_s.arg(elapsed)));
    QVERIFY2(failure.has_value(),
             qPrintable(
                 u"loads; its attribute or content expands to %1 characters"_s.arg(expandedChars)));
}

QTEST_GUILESS_MAIN(XmlConformanceBombsTest)
#include "tst_XmlConformanceBombs.moc"
