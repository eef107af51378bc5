// The loader never reads external content: external entities and DTDs, in content, attribute
// values and parameter entities, refer to local files beside the document; these are proven
// unread with inotify and by a marker that must not reach the tree.
#include "XmlConformanceTestSupport.h"

#include <QElapsedTimer>
#include <QSet>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

using lyremap::EDOMParseError;
using lyremap::Node;
using lyremap::NodeType;
using lyremap::XmlDocument;
using lyremap::test::ScratchDir;
using lyremap::test::xmlAttackDir;
using lyremap::test::xmlAttackFile;
using namespace lyremap::test;

class XmlConformanceExternalTest : public QObject {
    Q_OBJECT

private slots:
    void externalContentIsNeverRead_data();
    void externalContentIsNeverRead();
    void externalDtdBesideTheDocumentIsIgnored();
};

// Each document refers to external content: a file beside it holding the marker (URLs of the
// attack files are rewritten to point there, so no test ever names a network address). The file
// is never opened and the marker reaches no node. Whether the document loads is fixed per row.
void XmlConformanceExternalTest::externalContentIsNeverRead_data() {
    QTest::addColumn<QByteArray>("document"); // @BASE@ stands for the folder's URL
    QTest::addColumn<QString>("targetName");
    QTest::addColumn<QByteArray>("targetContent");
    QTest::addColumn<bool>("loads");

    const QByteArray marker = kMarkerContent.data();
    const QByteArray markerDefaults = "<!ATTLIST html marker CDATA 'LYREMAP-EXTERNAL-MARKER'>\n"
                                      "<!ATTLIST body marker CDATA 'LYREMAP-EXTERNAL-MARKER'>\n"
                                      "<!ENTITY % leak SYSTEM 'leak.ent'>\n%leak;\n";

    QByteArray externalFile = xmlAttackFile(u"external_file.xml"_s);
    externalFile.replace("file:///nonexistent/lyremap-attacks", "@BASE@");
    QTest::newRow("external_file.xml") << externalFile << u"simple.xml"_s << marker << true;

    QByteArray external = xmlAttackFile(u"external.xml"_s);
    external.replace("http://example.com/layouts", "@BASE@");
    QTest::newRow("external.xml") << external << u"note.xml"_s << marker << true;

    QByteArray dtd = xmlAttackFile(u"dtd.xml"_s);
    dtd.replace("http://www.w3.org/TR/xhtml1/DTD", "@BASE@");
    QTest::newRow("dtd.xml") << dtd << u"xhtml1-transitional.dtd"_s << markerDefaults << true;

    // libxml2 does not count an unread external parameter entity as a reason to tolerate an
    // undeclared entity, and refuses the reference to secret as a fatal error.
    QTest::newRow("external parameter entity")
        << QByteArray("<!DOCTYPE r [\n<!ENTITY % defs SYSTEM 'defs.ent'>\n%defs;\n]>\n"
                      "<r>&secret;</r>\n")
        << u"defs.ent"_s << "<!ENTITY secret \"" + marker + "\">\n"
        << false;
    QTest::newRow("external general entity in content")
        << QByteArray("<!DOCTYPE r [<!ENTITY ext SYSTEM 'ext.xml'>]>\n<r><e>&ext;</e></r>\n")
        << u"ext.xml"_s << marker << true;
    // An attribute value may not refer to an external entity at all.
    QTest::newRow("external general entity in content and attribute")
        << QByteArray("<!DOCTYPE r [<!ENTITY ext SYSTEM 'ext.xml'>]>\n"
                      "<r marker='&ext;'>&ext;</r>\n")
        << u"ext.xml"_s << QByteArray("LYREMAP-EXTERNAL-MARKER") << false;
    QTest::newRow("external general entity by absolute URL")
        << QByteArray("<!DOCTYPE r [<!ENTITY ext SYSTEM '@BASE@/ext.xml'>]>\n<r>&ext;</r>\n")
        << u"ext.xml"_s << marker << true;
    QTest::newRow("external DTD with a default")
        << QByteArray("<!DOCTYPE frame SYSTEM 'frame.dtd'>\n<frame/>\n") << u"frame.dtd"_s
        << QByteArray("<!ATTLIST frame marker CDATA 'LYREMAP-EXTERNAL-MARKER'>\n") << true;
}

