// Attribute values the document itself declares or builds: defaults from the internal subset,
// and namespace declarations whose values hold references.
#include "XmlConformanceTestSupport.h"

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

class XmlConformanceAttributesTest : public QObject {
    Q_OBJECT

private slots:
    void internalSubsetDefaultsApply_data();
    void internalSubsetDefaultsApply();
    void namespaceNamesExpandReferences_data();
    void namespaceNamesExpandReferences();
};

// Attribute defaults declared in the internal subset are part of the document: any XML
// processor, validating or not, supplies them.
void XmlConformanceAttributesTest::internalSubsetDefaultsApply_data() {
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("value");

    const QByteArray subset = "<!DOCTYPE frame [\n"
                              "<!ATTLIST frame x CDATA 'internal' y CDATA #IMPLIED>\n"
                              "<!ATTLIST frame z NMTOKENS '  a   b  '>\n"
                              "<!ATTLIST frame x CDATA 'second declaration loses'>\n"
                              "<!ATTLIST other w CDATA 'elsewhere'>\n]>\n";
    QTest::newRow("default supplied") << subset + "<frame/>" << u"x"_s << true << u"internal"_s;
    QTest::newRow("given value wins")
        << subset + "<frame x='given'/>" << u"x"_s << true << u"given"_s;
    QTest::newRow("implied stays absent") << subset + "<frame/>" << u"y"_s << false << QString();
    QTest::newRow("tokenised default normalised")
        << subset + "<frame/>" << u"z"_s << true << u"a b"_s;
    QTest::newRow("other element's default") << subset + "<frame/>" << u"w"_s << false << QString();
}

void XmlConformanceAttributesTest::internalSubsetDefaultsApply() {
    QFETCH(QByteArray, document);
    QFETCH(QString, attribute);
    QFETCH(bool, present);
    QFETCH(QString, value);

    const ScratchDir scratch;
    XmlDocument doc;
    const auto failure = loadFailure(doc, scratch.write(u"frame.xml"_s, document));
    QVERIFY2(!failure, qPrintable(failure.value_or(QString())));
    const auto actual = doc.FindTopLevelNode(u"frame"_s).AttributeValue(attribute);
    QCOMPARE(actual.has_value(), present);
    QCOMPARE(actual.value_or(QString()), value);
}

// A namespace declaration's value is attribute text: references in it are replaced as in any
// other attribute value, and the result is the namespace name.
void XmlConformanceAttributesTest::namespaceNamesExpandReferences_data() {
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("declaration");
    QTest::addColumn<QString>("name");

    const QByteArray subset = "<!DOCTYPE r [<!ENTITY tilde '~'>]>\n";
    QTest::newRow("entity reference")
        << subset + "<r xmlns='urn:x&tilde;y'/>" << u"xmlns"_s << u"urn:x~y"_s;
    QTest::newRow("predefined entity")
        << QByteArray("<r xmlns='urn:x&amp;y'/>") << u"xmlns"_s << u"urn:x&y"_s;
    QTest::newRow("character references")
        << QByteArray("<r xmlns='urn:x&#38;y&#126;'/>") << u"xmlns"_s << u"urn:x&y~"_s;
    QTest::newRow("prefixed declaration")
        << subset + "<p:r xmlns:p='urn:x&tilde;y'/>" << u"xmlns:p"_s << u"urn:x~y"_s;
}

void XmlConformanceAttributesTest::namespaceNamesExpandReferences() {
    QFETCH(QByteArray, document);
    QFETCH(QString, declaration);
    QFETCH(QString, name);

    const ScratchDir scratch;
    XmlDocument doc;
    const auto failure = loadFailure(doc, scratch.write(u"ns.xml"_s, document));
    QVERIFY2(!failure, qPrintable(failure.value_or(QString())));
    const Node root = doc.FindTopLevelNode(u"r"_s);
    QCOMPARE(root.NamespaceURI(), name);
    QCOMPARE(root.AttributeValue(declaration).value_or(u"(none)"_s), name);
}

QTEST_GUILESS_MAIN(XmlConformanceAttributesTest)
#include "tst_XmlConformanceAttributes.moc"
