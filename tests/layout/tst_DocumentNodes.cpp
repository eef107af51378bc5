// The node tree as callers see it: names and kinds, child lists and their handles, attribute
// values and the top-level lookup.
#include "TestSupport.h"
#include "XmlTestSupport.h"

#include "layout/xml/DocumentErrors.h"
#include "layout/xml/XmlDocument.h"

#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;

using lyremap::EOleException;
using lyremap::Node;
using lyremap::NodeList;
using lyremap::NodeType;
using lyremap::XmlDocument;
using lyremap::test::ScratchDir;

Q_DECLARE_METATYPE(lyremap::NodeType)

using namespace lyremap::test;

class DocumentNodesTest : public QObject {
    Q_OBJECT

private slots:
    void nodeNames_data();
    void nodeNames();
    void childLists_data();
    void childLists();
    void childListIsBuiltOnce();
    void attributeValues_data();
    void attributeValues();
    void topLevelLookup_data();
    void topLevelLookup();
};

// --- The node tree ----------------------------------------------------------------------------

void DocumentNodesTest::nodeNames_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<NodeType>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("localName");
    QTest::addColumn<QString>("namespaceURI");

    QTest::newRow("document") << u""_s << NodeType::Document << u"#document"_s << u"#document"_s
                              << QString();
    QTest::newRow("PI before the root")
        << u"0"_s << NodeType::ProcessingInstruction << u"before"_s << u"before"_s << QString();
    QTest::newRow("top-level comment")
        << u"1"_s << NodeType::Comment << u"#comment"_s << u"#comment"_s << QString();
    QTest::newRow("document type")
        << u"2"_s << NodeType::DocumentType << u"r"_s << u"r"_s << QString();
    QTest::newRow("root element") << u"3"_s << NodeType::Element << u"r"_s << u"r"_s << QString();
    QTest::newRow("comment after the root")
        << u"4"_s << NodeType::Comment << u"#comment"_s << u"#comment"_s << QString();
    QTest::newRow("prefixed element")
        << u"3/0"_s << NodeType::Element << u"p:w"_s << u"w"_s << u"urn:p"_s;
    QTest::newRow("text") << u"3/1"_s << NodeType::Text << u"#text"_s << u"#text"_s << QString();
    QTest::newRow("CDATA") << u"3/2"_s << NodeType::CDataSection << u"#cdata-section"_s
                           << u"#cdata-section"_s << QString();
    QTest::newRow("comment") << u"3/3"_s << NodeType::Comment << u"#comment"_s << u"#comment"_s
                             << QString();
    QTest::newRow("PI") << u"3/4"_s << NodeType::ProcessingInstruction << u"target"_s << u"target"_s
                        << QString();
    QTest::newRow("entity reference")
        << u"3/5"_s << NodeType::EntityReference << u"e"_s << u"e"_s << QString();
    QTest::newRow("element in an entity")
        << u"3/5/0"_s << NodeType::Element << u"b"_s << u"b"_s << QString();
    QTest::newRow("text in an entity")
        << u"3/5/1"_s << NodeType::Text << u"#text"_s << u"#text"_s << QString();
    QTest::newRow("element after white space")
        << u"3/6"_s << NodeType::Element << u"x"_s << u"x"_s << QString();
}

void DocumentNodesTest::nodeNames() {
    QFETCH(QString, path);
    QFETCH(NodeType, type);
    QFETCH(QString, name);
    QFETCH(QString, localName);
    QFETCH(QString, namespaceURI);

    const ScratchDir dir;
    XmlDocument doc;
    doc.LoadFromFile(dir.write(u"kinds.xml"_s, kEveryKind));
    const Node node = nodeAt(doc.DocumentNode(), path);
    QCOMPARE(node.nodeType(), type);
    QCOMPARE(node.NodeName(), name);
    QCOMPARE(node.LocalName(), localName);
    QCOMPARE(node.NamespaceURI(), namespaceURI);
}