void XmlConformanceExternalTest::externalContentIsNeverRead() {
    QFETCH(QByteArray, document);
    QFETCH(QString, targetName);
    QFETCH(QByteArray, targetContent);
    QFETCH(bool, loads);

    const ScratchDir scratch;
    const QString base = QUrl::fromLocalFile(QDir::cleanPath(scratch.path(u"."_s))).toString();
    document.replace("@BASE@", base.toUtf8());
    scratch.write(targetName, targetContent);
    scratch.write(u"leak.ent"_s, kMarkerContent.data());
    const QString path = scratch.write(u"document.xml"_s, document);

    OpenWatch watch(scratch.path(u"."_s));
    QVERIFY2(watch.valid(), "inotify is not available");
    XmlDocument doc;
    QElapsedTimer timer;
    timer.start();
    const auto failure = loadFailure(doc, path);
    QVERIFY2(timer.elapsed() < kHangGuardMs, qPrintable(u"took %1 ms"_s.arg(timer.elapsed())));

    const QSet<QString> touched = watch.touched();
    QVERIFY2(!touched.contains(targetName) && !touched.contains(u"leak.ent"_s),
             qPrintable(u"external file read: "_s + QStringList(touched.values()).join(u", ")));
    QVERIFY2(touched.contains(u"document.xml"_s), "the watch saw not even the document");
    QVERIFY2(failure.has_value() != loads, failure ? qPrintable(*failure) : "loads");
    if (!failure) {
        QCOMPARE(markerPlace(doc.DocumentNode()), QString());
        QCOMPARE(topLevelElements(doc), 1);
    }
}

// The local DTD catalogue.xml names holds a default for xml:space on p; as it is never read, p
// has no such attribute. Declarations that give frame a default x outside the document do not
// reach it either.
void XmlConformanceExternalTest::externalDtdBesideTheDocumentIsIgnored() {
    XmlDocument catalogue;
    const auto catalogueFailure = loadFailure(catalogue, xmlAttackDir() + u"/catalogue.xml"_s);
    QVERIFY2(!catalogueFailure, qPrintable(catalogueFailure.value_or(QString())));
    const Node doc = elementChildren(catalogue.FindTopLevelNode(u"catalogue"_s)).at(0);
    QCOMPARE(doc.AttributeValue(u"id").value_or(QString()), u"e-17"_s);
    const Node p = elementChildren(doc).at(0);
    QCOMPARE(p.NodeName(), u"p"_s);
    QVERIFY2(!p.AttributeValue(u"xml:space"), "catalogue.dtd was read");

    const ScratchDir scratch;
    scratch.write(u"frame.dtd"_s, "<!ATTLIST frame x CDATA 'from-dtd'>\n");
    scratch.write(u"frame.ent"_s, "<!ATTLIST frame y CDATA 'from-entity'>\n");
    const QString path =
        scratch.write(u"frame.xml"_s, "<!DOCTYPE frame SYSTEM 'frame.dtd' [\n"
                                      "<!ENTITY % more SYSTEM 'frame.ent'>\n%more;\n]>\n"
                                      "<frame/>\n");
    XmlDocument frameDoc;
    const auto frameFailure = loadFailure(frameDoc, path);
    QVERIFY2(!frameFailure, qPrintable(frameFailure.value_or(QString())));
    const Node frame = frameDoc.FindTopLevelNode(u"frame"_s);
    QVERIFY2(!frame.AttributeValue(u"x"), "the external DTD's default was applied");
    QVERIFY2(!frame.AttributeValue(u"y"), "the external parameter entity's default was applied");
}

QTEST_GUILESS_MAIN(XmlConformanceExternalTest)
#include "tst_XmlConformanceExternal.moc"
