// The compact tree against libxml2's own, which the test builds itself: every file of the W3C
// suite and a list of tricky documents load to the same outcome, the same nodes, names and
// attribute values; the allocation-free accessors agree with the ordinary ones.
#include "TestSupport.h"
#include "XmlAttackFiles.h"

#include "LibxmlReference.h"

#include "layout/Conversion.h"
#include "layout/xml/XmlDocument.h"

#include <QDirIterator>
#include <QSet>
#include <QTest>

#include <functional>
#include <optional>

using namespace Qt::StringLiterals;

using lyremap::AttributeSet;
using lyremap::EDOMParseError;
using lyremap::Exception;
using lyremap::Node;
using lyremap::NodeType;
using lyremap::XmlDocument;
using lyremap::test::attributeNamesIn;
using lyremap::test::LibxmlReference;
using lyremap::test::NodeFacts;
using lyremap::test::ScratchDir;

namespace {

// Everything a caller can learn about NODE and below, one line per node. Also checks that the
// allocation-free accessors agree with the ordinary ones.
void dump(const Node& node, const QStringList& names, int depth, QStringList& out) {
    NodeFacts facts;
    facts.type = int(node.nodeType());
    facts.name = node.NodeName();
    facts.localName = node.LocalName();
    facts.namespaceUri = node.NamespaceURI();
    facts.children = node.ChildNodes().Count();
    QCOMPARE(node.HasChildNodes(), facts.children > 0);
    for (const QString& attribute : names) {
        const std::optional<QString> value = node.AttributeValue(attribute);
        const QByteArray utf8 = attribute.toUtf8();
        const AttributeSet set{std::string_view(utf8.constData(), std::size_t(utf8.size()))};
        std::optional<std::string_view> read[1];
        node.ReadAttributes(set, read);
        QCOMPARE(read[0].has_value(), value.has_value());
        if (value) {
            QCOMPARE(QString::fromUtf8(read[0]->data(), qsizetype(read[0]->size())), *value);
            facts.attributes << attribute + u"=\""_s + *value + u'"';
        }
    }
    for (const QString& word : {u"widget"_s, u"frame"_s, facts.name, facts.name.toUpper()})
        QCOMPARE(lyremap::nameTestUtf8(node.NodeNameUtf8(), word),
                 lyremap::nameTest(facts.name, word));
    out << facts.line(depth);
    if (depth > 300)
        return;
    for (lyremap::ChildCursor child(node); !child.atEnd(); child.next())
        dump(child.node(), names, depth + 1, out);
}

// Whether a refusal is the loader's own, beyond what libxml2 checks.
bool refusedByTheLoader(const QString& reason) {
    for (const char16_t* own :
         {u"Die Entitäten", u"Die Vorgabewerte", u"Das Element ", u"Die Kodierung"})
        if (reason.startsWith(QStringView(own)))
            return true;
    return false;
}

// Loads PATH with the compact tree and with libxml2's, and compares the outcomes line by line,
// naming the first difference.
void compareTrees(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList names = attributeNamesIn(file.read(1 << 20));
    const LibxmlReference reference(path);
    XmlDocument document;
    try {
        document.LoadFromFile(path);
    } catch (const EDOMParseError& failure) {
        if (refusedByTheLoader(failure.report().reason))
            return;
        QVERIFY2(!reference.refusal().isEmpty(),
                 qPrintable(path + u" refused: "_s + failure.message()));
        QCOMPARE(failure.report().reason, reference.refusal());
        return;
    }
    QVERIFY2(reference.refusal().isEmpty(),
             qPrintable(path + u" loaded, libxml2: "_s + reference.refusal()));
    QStringList compact;
    dump(document.DocumentNode(), names, 0, compact);
    try {
        compact << u"root: "_s + document.FindTopLevelNode(u"widget_description"_s).NodeName();
    } catch (const Exception&) {
        compact << u"no root"_s;
    }
    const QStringList libxml = reference.dump(names);
    for (qsizetype i = 0; i < std::min(compact.size(), libxml.size()); ++i)
        if (compact[i] != libxml[i])
            QFAIL(qPrintable(path + u"\nline "_s + QString::number(i) + u"\ncompact: "_s +
                             compact[i] + u"\nlibxml:  "_s + libxml[i]));
    QCOMPARE(compact.size(), libxml.size());
}

} // namespace

class CompactTreeNodesTest : public QObject {
    Q_OBJECT

private slots:
    void sameTreeForTheW3CSuite();
    void sameTreeForTrickyDocuments_data();
    void sameTreeForTrickyDocuments();
    void childListsOwnNoDocument();
    void attributeSetFollowsTheLoad();
};