void DocumentNodesTest::childLists_data() {
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("empty element") << QByteArray("<r/>") << QStringList();
    QTest::newRow("white space only") << QByteArray("<r>  \n\t \r\n </r>") << QStringList();
    QTest::newRow("elements between white space")
        << QByteArray("<r>\n  <a/>\n  <b>  </b>\n</r>") << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("comments and PIs count")
        << QByteArray("<r><!--c--><?pi data?><a/><!----><?x?></r>")
        << QStringList{u"#comment"_s, u"pi"_s, u"a"_s, u"#comment"_s, u"x"_s};
    QTest::newRow("mixed text") << QByteArray("<r>one <a/> two</r>")
                                << QStringList{u"#text"_s, u"a"_s, u"#text"_s};
    QTest::newRow("white-space CDATA kept")
        << QByteArray("<r> <![CDATA[  ]]> </r>") << QStringList{u"#cdata-section"_s};
    QTest::newRow("entity reference")
        << QByteArray("<!DOCTYPE r [<!ENTITY e \"<b/>\">]><r> &e; <c/></r>")
        << QStringList{u"e"_s, u"c"_s};
    QTest::newRow("predefined entity is text")
        << QByteArray("<r>&amp;</r>") << QStringList{u"#text"_s};
    QTest::newRow("deep nesting is one child")
        << QByteArray("<r><a><b><c/></b></a></r>") << QStringList{u"a"_s};
}

void DocumentNodesTest::childLists() {
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, names);

    const ScratchDir dir;
    XmlDocument doc;
    doc.LoadFromFile(dir.write(u"children.xml"_s, xml));
    const Node root = doc.FindTopLevelNode(u"r"_s);
    QCOMPARE(childNames(root), names);
    QCOMPARE(root.ChildNodes().Count(), int(names.size()));
    QCOMPARE(root.HasChildNodes(), !names.isEmpty());
}

void DocumentNodesTest::childListIsBuiltOnce() {
    const ScratchDir dir;
    XmlDocument doc;
    doc.LoadFromFile(dir.write(u"kinds.xml"_s, kEveryKind));
    const Node root = doc.FindTopLevelNode(u"r"_s);

    const NodeList& first = root.ChildNodes();
    const NodeList& second = root.ChildNodes();
    QCOMPARE(&first, &second);
    QCOMPARE(first.Count(), 7);
    for (int i = 0; i < first.Count(); ++i) {
        QVERIFY(first.Item(i) == second.Item(i));
        QVERIFY(first.Item(i) == root.ChildNodes().Item(i));
        QVERIFY(!first.Item(i).isNull());
        for (int j = 0; j < i; ++j)
            QVERIFY(!(first.Item(i) == first.Item(j)));
    }

    // The lookup and the document node give the handles of the document's own list.
    const Node document = doc.DocumentNode();
    QVERIFY(document == doc.DocumentNode());
    QVERIFY(document.ChildNodes().Item(3) == root);
    QVERIFY(doc.FindTopLevelNode(u"r"_s) == root);
    QCOMPARE(&document.ChildNodes(), &doc.DocumentNode().ChildNodes());

    // A reference's children are built once too; a copied handle shares its list.
    const Node reference = first.Item(5);
    const Node copy = reference;
    QVERIFY(copy == reference);
    QCOMPARE(&copy.ChildNodes(), &reference.ChildNodes());
    QVERIFY(copy.ChildNodes().Item(0) == reference.ChildNodes().Item(0));

    // Leaves have no children.
    for (const int leaf : {1, 2, 3, 4})
        QVERIFY2(!first.Item(leaf).HasChildNodes(), qPrintable(first.Item(leaf).NodeName()));
    QVERIFY(!document.ChildNodes().Item(2).HasChildNodes()); // the document type
    QVERIFY(reference.HasChildNodes());
    QVERIFY(document.HasChildNodes());

    // A null handle is only null.
    QVERIFY(Node().isNull());
    QVERIFY(Node() == Node());
    QVERIFY(!(Node() == root));
}