void CompactTreeNodesTest::sameTreeForTheW3CSuite() {
    for (const auto& [name, bytes] : lyremap::test::xmlAttackFiles()) {
        compareTrees(lyremap::test::xmlAttackDir() + u'/' + name);
        if (QTest::currentTestFailed())
            return;
    }
    const QString suiteDir = lyremap::test::w3cSuiteDir();
    if (suiteDir.isEmpty())
        QSKIP(lyremap::test::w3cSuiteMissing);
    QDirIterator files(suiteDir, {u"*.xml"_s}, QDir::Files, QDirIterator::Subdirectories);
    int count = 0;
    while (files.hasNext()) {
        compareTrees(files.next());
        if (QTest::currentTestFailed())
            return;
        ++count;
    }
    QVERIFY2(count > 1000, "the W3C suite is missing");
}

void CompactTreeNodesTest::sameTreeForTrickyDocuments_data() {
    QTest::addColumn<QByteArray>("document");
    // The number of children of the root element (white space alone is no child), as libxml2's
    // tree has it; -1 when the document is refused.
    QTest::addColumn<int>("rootChildren");

    QTest::newRow("CDATA sections with white space between")
        << QByteArray("<r><![CDATA[a]]>  <![CDATA[b]]>\n<![CDATA[c]]></r>") << 1;
    QTest::newRow("CDATA after text") << QByteArray("<r>t<![CDATA[a]]>  <![CDATA[b]]></r>") << 3;
    QTest::newRow("CDATA, preserved space")
        << QByteArray("<r xml:space='preserve'><![CDATA[a]]>  <![CDATA[b]]></r>") << 2;
    QTest::newRow("CDATA, element content declared")
        << QByteArray(
               "<!DOCTYPE r [<!ELEMENT r (#PCDATA|b)*>]><r><b/>  <![CDATA[a]]>  <![CDATA[b]]></r>")
        << 3;
    QTest::newRow("CDATA, element-only declared")
        << QByteArray("<!DOCTYPE r [<!ELEMENT r (b)*>]><r><b/>  <![CDATA[a]]>  <![CDATA[b]]></r>")
        << 2;
    QTest::newRow("text runs joined across references")
        << QByteArray("<r>a&amp;b&#65;c  <b/>  &lt; <!--c--> </r>") << 4;
    QTest::newRow("white space only, every kind")
        << QByteArray("<r> \t\r\n<b> </b>\n <?p x?> <!-- --> </r>") << 3;
    QTest::newRow("prolog and epilog")
        << QByteArray(
               "<?xml version='1.0'?><!--a--><?widget_description?><!DOCTYPE widget_description>"
               "<!--b--><widget_description/><!--c--><?d?>")
        << 0;
    QTest::newRow("namespaces and the xml prefix")
        << QByteArray("<p:widget_description xmlns:p='urn:p' xmlns='urn:d' xmlns:xml="
                      "'http://www.w3.org/XML/1998/namespace' xml:lang='de' p:x='1' x='2'>"
                      "<widget xmlns=''/><p:frame xmlns:p='urn:q&amp;r'/></p:widget_description>")
        << 2;
    QTest::newRow("defaults from the DTD")
        << QByteArray(
               "<!DOCTYPE r [<!ATTLIST frame x CDATA '5' border CDATA #FIXED 'yes' y CDATA #IMPLIED"
               " xmlns:q CDATA 'urn:q'>]><r><frame/><frame x='1'/></r>")
        << 2;
    QTest::newRow("attribute values normalised and referenced")
        << QByteArray("<!DOCTYPE r [<!ATTLIST r t NMTOKENS #IMPLIED>]><r t='  a\n b ' "
                      "u='a&amp;b&#x9;&#60;'"
                      " v='&#38;#38;' w=''/>")
        << 0;
    QByteArray lengths("<r xmlns:p='urn:odd'"); // values around the record's inline limit
    for (int size : {0, 1, 6, 7, 8, 9, 15, 17, 600000})
        lengths += " a" + QByteArray::number(size) + "='" + QByteArray(size, 'v') + "' p:b" +
                   QByteArray::number(size) + "='" + QByteArray(size % 5, 'w') + '\'';
    QTest::newRow("attribute values of many lengths") << lengths + "/>" << 0;
    QTest::newRow("entities declared, shared content")
        << QByteArray("<!DOCTYPE r [<!ENTITY e '<b x=\"1\"/>t'><!ENTITY t 'T'>]><r>&e;<c "
                      "a='&t;x'/>&e;</r>")
        << 3;
    QTest::newRow("undeclared entity") << QByteArray("<r>&e;</r>") << -1;
    QTest::newRow("undeclared entity, external DTD")
        << QByteArray("<!DOCTYPE r SYSTEM 'none.dtd'><r><b/>&e;</r>") << -1;
    QTest::newRow("comments and PIs inside the DTD")
        << QByteArray("<!DOCTYPE r [<!--x--><?p q?><!ELEMENT r ANY>]><r><?p q?></r>") << 1;
    QByteArray deep;
    for (int i = 0; i < 300; ++i)
        deep += "<w>";
    QTest::newRow("nesting beyond the limit") << deep << -1;
    QTest::newRow("not well-formed") << QByteArray("<r><a></b></r>") << -1;
    QTest::newRow("second root") << QByteArray("<r/><s/>") << -1;
}