void DocumentNodesTest::attributeValues_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<std::optional<QString>>("value");

    const std::optional<QString> absent;
    const auto text = [](const QString& s) { return std::optional<QString>(s); };

    QTest::newRow("empty value") << u"1"_s << u"x"_s << text(QString(u""_s));
    QTest::newRow("upper case name") << u"1"_s << u"X"_s << text(u"X"_s);
    QTest::newRow("lower case value") << u"1"_s << u"y"_s << text(u"x"_s);
    QTest::newRow("case counts") << u"1"_s << u"Y"_s << absent;
    QTest::newRow("absent") << u"1"_s << u"width"_s << absent;
    QTest::newRow("empty name") << u"1"_s << QString() << absent;
    QTest::newRow("trailing blank") << u"1"_s << u"x "_s << absent;
    QTest::newRow("prefixed by qualified name") << u"1"_s << u"p:x"_s << text(u"P"_s);
    QTest::newRow("second prefix of one namespace") << u"1"_s << u"q:y"_s << text(u"Q"_s);
    QTest::newRow("other prefix of that namespace") << u"1"_s << u"p:y"_s << absent;
    QTest::newRow("unknown prefix") << u"1"_s << u"s:x"_s << absent;
    QTest::newRow("prefix alone") << u"1"_s << u"p:"_s << absent;
    QTest::newRow("colon and local name") << u"1"_s << u":x"_s << absent;
    QTest::newRow("local name of a prefixed attribute") << u"1/3"_s << u"x"_s << absent;
    QTest::newRow("prefix declared on the parent") << u"1/3"_s << u"p:x"_s << text(u"inner"_s);
    QTest::newRow("xml prefix") << u"1"_s << u"xml:lang"_s << text(u"de"_s);
    QTest::newRow("xml prefix's local name") << u"1"_s << u"lang"_s << absent;
    QTest::newRow("non-ASCII name") << u"1"_s << u"größe"_s << text(u"5"_s);
    QTest::newRow("namespace declaration") << u"1"_s << u"xmlns:p"_s << text(u"urn:p"_s);
    QTest::newRow("default namespace declaration") << u"1"_s << u"xmlns"_s << text(u"urn:d"_s);
    QTest::newRow("character references kept") << u"1"_s << u"z"_s << text(u"a\tb\nc"_s);
    QTest::newRow("literal tab and line break normalised") << u"1"_s << u"t"_s << text(u"a b c"_s);
    QTest::newRow("internal entity") << u"1"_s << u"e"_s << text(u"Wert"_s);
    QTest::newRow("nested internal entities") << u"1"_s << u"n"_s << text(u"A-B-C"_s);
    QTest::newRow("predefined entities") << u"1"_s << u"lt"_s << text(u"<A&\""_s);
    QTest::newRow("name with a NUL inside")
        << u"1"_s << QStringView(u"x\0y", 3).toString() << absent;
    QTest::newRow("name with a NUL at the end")
        << u"1"_s << QStringView(u"y\0", 2).toString() << absent;
    QTest::newRow("default from the file's DTD") << u"1"_s << u"d"_s << text(u"dflt"_s);
    QTest::newRow("written value beats the default") << u"1"_s << u"x"_s << text(QString(u""_s));
    QTest::newRow("prefixed default") << u"1"_s << u"p:dx"_s << text(u"pd"_s);
    QTest::newRow("prefixed default by local name") << u"1"_s << u"dx"_s << absent;
    QTest::newRow("fixed default") << u"1/3"_s << u"wd"_s << text(u"fixed"_s);
    QTest::newRow("required, not written") << u"1/3"_s << u"rq"_s << absent;
    QTest::newRow("implied, not written") << u"1/3"_s << u"im"_s << absent;
    QTest::newRow("default of another element") << u"1/3"_s << u"d"_s << absent;
    QTest::newRow("default name with a NUL")
        << u"1"_s << QStringView(u"d\0", 2).toString() << absent;
    QTest::newRow("text node") << u"1/0"_s << u"x"_s << absent;
    QTest::newRow("comment node") << u"1/1"_s << u"x"_s << absent;
    QTest::newRow("PI pseudo-attribute") << u"1/2"_s << u"a"_s << absent;
    QTest::newRow("document node") << u""_s << u"x"_s << absent;
    QTest::newRow("document type node") << u"0"_s << u"x"_s << absent;
}

void DocumentNodesTest::attributeValues() {
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(std::optional<QString>, value);

    const ScratchDir dir;
    XmlDocument doc;
    doc.LoadFromFile(dir.write(u"attributes.xml"_s, kAttributes));
    const Node node = nodeAt(doc.DocumentNode(), path);
    const std::optional<QString> actual = node.AttributeValue(name);
    QCOMPARE(actual.has_value(), value.has_value());
    if (value) {
        QCOMPARE(*actual, *value);
        QCOMPARE(actual->isNull(), false); // an empty value is still a text, not null
    }
}

void DocumentNodesTest::topLevelLookup_data() {
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("foundName"); // empty: the lookup fails
    QTest::addColumn<QStringList>("children");

    const QString wd = u"widget_description"_s;
    QTest::newRow("plain root") << QByteArray("<widget_description><widget/></widget_description>")
                                << wd << wd << QStringList{u"widget"_s};
    QTest::newRow("after a PI of that name")
        << QByteArray("<?widget_description data?>\n"
                      "<widget_description><widget/></widget_description>")
        << wd << wd << QStringList{u"widget"_s};
    QTest::newRow("after a DOCTYPE of that name")
        << QByteArray("<!DOCTYPE widget_description>\n"
                      "<widget_description><widget/></widget_description>")
        << wd << wd << QStringList{u"widget"_s};
    QTest::newRow("after comments") << QByteArray("<!--widget_description--><widget_description/>")
                                    << wd << wd << QStringList();
    QTest::newRow("prefixed root by local name")
        << QByteArray("<p:widget_description xmlns:p=\"urn:p\"><p:widget/></p:widget_description>")
        << wd << u"p:widget_description"_s << QStringList{u"p:widget"_s};
    QTest::newRow("prefixed root by qualified name")
        << QByteArray("<p:widget_description xmlns:p=\"urn:p\"/>") << u"p:widget_description"_s
        << u"p:widget_description"_s << QStringList();
    QTest::newRow("root in a default namespace")
        << QByteArray("<widget_description xmlns=\"urn:d\"><widget/></widget_description>") << wd
        << wd << QStringList{u"widget"_s};
    QTest::newRow("other letter case")
        << QByteArray("<Widget_Description/>") << wd << QString() << QStringList();
    QTest::newRow("other root") << QByteArray("<layout><widget_description/></layout>") << wd
                                << QString() << QStringList();
    QTest::newRow("only a PI of that name")
        << QByteArray("<?widget_description?><layout/>") << wd << QString() << QStringList();
    QTest::newRow("only a DOCTYPE of that name")
        << QByteArray("<!DOCTYPE widget_description><layout/>") << wd << QString() << QStringList();
    QTest::newRow("nested element is not top-level")
        << QByteArray("<widget_description><widget/></widget_description>") << u"widget"_s
        << QString() << QStringList();
    QTest::newRow("comment is not an element") << QByteArray("<widget_description/><!--c-->")
                                               << u"#comment"_s << QString() << QStringList();
}

void DocumentNodesTest::topLevelLookup() {
    QFETCH(QByteArray, xml);
    QFETCH(QString, name);
    QFETCH(QString, foundName);
    QFETCH(QStringList, children);

    const ScratchDir dir;
    XmlDocument doc;
    doc.LoadFromFile(dir.write(u"lookup.xml"_s, xml));
    const QStringList before = childNames(doc.DocumentNode());

    if (foundName.isEmpty()) {
        try {
            doc.FindTopLevelNode(name);
            QFAIL("the lookup found a node");
        } catch (const EOleException& failure) {
            QCOMPARE(failure.message(),
                     u"Das Dokument hat kein Element "_s + name + u" auf oberster Ebene"_s);
        }
        // The failed lookup leaves the document as it was.
        QVERIFY(doc.Active());
        QCOMPARE(childNames(doc.DocumentNode()), before);
        return;
    }

    const Node found = doc.FindTopLevelNode(name);
    QCOMPARE(found.nodeType(), NodeType::Element);
    QCOMPARE(found.NodeName(), foundName);
    QCOMPARE(childNames(found), children);
    QCOMPARE(childNames(doc.DocumentNode()), before);
}
QTEST_GUILESS_MAIN(DocumentNodesTest)
#include "tst_DocumentNodes.moc"