void CompactTreeNodesTest::sameTreeForTrickyDocuments() {
    QFETCH(QByteArray, document);
    QFETCH(int, rootChildren);
    ScratchDir scratch;
    const QString path = scratch.write(u"tricky.xml"_s, document);
    compareTrees(path);

    XmlDocument xmlDoc;
    if (rootChildren < 0) {
        QVERIFY_THROWS_EXCEPTION(Exception, xmlDoc.LoadFromFile(path));
        return;
    }
    xmlDoc.LoadFromFile(path);
    const lyremap::NodeList& top = xmlDoc.DocumentNode().ChildNodes();
    for (int i = 0; i < top.Count(); ++i)
        if (top.Item(i).nodeType() == NodeType::Element)
            QCOMPARE(top.Item(i).ChildNodes().Count(), rootChildren);
}

void CompactTreeNodesTest::childListsOwnNoDocument() {
    // Handles inside child lists point at the document that owns the lists; a copy taken out
    // of a list must keep the document alive by itself.
    ScratchDir scratch;
    const QString path = scratch.write(u"l.xml"_s, "<r><a x='7'><b/></a></r>");
    std::weak_ptr<int> probe;
    Node kept;
    {
        XmlDocument xmlDoc;
        xmlDoc.LoadFromFile(path);
        kept = xmlDoc.DocumentNode().ChildNodes().Item(0).ChildNodes().Item(0);
        xmlDoc.Close();
        xmlDoc.LoadFromFile(path); // a new load replaces the document kept by nothing else
    }
    QCOMPARE(kept.NodeName(), u"a"_s);
    QCOMPARE(kept.AttributeValue(u"x"_s), std::optional<QString>(u"7"_s));
    const Node child = kept.ChildNodes().Item(0);
    kept = Node();
    QCOMPARE(child.NodeName(), u"b"_s);
    QVERIFY(!child.HasChildNodes());
}

void CompactTreeNodesTest::attributeSetFollowsTheLoad() {
    // One prepared name asked of documents that number their attribute names differently,
    // alternately and after loads that reuse the memory of earlier ones.
    ScratchDir scratch;
    const QString first = scratch.write(u"a.xml"_s, "<r><f a='1' x='2'/></r>");
    const QString second = scratch.write(u"b.xml"_s, "<r><f x='3' a='4'/></r>");
    const QString none = scratch.write(u"c.xml"_s, "<r><f a='5'/></r>");
    const QString entities =
        scratch.write(u"d.xml"_s, "<!DOCTYPE r [<!ENTITY e 'E'>]><r><f x='&e;'/></r>");
    const AttributeSet x{"x"};
    const auto frameOf = [](XmlDocument& document) {
        return document.FindTopLevelNode(u"r"_s).ChildNodes().Item(0);
    };
    const auto read = [&](const Node& frame) {
        std::optional<std::string_view> value[1];
        frame.ReadAttributes(x, value);
        if (!value[0])
            return u"absent"_s;
        return QString::fromUtf8(value[0]->data(), qsizetype(value[0]->size()));
    };
    XmlDocument a, b;
    a.LoadFromFile(first);
    b.LoadFromFile(second);
    const Node frameA = frameOf(a);
    const Node frameB = frameOf(b);
    for (int round = 0; round < 3; ++round) {
        QCOMPARE(read(frameA), u"2"_s);
        QCOMPARE(read(frameB), u"3"_s);
    }
    for (int round = 0; round < 3; ++round) {
        b.LoadFromFile(round % 2 == 0 ? none : second);
        QCOMPARE(read(frameOf(b)), round % 2 == 0 ? u"absent"_s : u"3"_s);
    }
    b.LoadFromFile(entities);
    QCOMPARE(read(frameOf(b)), u"E"_s);
    QCOMPARE(frameOf(b).AttributeValue(u"x"_s), std::optional<QString>(u"E"_s));
}

QTEST_GUILESS_MAIN(CompactTreeNodesTest)
#include "tst_CompactTreeNodes.moc"
